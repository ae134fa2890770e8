// Windows: no per-process limit of sockets to raise.
#include "platform/descriptor-limit.hpp"

namespace Korvalt::Ponderix::Platform {

long RaiseDescriptorLimit() { return 0; }

}  // namespace Korvalt::Ponderix::Platform
