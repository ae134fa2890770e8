// Placeholder until the executors land.
#include "driver/protocols/command-executor.hpp"

#include <stdexcept>

namespace Korvalt::Ponderix::Driver {
OutputValues EmptyExecutor::ExecuteCommand(Device&, ErrorCase&) {
  throw std::logic_error("Korvalt::Ponderix::Driver::command-executor, EmptyExecutor was ran.");
}
std::unique_ptr<ICommandExecutor> CreateExecutor(Command, ErrorCase& code) {
  code = ErrorCase::CommandUnsupported;
  return std::make_unique<EmptyExecutor>();
}
}  // namespace Korvalt::Ponderix::Driver
