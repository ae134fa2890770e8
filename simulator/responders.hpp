// The simulated scale's settable state and the responder of each protocol.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "simulator/responder.hpp"

namespace Scalesim {

// What the scale shows. One weight serves every protocol:
// - POS sends it as a signed 32-bit count (two's complement) and the tare as an unsigned 16-bit count;
// - CAS writes it as text with `decimals` decimals (1250 with 3 decimals is "1.250") in `unit`;
// - OKA writes its magnitude as six decimal digits (the driver reads them as thousandths).
struct Readings {
  std::int64_t weight = 0;  // net weight [counts], signed
  std::int64_t tare = 0;    // [counts]
  bool stable = true;
  bool overload = false;
  std::optional<bool> zeroFlag;  // unset: "at zero" whenever the net weight is 0
  std::string unit = "kg";       // "kg", "lb", "g", or any two characters sent as they are
  int decimals = 3;              // CAS text only
  std::string casWeightText;     // non-empty: the CAS weight field verbatim (cut or blank-padded to 6)
  std::optional<char> casState;  // set: the CAS state byte verbatim instead of 'S'/'U'/'F'
  std::uint8_t posState2 = 0;    // the second POS state byte, sent as it is
  std::optional<std::uint8_t> okaFlag;  // unset: 0x00 stable, 0x40 unstable, 0xC0 overload
  std::uint8_t okaSumDigit = 0;  // tenths digit the OKA scale appends to weight + tare (0..9)
  int settlePolls = 0;           // the next N status replies show "unstable", then the scale is stable
  // Set: status replies show "unstable" until this moment, then the scale is stable (a load placed
  // or taken off, see ScaleState::Place).
  std::optional<std::chrono::steady_clock::time_point> settlesAt;
};

// How the POS and CAS scales answer the ENQ handshake.
enum class EnqReply { Ack, Nak, None, DoubleAck };

struct ScaleFaults {
  EnqReply enqReply = EnqReply::Ack;
  bool badCheck = false;  // POS check byte and CAS BCC inverted (every bit flipped)
  Bytes stray;            // sent before every data reply (POS, CAS and OKA replies, CAS-M-Active frames)
  // CAS-M-Active only: > 0 sends each frame as this many bytes on one tick and the rest on the next.
  // (Answers to requests are split by the transport's own chunking.)
  std::size_t splitAt = 0;
  std::set<std::string> ignored;        // request kinds (see RequestCount) the scale does not answer
  std::set<std::string> errorKeywords;  // native keywords answered "ERROR\r\n" ("sern", "max", ...)
};

// Shared by every responder of one simulated scale; tests and the simulator's command line change it
// while the transport runs. Every member is safe to call from any thread.
class ScaleState {
 public:
  ScaleState();

  Readings GetReadings() const;
  void SetReadings(const Readings& readings);
  void SetWeight(std::int64_t weight);
  void SetTare(std::int64_t tare);
  void SetStable(bool stable);
  // A load put on the platform: the net weight becomes `weight` [counts] and the scale swings for
  // `settle`, then turns stable. Remove takes every load off: the gross weight is 0, so the net
  // weight is minus the tare (0 without one).
  void Place(std::int64_t weight, std::chrono::milliseconds settle);
  void Remove(std::chrono::milliseconds settle);

  ScaleFaults GetFaults() const;
  void SetFaults(const ScaleFaults& faults);

  // Values of the native text protocol by keyword ("mode", "ver1", "sern", "max", "div", ...).
  // Empty for a keyword never set.
  std::string NativeValue(const std::string& keyword) const;
  void SetNativeValue(const std::string& keyword, const std::string& value);

  // Interval at which a CAS-M-Active scale sends its frame; read when the transport starts.
  std::chrono::milliseconds ActiveInterval() const;
  void SetActiveInterval(std::chrono::milliseconds interval);

  // Requests received, by kind:
  //   "enq" (POS and CAS handshake), "pos-status", "pos-zero", "pos-tare", "pos-specify-tare",
  //   "pos-bad-frame" (unknown command or wrong check byte, answered NAK),
  //   "cas-status" (DC1), "cas-zero", "cas-tare", "cas-active-frame" (frames sent unprompted),
  //   "oka-weight", "oka-sum", "oka-zero", "oka-tare",
  //   native lines as "G" or "S" and the keyword ("Gsern", "Smax", "Swcal" with or without value),
  //   "native-unknown" (a line that is no known command).
  int RequestCount(const std::string& kind) const;
  void ResetRequestCounts();

  // Used by the responders.
  void Count(const std::string& kind);
  // The readings for one status reply; counts down settlePolls.
  Readings TakeStatusReading();
  void ApplyZero();                       // net weight to 0
  void ApplyTare();                       // the net weight becomes the tare
  void ApplyTareValue(std::int64_t tare);  // the gross weight stays, the net follows the new tare

 private:
  mutable std::mutex mutex_;
  Readings readings_;
  ScaleFaults faults_;
  std::map<std::string, std::string> native_;
  std::chrono::milliseconds activeInterval_{100};
  std::map<std::string, int> counts_;
};

std::shared_ptr<ScaleState> MakeScaleState();

// key=value setting ("weight", "tare", "stable", ...); false for an unknown key or a bad value.
// Booleans take 1/0, true/false, yes/no, on/off. Keys:
//   weight=<number>         net weight [counts], signed (POS: grams; CAS: see decimals; OKA: thousandths);
//                           with a decimal point in thousands of counts: "1.25" is 1250
//   tare=<number>           tare [counts] as weight, not negative
//   stable=<bool>           overload=<bool>
//   zero=<bool>|auto        POS "at zero" bit; auto: set while the net weight is 0
//   unit=kg|lb|g|<2 chars>  CAS unit field
//   decimals=<0..5>         decimals of the CAS weight text
//   cas-weight=<text>       CAS weight field verbatim (blank-padded to 6); empty: from weight
//   cas-state=<char>|auto   CAS state byte verbatim; auto: 'S', 'U' or 'F'
//   pos-state2=<0..255>     second POS state byte
//   oka-flag=<0..255>|auto  OKA flag byte (0x.. accepted); auto: 0x00 stable, 0x40 unstable, 0xC0 overload
//   oka-sum-digit=<0..9>    tenths digit of the OKA weight + tare reply
//   settle-polls=<n>        the next n status replies show "unstable", then the scale turns stable
//   active-interval-ms=<n>  CAS-M-Active frame interval [ms], > 0; set it before the transport starts
//   enq=ack|nak|none|double handshake answer (double: ACK ACK)
//   bad-check=<bool>        wrong POS check byte / CAS BCC
//   stray=<hex bytes>       bytes sent before every data reply, e.g. "0304"; empty: none
//   split-at=<n>            CAS-M-Active frames go out as n bytes, the rest on the next tick; 0: whole
//   ignore=<kind,kind,...>  request kinds left unanswered (kinds as for RequestCount); empty: none
//   error-keywords=<kw,...> native keywords answered "ERROR\r\n"; empty: none
//   native keywords: mode ver1 ver2 prov sern max div azr azt pzr kzr ktr ovr off bkl cal cnt modc
//                    u2en u3en sav wcal cell1 cell2 (div must be 0..5)
bool SetScaleValue(ScaleState& state, const std::string& key, const std::string& value);
// A weight as the key "weight" takes it ("1250", "-5", "1.25" for 1250 counts).
std::optional<std::int64_t> ParseWeight(const std::string& text);

// "native", "POS2M", "POS2MProV1", "CAS-M", "CAS-M ProV1", "CAS-M-Active", "OKA", "silent";
// nullptr for an unknown name. The ProV1 variants and OKA also answer native text lines.
std::unique_ptr<Responder> MakeProtocolResponder(const std::string& protocol, std::shared_ptr<ScaleState> state);

}  // namespace Scalesim
