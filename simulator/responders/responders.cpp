// Placeholder until the protocol responders land.
#include "simulator/responders.hpp"

namespace Scalesim {
class ScaleState {};
std::shared_ptr<ScaleState> MakeScaleState() { return std::make_shared<ScaleState>(); }
bool SetScaleValue(ScaleState&, const std::string&, const std::string&) { return false; }
std::unique_ptr<Responder> MakeProtocolResponder(const std::string&, std::shared_ptr<ScaleState>) { return nullptr; }
}  // namespace Scalesim
