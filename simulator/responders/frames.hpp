// Replies of the binary weighing protocols, built from the scale's readings.
#pragma once

#include <cstdint>
#include <string>

#include "simulator/responder.hpp"
#include "simulator/responders.hpp"

namespace Scalesim {

namespace Control {
constexpr std::uint8_t kSoh = 0x01, kStx = 0x02, kEtx = 0x03, kEot = 0x04, kEnq = 0x05, kAck = 0x06, kTab = 0x09,
                       kDc1 = 0x11, kNak = 0x15;
}

// POS: ACK, STX, length L, L data bytes, check byte = XOR of L and the data (every bit flipped when
// badCheck).
Bytes PosFrame(const Bytes& data, bool badCheck);
// POS status: data ':' 00, two state bytes, weight (signed 32-bit LE), tare (unsigned 16-bit LE), 00 00.
// First state byte: bit 0 stable, bit 1 at zero, bit 2 tare in use, bit 3 overload.
Bytes PosStatusReply(const Readings& readings, bool badCheck);
std::uint8_t PosStateByte(const Readings& readings);

// CAS: SOH STX state sign weight[6] unit[2] BCC ETX EOT; BCC = XOR of state through unit.
Bytes CasFrame(const Readings& readings, bool badCheck);
// The six-character weight field, right-aligned (no sign).
std::string CasWeightField(const Readings& readings);

// OKA: digits one per byte (0..9), least significant first.
Bytes OkaWeightReply(const Readings& readings);  // 24 bytes: weight[6], 5 zeros, flag, 12 zeros
Bytes OkaSumReply(const Readings& readings);     // 18 bytes: (weight + tare) in tenths [7], 11 zeros
std::uint8_t OkaFlag(const Readings& readings);

}  // namespace Scalesim
