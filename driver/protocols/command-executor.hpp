// Executors turn one command into bytes on the wire and the answer into output values.
#pragma once

#include <memory>

#include "driver/device/types.hpp"
#include "driver/interface/driver-api.hpp"

namespace Korvalt::Ponderix::Driver {

class Device;

class ICommandExecutor {
 public:
  virtual ~ICommandExecutor() = default;
  // `code` is Correct on entry; on return it holds the result. Values only on success.
  virtual OutputValues ExecuteCommand(Device& device, ErrorCase& code) = 0;
};

// Answer of the factory to a command it does not know; running it throws std::logic_error.
class EmptyExecutor : public ICommandExecutor {
 public:
  OutputValues ExecuteCommand(Device& device, ErrorCase& code) override;
};

// A fresh executor for one command; an unknown command gives CommandUnsupported and an
// EmptyExecutor.
std::unique_ptr<ICommandExecutor> CreateExecutor(Command command, ErrorCase& code);

}  // namespace Korvalt::Ponderix::Driver
