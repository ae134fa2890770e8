// Helpers of the logic-device tests: the store's file, written and read as plain bytes.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <boost/filesystem.hpp>

#include "platform/paths.hpp"

namespace LogicDeviceTests {

inline std::string StorePath() {
  return Korvalt::Ponderix::Platform::JoinPath(Korvalt::Ponderix::Platform::DataFolder(),
                                                "logic-devices-connection-config.json");
}

// Every test starts without a store: a test program may run many tests in one process. The
// folder stays: the log lives below it.
inline void RemoveStore() {
  boost::filesystem::remove(StorePath());
  boost::filesystem::remove(StorePath() + ".lock");
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteStoreText(const std::string& text) {
  boost::filesystem::create_directories(Korvalt::Ponderix::Platform::DataFolder());
  std::ofstream(StorePath(), std::ios::binary | std::ios::trunc) << text;
}

// A store in the file's own layout; `devices` are {key, is-current} pairs, each with a full
// set of filled-in settings.
inline std::string StoreText(const std::vector<std::pair<std::string, std::string>>& devices) {
  std::string text = "{\n    \"devices\": {";
  bool first = true;
  for (const auto& [key, isCurrent] : devices) {
    text += first ? "\n" : ",\n";
    first = false;
    text += "        \"" + key + "\": {\n";
    text += "            \"is-current\": \"" + isCurrent + "\",\n";
    text += "            \"name\": \"scale " + key + "\",\n";
    text += "            \"connection-type\": \"TCP\",\n";
    text += "            \"end-point\": \"127.0.0.1\",\n";
    text += "            \"baud-rate\": \"9600\",\n";
    text += "            \"model\": \"auto\",\n";
    text += "            \"protocol\": \"auto\"\n";
    text += "        }";
  }
  text += first ? "}\n}\n" : "\n    }\n}\n";
  return text;
}

}  // namespace LogicDeviceTests
