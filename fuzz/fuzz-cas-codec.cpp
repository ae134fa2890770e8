// CAS-M, CAS-M ProV1 and CAS-M-Active: frame search, validators and the frame decoder on
// arbitrary bytes.
#include <cstdint>

#include "driver/protocols/cas-protocol.hpp"
#include "fuzz/fuzz-support.hpp"

using namespace Korvalt::Ponderix::Driver;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ByteVector bytes(data, data + size);
  CASStatusOfWeightChannelResponseValidator(bytes);
  CASActiveStatusOfWeightChannelResponseValidator(bytes);
  for (auto start : {Cas::FindCheckedFrame(bytes), Cas::FindUncheckedFrame(bytes)}) {
    if (!start) continue;
    if (*start + Cas::kFrameSize > bytes.size()) FuzzSupport::Fail("frame found reaching past the bytes");
    ErrorCase code = ErrorCase::Correct;
    auto values = Cas::DecodeCASFrame(bytes, *start, code);
    if (code != ErrorCase::Correct && !values.empty()) FuzzSupport::Fail("values with a failure");
  }
  if (size >= Cas::kFrameSize) {
    ErrorCase code = ErrorCase::Correct;
    Cas::DecodeCASFrame(bytes, size - Cas::kFrameSize, code);
    Cas::Bcc(bytes, size - Cas::kFrameSize);
  }
  return 0;
}
