// Benchtap's script reader on an arbitrary file: every failure is a script error or a thrown
// std::exception (reported by the program), never a crash.
#include <cstdint>
#include <exception>
#include <iostream>

#include "benchtap/script-file.hpp"
#include "fuzz/fuzz-support.hpp"

using namespace Korvalt::Ponderix;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzSupport::PrivateAppData();
  // The reader prints its script errors; millions of them would only slow the run.
  std::cerr.setstate(std::ios::failbit);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = FuzzSupport::PrivateAppData() + "/script.json";
  FuzzSupport::WriteFile(path, std::string(reinterpret_cast<const char*>(data), size));
  Driver::ErrorCase ecase = Driver::ErrorCase::Correct;
  try {
    Benchtap::LoadScript(path, ecase);
  } catch (const std::exception&) {
  }
  return 0;
}
