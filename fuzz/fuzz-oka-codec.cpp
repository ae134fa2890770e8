// OKA: digit-field decoding, the tare computation and the specify-tare request on arbitrary
// input. Replies hold 0x00 digits, so the input is cut by lengths: a byte n, n bytes of tare
// text, up to 24 bytes of weight reply, the rest the sum reply.
#include <algorithm>
#include <cstdint>

#include "driver/protocols/oka-protocol.hpp"
#include "fuzz/fuzz-support.hpp"

using namespace Korvalt::Ponderix::Driver;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t tareSize = std::min<std::size_t>(data[0] % 16, size - 1);
  const std::string tare(data + 1, data + 1 + tareSize);
  const std::uint8_t* rest = data + 1 + tareSize;
  const std::size_t restSize = size - 1 - tareSize;
  const std::size_t weightSize = std::min(restSize, Oka::kWeightReplySize);
  const ByteVector weight(rest, rest + weightSize);
  const ByteVector sum(rest + weightSize, rest + restSize);

  ErrorCase code = ErrorCase::Correct;
  auto request = Oka::MakeSpecifyTareRequest(tare, code);
  if (code == ErrorCase::Correct && request.size() != Oka::SpecifyTareTemplate().size()) {
    FuzzSupport::Fail("specify-tare request of the wrong size");
  }
  OKAWeightResponseValidator(weight);
  OKASumResponseValidator(sum);
  code = ErrorCase::Correct;
  auto weightDigits = Oka::WeightAndFlag(weight, code);
  code = ErrorCase::Correct;
  auto sumDigits = Oka::SumDigits(sum, code);
  code = ErrorCase::Correct;
  Oka::ComputeTareDigits(ByteVector(weightDigits.begin(), weightDigits.begin() + std::min<std::size_t>(6, weightDigits.size())),
                         sumDigits, code);
  code = ErrorCase::Correct;
  auto record = Oka::MakeStatusRecord(weight, sum, code);
  if (code == ErrorCase::Correct && record.size() != Oka::kRecordSize) FuzzSupport::Fail("status record size");
  code = ErrorCase::Correct;
  Oka::DigitsToKilograms(weight, code);
  Oka::FlagText(sum);
  return 0;
}
