#include "platform/console.hpp"

namespace Korvalt::Ponderix::Platform {

unsigned UseUtf8Console() { return 0; }

}  // namespace Korvalt::Ponderix::Platform
