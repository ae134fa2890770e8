// The real libdriver.so or driver.dll, loaded as an application loads it (dlopen with RTLD_LOCAL,
// LoadLibraryW) with every export bound by name. Test programs never link the library: its exports "open" and "close" would take
// the C library's names inside the test program.
#pragma once

#include <string>

#include "driver/api/driver-types.hpp"

namespace TestSupport {

struct DriverLibrary {
  Korvalt::Ponderix::Driver::CreateFn create;
  Korvalt::Ponderix::Driver::DestroyFn destroy;
  Korvalt::Ponderix::Driver::OpenFn open;
  Korvalt::Ponderix::Driver::CloseFn close;
  Korvalt::Ponderix::Driver::IsOpenFn is_open;
  Korvalt::Ponderix::Driver::SetParamFn set_param;
  Korvalt::Ponderix::Driver::GetParamFn get_param;
  Korvalt::Ponderix::Driver::GetInputParamFn get_input_param;
  Korvalt::Ponderix::Driver::SetOptionFn set_option;
  Korvalt::Ponderix::Driver::GetOptionFn get_option;
  Korvalt::Ponderix::Driver::ExecuteCommandFn execute_command;
  Korvalt::Ponderix::Driver::GetProtocolFn get_protocol;
  Korvalt::Ponderix::Driver::GetErrorCaseDescriptionFn get_error_case_description;
  Korvalt::Ponderix::Driver::ChangeLoggingConfigFileFn change_logging_config_file;
  Korvalt::Ponderix::Driver::GetDataFromLogConfigFileFn get_data_from_log_config_file;
  Korvalt::Ponderix::Driver::LoggingSetModeFn LoggingSetMode;
  Korvalt::Ponderix::Driver::GetLoggingPathFn GetLoggingPath;
  Korvalt::Ponderix::Driver::GetCurrentVersionFn GetCurrentVersion;
  Korvalt::Ponderix::Driver::AddLogicDeviceFn add_logic_device;
  Korvalt::Ponderix::Driver::DeleteLogicDeviceFn delete_logic_device;
  Korvalt::Ponderix::Driver::SetCurrentLogicDeviceFn set_current_logic_device;
  Korvalt::Ponderix::Driver::GetCurrentLogicDeviceIdFn get_current_logic_device_id;
  Korvalt::Ponderix::Driver::SetLogicDeviceParamFn set_logic_device_param;
  Korvalt::Ponderix::Driver::GetLogicDeviceParamFn get_logic_device_param;
  Korvalt::Ponderix::Driver::GetAllSortedLogicDeviceIdFn get_all_sorted_logic_device_id;
};

// Loaded once per test process and kept until it ends; a missing export fails the test program.
const DriverLibrary& Driver();

// Path of the library file under test.
std::string DriverLibraryPath();

}  // namespace TestSupport
