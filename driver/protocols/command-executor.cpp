#include "driver/protocols/command-executor.hpp"

#include <stdexcept>

#include "driver/protocols/protocol-families.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

using FamilyFactory = std::unique_ptr<ICommandExecutor> (*)(Command);

// Every family knows its own commands and answers nullptr for the rest; the first that builds
// an executor wins.
constexpr FamilyFactory kFamilies[] = {
    CreateNativeExecutor, CreatePOSExecutor, CreateCASExecutor, CreateOKAExecutor, CreateAutoExecutor,
};

}  // namespace

OutputValues EmptyExecutor::ExecuteCommand(Device&, ErrorCase&) {
  throw std::logic_error("Korvalt::Ponderix::Driver::command-executor, EmptyExecutor was ran.");
}

std::unique_ptr<ICommandExecutor> CreateExecutor(Command command, ErrorCase& code) {
  for (FamilyFactory family : kFamilies) {
    if (auto executor = family(command)) return executor;
  }
  code = ErrorCase::CommandUnsupported;
  return std::make_unique<EmptyExecutor>();
}

}  // namespace Korvalt::Ponderix::Driver
