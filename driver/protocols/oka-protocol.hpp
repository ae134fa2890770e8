// OKA: fixed-length binary messages whose numbers are digit fields, one decimal digit (0..9,
// not ASCII) per byte, least significant first on the wire. Values reach the caller as
// kilograms with three decimals (the scale counts grams).
#pragma once

#include <cstddef>
#include <string>

#include "driver/vocabulary/bytes.hpp"
#include "driver/vocabulary/weight-reading.hpp"
#include "driver/api/driver-types.hpp"
#include "driver/protocols/command-executor-by-communicator.hpp"

namespace Korvalt::Ponderix::Driver {

namespace Oka {
constexpr std::size_t kWeightReplySize = 24;
constexpr std::size_t kSumReplySize = 18;
constexpr std::size_t kFlagOffset = 11;  // in the weight reply
constexpr std::size_t kRecordSize = 13;  // weight(6) flag tare(6), digits most significant first
constexpr std::size_t kTareDigits = 6;

ByteVector SetZeroRequest();    // fifteen 00 and 01
ByteVector WeightRequest();     // 02 and the digits 999999
ByteVector SumRequest();        // fifteen 00 and 06: weight plus tare
ByteVector SpecifyTareTemplate();  // 07 and six digits

// 07 and the tare's digits, least significant first, zero-filled. Only 1 to 6 decimal digits
// are accepted; anything else gives ParamValueUnsupported and an empty request.
ByteVector MakeSpecifyTareRequest(const std::string& tare, ErrorCase& code);

// Weight digits (most significant first) with the flag byte: what the scale's weight reply
// says. A weight flagged 0x40 or 0xC0 reads as zero. 7 bytes; a digit byte above 9 gives
// DeviceResponseIncorrectFormat.
ByteVector WeightAndFlag(const ByteVector& weightReply, ErrorCase& code);
// The seven weight-plus-tare digits, most significant first; bytes above 9 are refused.
ByteVector SumDigits(const ByteVector& sumReply, ErrorCase& code);
// Tare digits (six, most significant first) from six weight digits and seven sum digits. The
// sum carries one more digit, rounded away; a sum below the weight gives a zero tare.
ByteVector ComputeTareDigits(const ByteVector& weightDigits, const ByteVector& sumDigits, ErrorCase& code);
// The 13-byte status record from the two replies.
ByteVector MakeStatusRecord(const ByteVector& weightReply, const ByteVector& sumReply, ErrorCase& code);

// Digits, most significant first, as kilograms: {1,2,3,4} -> "1.234", {5} -> "0.005".
std::string DigitsToKilograms(const ByteVector& digits, ErrorCase& code);
// The status record as a reading: weight and tare in kilograms with three decimals, the flag
// byte as state; stable on 0x00, overload on bit 7. A record shorter than 13 bytes, or digits
// above 9, give DeviceResponseIncorrectFormat.
WeightReading DecodeStatusRecord(const ByteVector& record, ErrorCase& code);
// "0x" and two lower-case hexadecimal digits per byte.
std::string FlagText(const ByteVector& bytes);
}  // namespace Oka

bool OKAWeightResponseValidator(const ByteVector& bytes);
bool OKASumResponseValidator(const ByteVector& bytes);

// 64 (status record from OKACommunicator) and 65 (specify tare).
class OKACommandExecutor : public ByteManExecutor {
 public:
  using ByteManExecutor::ByteManExecutor;

 protected:
  ByteVector MakeRequest(ProtocolContext& context, ErrorCase& code) override;
  OutputValues ParseResponse(ProtocolContext& context, const ByteVector& response, ErrorCase& code) override;
};

}  // namespace Korvalt::Ponderix::Driver
