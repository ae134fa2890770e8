// Where the system keeps its files, and how serial ports are named, on this platform.
#pragma once

#include <string>

namespace Korvalt::Ponderix::Platform {

// Root of the application data: APPDATA when set; on Linux otherwise $XDG_CONFIG_HOME, else
// $HOME/.config.
std::string AppDataRoot();
// AppDataRoot()/KORVALT/Trelvane, joined with the platform's separator.
std::string DataFolder();
// DataFolder()/logs.
std::string LogsFolder();
// The platform's first serial port: "COM1" on Windows, "/dev/ttyS0" on Linux.
std::string FirstSerialPort();
// Joins two path pieces with the platform's separator.
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace Korvalt::Ponderix::Platform
