// The simulated scale's settable state and the responder of each protocol.
#pragma once

#include <memory>
#include <string>

#include "simulator/responder.hpp"

namespace Scalesim {

// Weight, tare, stability, overload, unit, model, versions, ... shared by the responders and
// changed by tests while the simulator runs (thread-safe).
class ScaleState;

std::shared_ptr<ScaleState> MakeScaleState();
// key=value setting ("weight", "tare", "stable", ...); false for an unknown key or a bad value.
bool SetScaleValue(ScaleState& state, const std::string& key, const std::string& value);

// "native", "POS2M", "POS2MProV1", "CAS-M", "CAS-M ProV1", "CAS-M-Active", "OKA", "silent";
// nullptr for an unknown name.
std::unique_ptr<Responder> MakeProtocolResponder(const std::string& protocol, std::shared_ptr<ScaleState> state);

}  // namespace Scalesim
