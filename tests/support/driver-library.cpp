#include "tests/support/driver-library.hpp"

#include <stdexcept>

#include "platform/dynamic-library.hpp"
#include "platform/paths.hpp"

namespace TestSupport {
namespace {

namespace Platform = Korvalt::Ponderix::Platform;

template <typename Fn>
void Bind(Platform::LibraryHandle library, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(Platform::FindSymbol(library, name));
  if (fn == nullptr) throw std::runtime_error(std::string("export not found: ") + name);
}

DriverLibrary Load() {
  Platform::LibraryHandle library = Platform::OpenLibrary(DriverLibraryPath());
  if (library == nullptr) {
    throw std::runtime_error("cannot load the driver: " + Platform::LastLibraryError());
  }
  DriverLibrary d{};
#define BIND(name) Bind(library, #name, d.name)
  BIND(create);
  BIND(destroy);
  BIND(open);
  BIND(close);
  BIND(is_open);
  BIND(set_param);
  BIND(get_param);
  BIND(get_input_param);
  BIND(set_option);
  BIND(get_option);
  BIND(execute_command);
  BIND(get_protocol);
  BIND(get_error_case_description);
  BIND(change_logging_config_file);
  BIND(get_data_from_log_config_file);
  BIND(LoggingSetMode);
  BIND(GetLoggingPath);
  BIND(GetCurrentVersion);
  BIND(add_logic_device);
  BIND(delete_logic_device);
  BIND(set_current_logic_device);
  BIND(get_current_logic_device_id);
  BIND(set_logic_device_param);
  BIND(get_logic_device_param);
  BIND(get_all_sorted_logic_device_id);
#undef BIND
  return d;
}

}  // namespace

const DriverLibrary& Driver() {
  static const DriverLibrary library = Load();
  return library;
}

std::string DriverLibraryPath() {
#if defined(_WIN32)
  // The build folder's Linux path means nothing to a program running under Wine: the library is
  // the one beside the test program.
  return Platform::JoinPath(Platform::ProgramFolder(), Platform::DriverLibraryFileName());
#else
  return DRIVER_LIBRARY_PATH;
#endif
}

}  // namespace TestSupport
