// Public interface of the driver library: declarations of the 25 exported functions.
//
// NOTE: the exports "open" and "close" clash with the C library's open()/close(): a unit that
// includes this header cannot also include <fcntl.h>/<unistd.h> (directly or through Boost,
// gtest, ...). Programs that load the library at run time, the library's own internals and the
// tests include only driver-types.hpp (enumerations, DeviceHandle and the *Fn signatures).
//
// Standard-library objects cross this boundary by reference, so the library and its caller
// must be built with the same compiler and standard library.
#pragma once

// Included by its own folder, so that the header works installed (<ponderix/driver-api.hpp>) too.
#include "driver-types.hpp"

#if defined(_WIN32)
#  if defined(DRIVER_BUILDING)
#    define DRIVER_API extern "C" __declspec(dllexport)
#  else
#    define DRIVER_API extern "C" __declspec(dllimport)
#  endif
#else
#  define DRIVER_API extern "C" __attribute__((visibility("default")))
#endif

#define DRIVER_NS_ Korvalt::Ponderix::Driver

// Device life cycle.
DRIVER_API DRIVER_NS_::ErrorCase create(DRIVER_NS_::DeviceHandle& handle);
DRIVER_API DRIVER_NS_::ErrorCase destroy(DRIVER_NS_::DeviceHandle& handle);
DRIVER_API DRIVER_NS_::ErrorCase open(DRIVER_NS_::DeviceHandle& handle, int logicDeviceId);
DRIVER_API DRIVER_NS_::ErrorCase close(DRIVER_NS_::DeviceHandle& handle);
DRIVER_API DRIVER_NS_::ErrorCase is_open(DRIVER_NS_::DeviceHandle& handle, bool& isOpen);

// Parameters, options and commands.
DRIVER_API DRIVER_NS_::ErrorCase set_param(DRIVER_NS_::DeviceHandle handle, const DRIVER_NS_::ParamType& type,
                                           const std::string& value);
DRIVER_API DRIVER_NS_::ErrorCase get_param(DRIVER_NS_::DeviceHandle handle, const DRIVER_NS_::ParamType& type,
                                           std::string& value);
DRIVER_API DRIVER_NS_::ErrorCase get_input_param(DRIVER_NS_::DeviceHandle handle,
                                                 const DRIVER_NS_::ParamType& type, std::string& value);
DRIVER_API DRIVER_NS_::ErrorCase set_option(DRIVER_NS_::DeviceHandle handle, const DRIVER_NS_::Option& option,
                                            const std::string& value);
DRIVER_API DRIVER_NS_::ErrorCase get_option(DRIVER_NS_::DeviceHandle handle, const DRIVER_NS_::Option& option,
                                            std::string& value);
DRIVER_API DRIVER_NS_::ErrorCase execute_command(DRIVER_NS_::DeviceHandle handle,
                                                 const DRIVER_NS_::Command& command);
DRIVER_API DRIVER_NS_::ErrorCase get_protocol(DRIVER_NS_::DeviceHandle handle, std::string& protocol);

// Errors, logging and version.
DRIVER_API DRIVER_NS_::ErrorCase get_error_case_description(const DRIVER_NS_::ErrorCase& ecase,
                                                            const int& language, std::wstring& description);
DRIVER_API DRIVER_NS_::ErrorCase change_logging_config_file(const DRIVER_NS_::LogSettings& settings);
DRIVER_API DRIVER_NS_::ErrorCase get_data_from_log_config_file(DRIVER_NS_::LogSettings& settings);
DRIVER_API DRIVER_NS_::ErrorCase LoggingSetMode(const int& mode);
DRIVER_API DRIVER_NS_::ErrorCase GetLoggingPath(std::string& path);
DRIVER_API DRIVER_NS_::ErrorCase GetCurrentVersion(std::string& version);

// Logic devices (saved connection profiles).
DRIVER_API DRIVER_NS_::ErrorCase add_logic_device(DRIVER_NS_::DeviceHandle handle, int& id);
DRIVER_API DRIVER_NS_::ErrorCase delete_logic_device(DRIVER_NS_::DeviceHandle handle, const int& id);
DRIVER_API DRIVER_NS_::ErrorCase set_current_logic_device(DRIVER_NS_::DeviceHandle handle, const int& id);
DRIVER_API DRIVER_NS_::ErrorCase get_current_logic_device_id(DRIVER_NS_::DeviceHandle handle, int& id);
DRIVER_API DRIVER_NS_::ErrorCase set_logic_device_param(DRIVER_NS_::DeviceHandle handle, const int& id,
                                                        const DRIVER_NS_::LogicDeviceParamType& type,
                                                        const std::string& value);
DRIVER_API DRIVER_NS_::ErrorCase get_logic_device_param(DRIVER_NS_::DeviceHandle handle, const int& id,
                                                        const DRIVER_NS_::LogicDeviceParamType& type,
                                                        std::string& value);
DRIVER_API DRIVER_NS_::ErrorCase get_all_sorted_logic_device_id(DRIVER_NS_::DeviceHandle handle,
                                                                std::vector<int>& ids);

#undef DRIVER_NS_
