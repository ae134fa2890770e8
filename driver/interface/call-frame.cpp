#include "driver/interface/call-frame.hpp"

#include <exception>
#include <string>

#include "common/text-template.hpp"
#include "driver/interface/defines.hpp"
#include "driver/logging/logging.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {
const Logging::UnitLog kLog("driver-native");
}  // namespace

ErrorCase RunFunction(const char* exportName, ErrorCase& result, const std::function<ErrorCase()>& work) {
  const std::string name = std::string("Driver::") + exportName + "()";
  std::string reason;
  try {
    return work();
  } catch (const DriverError& e) {
    if (result == ErrorCase::Correct) result = e.Code();
    reason = e.what();
  } catch (const std::exception& e) {
    reason = e.what();
  } catch (...) {
    reason = "unknown exception";
  }
  if (result == ErrorCase::Correct) result = ErrorCase::UnknownExceptionWasCaught;
  try {
    kLog.Error(Text::Fill("RunFunction() catch (...), @, ecase: @", name, ToString(result)) + ", what: " + reason);
  } catch (...) {
  }
  return result;
}

}  // namespace Korvalt::Ponderix::Driver
