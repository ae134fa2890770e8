// POS2M / POS2MProV1: the validators and decoders on arbitrary replies, the specify-tare
// request from an arbitrary text. Input: a tare text, 0x00, a reply.
#include <algorithm>
#include <cstdint>

#include "driver/protocols/pos-protocol.hpp"
#include "fuzz/fuzz-support.hpp"

using namespace Korvalt::Ponderix::Driver;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto parts = FuzzSupport::Split(data, size, 2);
  const ByteVector reply(parts[1].begin(), parts[1].end());

  ErrorCase code = ErrorCase::Correct;
  ByteVector request = Pos::MakeSpecifyTareRequest(parts[0], code);
  if (code == ErrorCase::Correct && request.size() != Pos::SpecifyTareTemplate().size()) {
    FuzzSupport::Fail("specify-tare request of the wrong size");
  }
  if (code != ErrorCase::Correct && !request.empty()) FuzzSupport::Fail("refused tare still built a request");

  POSStartResponseValidator(reply);
  POSStatusOfWeightChannelResponseValidator(reply);
  POSSetZeroResponseValidator(reply);
  POSSetTareResponseValidator(reply);
  POSSpecifyTareResponseValidator(reply);
  auto frame = Pos::FindStatusFrame(reply);
  if (frame && *frame >= reply.size()) FuzzSupport::Fail("status frame found outside the reply");
  code = ErrorCase::Correct;
  auto values = Pos::DecodeStatusReply(reply, code);
  if (code != ErrorCase::Correct && !values.empty()) FuzzSupport::Fail("values with a failure");
  code = ErrorCase::Correct;
  Pos::DecodeWeightState(ByteVector(reply.begin(), reply.begin() + std::min<std::size_t>(reply.size(), 2)), code);
  return 0;
}
