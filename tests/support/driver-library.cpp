#include "tests/support/driver-library.hpp"

#include <dlfcn.h>

#include <stdexcept>

namespace TestSupport {
namespace {

template <typename Fn>
void Bind(void* library, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(dlsym(library, name));
  if (fn == nullptr) throw std::runtime_error(std::string("export not found: ") + name);
}

DriverLibrary Load() {
  void* library = dlopen(DRIVER_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) throw std::runtime_error(std::string("cannot load the driver: ") + dlerror());
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

std::string DriverLibraryPath() { return DRIVER_LIBRARY_PATH; }

}  // namespace TestSupport
