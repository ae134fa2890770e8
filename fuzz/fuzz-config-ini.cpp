// The log settings file "config.ini": reading it, and the set-up's checks of its values, which
// must never place the log outside the logs folder or over the settings.
#include <cstdint>
#include <iostream>

#include <boost/filesystem.hpp>

#include "driver/logging/logging.hpp"
#include "fuzz/fuzz-support.hpp"
#include "platform/paths.hpp"

using namespace Korvalt::Ponderix;
namespace fs = boost::filesystem;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzSupport::PrivateAppData();
  // Refused settings are announced on standard error, once per input.
  std::cerr.setstate(std::ios::failbit);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string logs = Platform::LogsFolder();
  static const std::string config = Platform::JoinPath(logs, "config.ini");
  static const std::string data_folder = Platform::DataFolder();
  FuzzSupport::WriteFile(config, std::string(reinterpret_cast<const char*>(data), size));
  Driver::ErrorCase result = Driver::ErrorCase::Correct;
  Driver::Logging::GetDataFromConfigFile(result);
  // The set-up reads and checks the file and opens the log it names; no line is written.
  Driver::Logging::ResetForTesting();
  Driver::Logging::SetMode(3);
  Driver::Logging::ResetForTesting();

  if (!fs::is_regular_file(config)) FuzzSupport::Fail("config.ini is gone");
  boost::system::error_code error;
  for (fs::directory_iterator it(data_folder, error), end; !error && it != end; it.increment(error)) {
    if (it->path().filename() != "logs") FuzzSupport::Fail("a file beside the logs folder: " + it->path().string());
  }
  for (fs::directory_iterator it(logs, error), end; !error && it != end; it.increment(error)) {
    if (it->path().filename() != "config.ini") fs::remove_all(it->path(), error);
  }
  return 0;
}
