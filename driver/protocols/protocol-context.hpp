// What a protocol needs of the device it runs for, and no more: the line, the caller's input
// values, the protocol in force, and other commands run with the device's checks (the stability
// wait and detection build on those). `Device` implements it; tests use small stand-ins.
#pragma once

#include <memory>
#include <string>

#include "driver/connections/connection.hpp"
#include "driver/api/driver-types.hpp"
#include "driver/vocabulary/output-values.hpp"

namespace Korvalt::Ponderix::Driver {

class ProtocolContext {
 public:
  virtual ~ProtocolContext() = default;

  // The line; nullptr when none is open.
  virtual std::shared_ptr<Connection> GetConnection() = 0;
  // An input value the caller placed; an empty slot gives ParamTypeIsNotSetToGet.
  virtual std::string GetInputParam(ParamType type, ErrorCase& result) = 0;
  // The protocol name in force: "auto" while it is still being detected.
  virtual std::string GetProtocol() const = 0;
  // Runs `command` as the device's public entry does (mapping, protocol and model checks). Its
  // outputs are stored in the device like those of any command, and returned.
  virtual OutputValues RunOtherCommand(Command command, ErrorCase& result) = 0;
};

}  // namespace Korvalt::Ponderix::Driver
