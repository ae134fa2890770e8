#include "platform/local-time.hpp"

namespace Korvalt::Ponderix::Platform {

std::tm LocalTime(std::time_t when) {
  std::tm local{};
  localtime_s(&local, &when);
  return local;
}

}  // namespace Korvalt::Ponderix::Platform
