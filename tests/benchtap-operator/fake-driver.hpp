// A stand-in for the driver library behind a Wrapper::Device: a scale whose answers each test
// sets, and a record of the calls the commands made.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "benchtap/wrapper.hpp"

namespace FakeDriver {

using Korvalt::Ponderix::Benchtap::Command;
using Korvalt::Ponderix::Benchtap::ErrorCase;
using Korvalt::Ponderix::Benchtap::ParamType;
namespace Driver = Korvalt::Ponderix::Driver;

struct Scale {
  std::mutex mutex;
  std::string protocol = "POS2M";
  std::string weight = "1.250";
  ErrorCase executeResult = ErrorCase::Correct;
  ErrorCase setParamResult = ErrorCase::Correct;
  std::vector<std::string> calls;  // "execute <n>", "set <n>=<value>", "get <n>", "protocol"
  std::map<ParamType, std::string> params;
};

inline Scale& TheScale() {
  static Scale scale;
  return scale;
}

inline void Reset() {
  auto& s = TheScale();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.protocol = "POS2M";
  s.weight = "1.250";
  s.executeResult = ErrorCase::Correct;
  s.setParamResult = ErrorCase::Correct;
  s.calls.clear();
  s.params.clear();
}

inline std::vector<std::string> Calls() {
  std::lock_guard<std::mutex> lock(TheScale().mutex);
  return TheScale().calls;
}

inline ErrorCase SetParam(Driver::DeviceHandle, const ParamType& type, const std::string& value) {
  auto& s = TheScale();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.calls.push_back("set " + std::to_string(static_cast<int>(type)) + "=" + value);
  if (s.setParamResult == ErrorCase::Correct) s.params[type] = value;
  return s.setParamResult;
}

inline ErrorCase GetParam(Driver::DeviceHandle, const ParamType& type, std::string& value) {
  auto& s = TheScale();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.calls.push_back("get " + std::to_string(static_cast<int>(type)));
  value = type == ParamType::Weight ? s.weight : s.params[type];
  return ErrorCase::Correct;
}

inline ErrorCase ExecuteCommand(Driver::DeviceHandle, const Command& command) {
  auto& s = TheScale();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.calls.push_back("execute " + std::to_string(static_cast<int>(command)));
  return s.executeResult;
}

inline ErrorCase GetProtocol(Driver::DeviceHandle, std::string& protocol) {
  auto& s = TheScale();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.calls.push_back("protocol");
  protocol = s.protocol;
  return ErrorCase::Correct;
}

// Never called by the commands under test; present so that all 25 names bind.
inline ErrorCase Unused() { return ErrorCase::CommandUnsupported; }

// A library whose four device calls above reach TheScale().
inline const Korvalt::Ponderix::Wrapper::Library& Library() {
  static const Korvalt::Ponderix::Wrapper::Library library([](const std::string& name) -> void* {
    if (name == "set_param") return reinterpret_cast<void*>(&SetParam);
    if (name == "get_param") return reinterpret_cast<void*>(&GetParam);
    if (name == "execute_command") return reinterpret_cast<void*>(&ExecuteCommand);
    if (name == "get_protocol") return reinterpret_cast<void*>(&GetProtocol);
    return reinterpret_cast<void*>(&Unused);
  });
  return library;
}

}  // namespace FakeDriver
