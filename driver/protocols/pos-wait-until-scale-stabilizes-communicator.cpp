#include "driver/protocols/pos-wait-until-scale-stabilizes-communicator.hpp"

#include "driver/logging/logging.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {
const Logging::UnitLog kLog("pos-wait-until-scale-stabilizes-communicator");
}  // namespace

bool IsWeightStable(const std::string& weightState) {
  return (!weightState.empty() && weightState.front() == '1') || weightState == "0x00";
}

ByteVector POSWaitUntilScaleStabilizesCommunicator::Communicate(ProtocolContext& context, const ByteVector& request,
                                                                ErrorCase& code, ResponseValidator validator) {
  kLog.Trace("POSWaitUntilScaleStabilizesCommunicator::Communicate(context)");
  bool stable = false;
  for (int poll = 0; poll < kStabilizationPolls && !stable; ++poll) {
    OutputValues status = context.RunOtherCommand(Command::StatusOfWeightChannelAuto, code);
    if (code != ErrorCase::Correct) return {};
    auto state = status.find(ParamType::WeightState);
    if (state == status.end()) {
      code = ErrorCase::ParamTypeIsNotSetToGet;
      return {};
    }
    stable = IsWeightStable(state->second);
  }
  if (!stable) {
    kLog.Error("POSWaitUntilScaleStabilizesCommunicator::Communicate, scale is not stable.");
    code = ErrorCase::DeviceIsNotStabilized;
    return {};
  }
  return Exchange(context, request, code, validator);
}

}  // namespace Korvalt::Ponderix::Driver
