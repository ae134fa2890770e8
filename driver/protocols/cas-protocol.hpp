// CAS-M, CAS-M ProV1 and CAS-M-Active share one 15-byte ASCII weight frame:
// SOH STX state sign weight(6) unit(2) BCC ETX EOT, BCC = XOR of state..unit.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "driver/vocabulary/bytes.hpp"
#include "driver/vocabulary/control-bytes.hpp"
#include "driver/vocabulary/weight-reading.hpp"
#include "driver/api/driver-types.hpp"
#include "driver/protocols/command-executor-by-communicator.hpp"

namespace Korvalt::Ponderix::Driver {

namespace Cas {
constexpr std::uint8_t kDc1 = 0x11;
constexpr std::size_t kFrameSize = 15;

ByteVector StatusRequest();   // DC1, after the ENQ handshake
ByteVector SetZeroRequest();  // '<ZK>' TAB, nothing comes back
ByteVector SetTareRequest();  // '<TK>' TAB, nothing comes back

std::uint8_t Bcc(const ByteVector& frame, std::size_t start);

// Start (SOH) of the frame ended by the first ETX EOT pair, when that frame is whole and its
// BCC is right. Later pairs are not tried: a stray pair spoils the read.
std::optional<std::size_t> FindCheckedFrame(const ByteVector& bytes);
// Start of the first SOH STX ... ETX EOT frame of the right size; the BCC is not checked
// (some self-transmitting scales send it wrong).
std::optional<std::size_t> FindUncheckedFrame(const ByteVector& bytes);

// The frame at `start`: the weight as sign + text without leading blanks in the frame's unit,
// stable ('S') and overload ('F', or 'F's in the weight field); no net or tare. Unknown state
// or unit, or a weight field without a digit: DeviceResponseIncorrectFormat.
WeightReading DecodeCASReading(const ByteVector& bytes, std::size_t start, ErrorCase& code);
// Its outputs: Weight, WeightState ('1'/'0' at 0 and 4 for stable, at 6 for overload, '*'
// elsewhere) and UnitOfMeasure.
OutputValues DecodeCASFrame(const ByteVector& bytes, std::size_t start, ErrorCase& code);
}  // namespace Cas

bool CASStatusOfWeightChannelResponseValidator(const ByteVector& bytes);
bool CASActiveStatusOfWeightChannelResponseValidator(const ByteVector& bytes);

// 56 (status after ENQ and DC1), 61 and 62 (one-way zero and tare).
class CASCommandExecutor : public ByteManExecutor {
 public:
  using ByteManExecutor::ByteManExecutor;

 protected:
  ByteVector MakeRequest(ProtocolContext& context, ErrorCase& code) override;
  OutputValues ParseResponse(ProtocolContext& context, const ByteVector& response, ErrorCase& code) override;
};

// 57: listens to a scale that transmits on its own; sends nothing.
class CASActiveCommandExecutor : public ByteManExecutor {
 public:
  using ByteManExecutor::ByteManExecutor;

 protected:
  ByteVector MakeRequest(ProtocolContext& context, ErrorCase& code) override;
  OutputValues ParseResponse(ProtocolContext& context, const ByteVector& response, ErrorCase& code) override;
};

}  // namespace Korvalt::Ponderix::Driver
