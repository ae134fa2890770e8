// Placeholder until the serial and TCP connections land.
#include "driver/connections/connection.hpp"

namespace Korvalt::Ponderix::Driver {
std::shared_ptr<Connection> MakeSerialPortConnection(const std::string&) { return nullptr; }
std::shared_ptr<Connection> MakeTCPConnection(const std::string&, const std::string&) { return nullptr; }
}  // namespace Korvalt::Ponderix::Driver
