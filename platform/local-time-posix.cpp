#include "platform/local-time.hpp"

namespace Korvalt::Ponderix::Platform {

std::tm LocalTime(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  return local;
}

}  // namespace Korvalt::Ponderix::Platform
