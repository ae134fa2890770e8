// Placeholder until this protocol family lands.
#include "driver/protocols/protocol-families.hpp"

namespace Korvalt::Ponderix::Driver {
std::unique_ptr<ICommandExecutor> CreatePOSExecutor(Command) { return nullptr; }
}  // namespace Korvalt::Ponderix::Driver
