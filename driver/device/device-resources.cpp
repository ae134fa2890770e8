#include "driver/device/device-resources.hpp"

#include "common/text-template.hpp"
#include "driver/vocabulary/enumeration-names.hpp"
#include "driver/logging/logging.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {
const Logging::UnitLog kLog("device-resources");
}

void Parameters::SetParamInput(ParamType type, const std::string& value) { entries_[type].input = value; }

void Parameters::SetParamOutput(ParamType type, const std::string& value) { entries_[type].output = value; }

void Parameters::ClearParamOutput(ParamType type) {
  auto it = entries_.find(type);
  if (it != entries_.end()) it->second.output.clear();
}

std::string Parameters::GetParamInput(ParamType type, ErrorCase& result) const {
  kLog.Trace(Text::Fill("Parameters::GetParamInput(ptype: @), ", ToString(type)));
  auto it = entries_.find(type);
  if (it != entries_.end() && !it->second.input.empty()) {
    kLog.Trace(Text::Fill("Parameters::GetParamInput(), value is [@], ", it->second.input + "\\r\\n"));
    return it->second.input;
  }
  kLog.Error("Parameters::GetParamInput() const, attempt to get a value that was not set");
  result = ErrorCase::ParamTypeIsNotSetToGet;
  return {};
}

std::string Parameters::GetParamOutput(ParamType type, ErrorCase& result) const {
  kLog.Trace(Text::Fill("Parameters::GetParamOutput(ptype: @)", ToString(type)));
  auto it = entries_.find(type);
  if (it != entries_.end() && !it->second.output.empty()) {
    kLog.Trace(Text::Fill("Parameters::GetParamOutput(), value is [@]", it->second.output));
    return it->second.output;
  }
  kLog.Error("Parameters::GetParamOutput() const, attempt to get a value that was not set");
  result = ErrorCase::ParamTypeIsNotSetToGet;
  return {};
}

}  // namespace Korvalt::Ponderix::Driver
