// A stand-in for the driver library, bound through Wrapper::Library's look-up: a scale whose
// answers each test sets, and the list of calls Benchtap made. Safe to call from the live weight
// display's thread.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "benchtap/wrapper.hpp"

namespace BenchtapFake {

using Korvalt::Ponderix::Benchtap::Command;
using Korvalt::Ponderix::Benchtap::ErrorCase;
using Korvalt::Ponderix::Benchtap::LogicDeviceParamType;
using Korvalt::Ponderix::Benchtap::ParamType;

struct Scale {
  // "create", "destroy", "open <id>", "add <id>", "current <id>", "ldparam <id> <type>=<value>",
  // "delete <id>", "set <Type>=<value>", "get <Type>", "execute <Command>", "protocol".
  std::vector<std::string> calls;
  std::map<ParamType, std::string> outputs;
  // Successive weights handed out by StatusOfWeightChannel (the last one stays).
  std::deque<std::string> weights;
  std::map<Command, std::deque<ErrorCase>> commandResults;  // consumed one per call; default Correct
  std::map<ParamType, ErrorCase> setResults;
  std::map<ParamType, ErrorCase> getResults;
  ErrorCase createResult = ErrorCase::Correct;
  ErrorCase destroyResult = ErrorCase::Correct;
  ErrorCase openResult = ErrorCase::Correct;
  ErrorCase addResult = ErrorCase::Correct;
  std::string protocol = "POS2M";
  std::string loggingPath;
  std::set<int> logicDevices{1};
  int nextId = 2;
};

// The fake's state; Reset() before each test. Tests change it only while no display thread runs.
Scale& TheScale();
void Reset();
std::vector<std::string> Calls();

// A library bound to the fake; `missing` names an export to leave out.
std::unique_ptr<Korvalt::Ponderix::Wrapper::Library> MakeLibrary(const std::string& missing = "");

// A device created on the fake library (handle set, no logic device, no calls noted yet).
std::unique_ptr<Korvalt::Ponderix::Wrapper::Device> MakeDevice(const Korvalt::Ponderix::Wrapper::Library& library);

// Each test starts on a fresh scale with no result records, console output and a library bound
// to the fake.
class LibraryTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::unique_ptr<Korvalt::Ponderix::Wrapper::Library> library_;
};

// ... and a device created on it.
class DeviceTest : public LibraryTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::unique_ptr<Korvalt::Ponderix::Wrapper::Device> device_;
  ErrorCase ecase = ErrorCase::Correct;
};

}  // namespace BenchtapFake
