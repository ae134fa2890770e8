#include "simulator/responders.hpp"
#include "tests/protocols/auto-scale-on-line.hpp"

namespace WeighingTests {

std::shared_ptr<Scalesim::ScaleState> NewScaleState() { return Scalesim::MakeScaleState(); }

std::shared_ptr<Scalesim::Responder> NewResponder(const std::string& protocol,
                                                  const std::shared_ptr<Scalesim::ScaleState>& state) {
  return Scalesim::MakeProtocolResponder(protocol, state);
}

bool SetScale(Scalesim::ScaleState& state, const std::string& key, const std::string& value) {
  return Scalesim::SetScaleValue(state, key, value);
}

void SetNative(Scalesim::ScaleState& state, const std::string& keyword, const std::string& value) {
  state.SetNativeValue(keyword, value);
}

int CountOf(const Scalesim::ScaleState& state, const std::string& kind) { return state.RequestCount(kind); }

long long TareOf(const Scalesim::ScaleState& state) { return state.GetReadings().tare; }
long long WeightOf(const Scalesim::ScaleState& state) { return state.GetReadings().weight; }

}  // namespace WeighingTests
