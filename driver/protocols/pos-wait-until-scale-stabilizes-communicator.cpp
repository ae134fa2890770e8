#include "driver/protocols/pos-wait-until-scale-stabilizes-communicator.hpp"

#include "driver/device/device.hpp"
#include "driver/logging/logging.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {
const Logging::UnitLog kLog("pos-wait-until-scale-stabilizes-communicator");
}  // namespace

bool IsWeightStable(const std::string& weightState) {
  return (!weightState.empty() && weightState.front() == '1') || weightState == "0x00";
}

ByteVector POSWaitUntilScaleStabilizesCommunicator::Communicate(Device& device, const ByteVector& request,
                                                                ErrorCase& code, ResponseValidator validator) {
  kLog.Trace("POSWaitUntilScaleStabilizesCommunicator::Communicate(device)");
  bool stable = false;
  for (int poll = 0; poll < kStabilizationPolls && !stable; ++poll) {
    device.ExecuteCommand(Command::StatusOfWeightChannelAuto, code);
    if (code != ErrorCase::Correct) return {};
    std::string state = device.GetParam(ParamType::WeightState, code);
    if (code != ErrorCase::Correct) return {};
    stable = IsWeightStable(state);
  }
  if (!stable) {
    kLog.Error("POSWaitUntilScaleStabilizesCommunicator::Communicate, scale is not stable.");
    code = ErrorCase::DeviceIsNotStabilized;
    return {};
  }
  return Exchange(device, request, code, validator);
}

}  // namespace Korvalt::Ponderix::Driver
