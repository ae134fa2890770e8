// POS2M / POS2MProV1: binary frames STX, length L, L data bytes, check byte (XOR of the length
// byte and the data). Replies come after an ACK. Numbers are little-endian.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "driver/vocabulary/bytes.hpp"
#include "driver/vocabulary/control-bytes.hpp"
#include "driver/vocabulary/weight-reading.hpp"
#include "driver/api/driver-types.hpp"
#include "driver/protocols/command-executor-by-communicator.hpp"

namespace Korvalt::Ponderix::Driver {

namespace Pos {

// Request frames of the fixed commands.
ByteVector StatusRequest();
ByteVector SetZeroRequest();
ByteVector SetTareRequest();
// Specify-tare template: ENQ STX 07 '20030' and two value bytes and the check byte, which
// unlike every other POS frame leaves the length byte out.
ByteVector SpecifyTareTemplate();
constexpr std::size_t kSpecifyTareValueOffset = 8;

// Index of the ACK of the first whole, correctly checked status frame (ACK STX L data check).
std::optional<std::size_t> FindStatusFrame(const ByteVector& bytes);

// The tare input is a decimal integer in -32768..65535 (optional sign, nothing else). The
// value goes into the frame as a little-endian 16-bit number; anything else gives
// ParamValueUnsupported and an empty request.
ByteVector MakeSpecifyTareRequest(const std::string& tare, ErrorCase& code);

// Ten '0'/'1' characters: bits 0..7 of the first state byte, then bits 7 and 6 of the second.
// Character 0 is the stability flag. Anything but exactly 2 bytes gives IncorrectArgumnts.
std::string DecodeWeightState(const ByteVector& stateBytes, ErrorCase& code);

// The status frame found in `response` (offsets counted from its ACK): weight in grams (signed
// 32-bit), tare in grams (unsigned 16-bit), the stability bit; no overload bit.
WeightReading DecodeStatusReading(const ByteVector& response, ErrorCase& code);
// Its outputs: WeightState, Weight, Tare and UnitOfMeasure "gr".
OutputValues DecodeStatusReply(const ByteVector& response, ErrorCase& code);
}  // namespace Pos

bool POSStartResponseValidator(const ByteVector& bytes);
bool POSStatusOfWeightChannelResponseValidator(const ByteVector& bytes);
bool POSSetZeroResponseValidator(const ByteVector& bytes);
bool POSSetTareResponseValidator(const ByteVector& bytes);
bool POSSpecifyTareResponseValidator(const ByteVector& bytes);

class POSCommandExecutor : public ByteManExecutor {
 public:
  using ByteManExecutor::ByteManExecutor;

 protected:
  ByteVector MakeRequest(ProtocolContext& context, ErrorCase& code) override;
  OutputValues ParseResponse(ProtocolContext& context, const ByteVector& response, ErrorCase& code) override;
};

}  // namespace Korvalt::Ponderix::Driver
