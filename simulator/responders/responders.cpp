// The scale's side of each protocol. A responder reads the driver's bytes one at a time, as a scale's
// firmware does, so a request split over several reads or several requests in one read are both fine.
#include "simulator/responders.hpp"

#include <algorithm>
#include <mutex>
#include <string>

#include "simulator/responders/frames.hpp"
#include "simulator/responders/native-protocol.hpp"

namespace Scalesim {
namespace {

using Clock = std::chrono::steady_clock;
using namespace Control;

// A partial request older than this is forgotten when new bytes arrive, like a scale whose
// receive buffer times out between two requests.
constexpr auto kInputIdleReset = std::chrono::seconds(1);

class ResponderBase : public Responder {
 public:
  explicit ResponderBase(std::shared_ptr<ScaleState> state) : state_(std::move(state)) {}

  Bytes OnReceive(const Bytes& chunk) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto now = Clock::now();
    if (received_ && now - lastInput_ > kInputIdleReset) ResetInput();
    received_ = true;
    lastInput_ = now;
    Bytes answer;
    for (std::uint8_t byte : chunk) Consume(byte, answer);
    return answer;
  }

 protected:
  virtual void Consume(std::uint8_t byte, Bytes& out) = 0;
  virtual void ResetInput() = 0;

  ScaleState& State() { return *state_; }

  // Counts the request; false when the scale is told to leave it unanswered.
  bool Take(const std::string& kind) {
    state_->Count(kind);
    return state_->GetFaults().ignored.count(kind) == 0;
  }

  void AnswerEnq(Bytes& out) {
    if (!Take("enq")) return;
    switch (state_->GetFaults().enqReply) {
      case EnqReply::Ack: out.push_back(kAck); break;
      case EnqReply::Nak: out.push_back(kNak); break;
      case EnqReply::None: break;
      case EnqReply::DoubleAck: out.insert(out.end(), {kAck, kAck}); break;
    }
  }

  void AnswerData(const Bytes& reply, Bytes& out) {
    const Bytes stray = state_->GetFaults().stray;
    out.insert(out.end(), stray.begin(), stray.end());
    out.insert(out.end(), reply.begin(), reply.end());
  }

  bool BadCheck() const { return state_->GetFaults().badCheck; }

 private:
  std::shared_ptr<ScaleState> state_;
  std::mutex mutex_;
  bool received_ = false;
  Clock::time_point lastInput_;
};

// Only the native text protocol.
class NativeResponder : public ResponderBase {
 public:
  using ResponderBase::ResponderBase;

 protected:
  void Consume(std::uint8_t byte, Bytes& out) override {
    if (lines_.InLine() || NativeLines::StartsLine(byte)) lines_.Feed(byte, State(), out);
  }
  void ResetInput() override { lines_.Reset(); }

 private:
  NativeLines lines_;
};

// POS2M; the ProV1 variant also answers native lines.
class PosResponder : public ResponderBase {
 public:
  PosResponder(std::shared_ptr<ScaleState> state, bool pro) : ResponderBase(std::move(state)), pro_(pro) {}

 protected:
  void Consume(std::uint8_t byte, Bytes& out) override {
    if (!frame_.empty()) {
      frame_.push_back(byte);
      if (frame_.size() >= 2 && frame_.size() == frame_[1] + 3u) {
        HandleFrame(out);
        frame_.clear();
      }
    } else if (lines_.InLine()) {
      lines_.Feed(byte, State(), out);
    } else if (byte == kEnq) {
      AnswerEnq(out);
    } else if (byte == kStx) {
      frame_.push_back(byte);
    } else if (pro_ && NativeLines::StartsLine(byte)) {
      lines_.Feed(byte, State(), out);
    }
  }

  void ResetInput() override {
    frame_.clear();
    lines_.Reset();
  }

 private:
  // frame_ is STX, L, L data bytes, check byte.
  void HandleFrame(Bytes& out) {
    const std::uint8_t length = frame_[1];
    const Bytes data(frame_.begin() + 2, frame_.end() - 1);
    const std::string text(data.begin(), data.end());
    std::uint8_t dataCheck = 0;
    for (std::uint8_t byte : data) dataCheck ^= byte;
    const std::uint8_t check = frame_.back();

    // The specify-tare frame's check byte leaves the length byte out; every other frame includes it.
    const bool specifyTare = data.size() == 7 && text.compare(0, 5, "20030") == 0;
    const bool checkOk = specifyTare ? check == dataCheck : check == (length ^ dataCheck);
    std::string kind = "pos-bad-frame";
    if (checkOk) {
      if (text == ":0030") kind = "pos-status";
      else if (text == "00030") kind = "pos-zero";
      else if (text == "10030") kind = "pos-tare";
      else if (specifyTare) kind = "pos-specify-tare";
    }
    if (!Take(kind)) return;

    if (kind == "pos-status") {
      AnswerData(PosStatusReply(State().TakeStatusReading(), BadCheck()), out);
    } else if (kind == "pos-zero") {
      State().ApplyZero();
      AnswerData(PosFrame({'0', 0x00}, BadCheck()), out);
    } else if (kind == "pos-tare") {
      State().ApplyTare();
      AnswerData(PosFrame({'1', 0x00}, BadCheck()), out);
    } else if (kind == "pos-specify-tare") {
      State().ApplyTareValue(data[5] | (data[6] << 8));
      AnswerData(PosFrame({'2', 0x00}, BadCheck()), out);
    } else {
      out.push_back(kNak);
    }
  }

  const bool pro_;
  Bytes frame_;
  NativeLines lines_;
};

// CAS-M answering ENQ and DC1; the ProV1 variant also answers native lines.
class CasResponder : public ResponderBase {
 public:
  CasResponder(std::shared_ptr<ScaleState> state, bool pro) : ResponderBase(std::move(state)), pro_(pro) {}

 protected:
  void Consume(std::uint8_t byte, Bytes& out) override {
    if (!command_.empty()) {
      command_.push_back(static_cast<char>(byte));
      if (byte == kTab || command_.size() == 5) HandleCommand();
    } else if (lines_.InLine()) {
      lines_.Feed(byte, State(), out);
    } else if (byte == kEnq) {
      AnswerEnq(out);
    } else if (byte == kDc1) {
      if (Take("cas-status")) AnswerData(CasFrame(State().TakeStatusReading(), BadCheck()), out);
    } else if (byte == '<') {
      command_.push_back('<');
    } else if (pro_ && NativeLines::StartsLine(byte)) {
      lines_.Feed(byte, State(), out);
    }
  }

  void ResetInput() override {
    command_.clear();
    lines_.Reset();
  }

 private:
  // Zero and tare keys pressed by the driver; the scale answers nothing.
  void HandleCommand() {
    if (command_ == "<ZK>\t" && Take("cas-zero")) State().ApplyZero();
    if (command_ == "<TK>\t" && Take("cas-tare")) State().ApplyTare();
    command_.clear();
  }

  const bool pro_;
  std::string command_;
  NativeLines lines_;
};

// Sends its frame every ActiveInterval() and never listens.
class CasActiveResponder : public Responder {
 public:
  explicit CasActiveResponder(std::shared_ptr<ScaleState> state) : state_(std::move(state)) {}

  Bytes OnReceive(const Bytes&) override { return {}; }

  Bytes OnTick() override {
    std::lock_guard<std::mutex> lock(mutex_);
    Bytes out;
    if (!pending_.empty()) {
      out.swap(pending_);
      return out;
    }
    state_->Count("cas-active-frame");
    const ScaleFaults faults = state_->GetFaults();
    if (faults.ignored.count("cas-active-frame")) return out;
    out = faults.stray;
    const Bytes frame = CasFrame(state_->TakeStatusReading(), faults.badCheck);
    out.insert(out.end(), frame.begin(), frame.end());
    if (faults.splitAt != 0 && out.size() > faults.splitAt) {
      pending_.assign(out.begin() + static_cast<std::ptrdiff_t>(faults.splitAt), out.end());
      out.resize(faults.splitAt);
    }
    return out;
  }

  std::chrono::milliseconds TickInterval() const override { return state_->ActiveInterval(); }

 private:
  std::shared_ptr<ScaleState> state_;
  std::mutex mutex_;
  Bytes pending_;
};

// OKA: 7-byte commands 02 (weight, digits 999999) and 07 (tare digits), 16-byte commands of fifteen
// zeros and 06 (weight plus tare) or 01 (zero). Also answers native lines.
class OkaResponder : public ResponderBase {
 public:
  using ResponderBase::ResponderBase;

 protected:
  void Consume(std::uint8_t byte, Bytes& out) override {
    if (!message_.empty()) {
      message_.push_back(byte);
      const std::size_t size = message_[0] == 0x00 ? 16 : 7;
      if (message_.size() == size) {
        HandleMessage(out);
        message_.clear();
      }
    } else if (lines_.InLine()) {
      lines_.Feed(byte, State(), out);
    } else if (byte == 0x02 || byte == 0x07 || byte == 0x00) {
      message_.push_back(byte);
    } else if (NativeLines::StartsLine(byte)) {
      lines_.Feed(byte, State(), out);
    }
  }

  void ResetInput() override {
    message_.clear();
    lines_.Reset();
  }

 private:
  void HandleMessage(Bytes& out) {
    const auto digits = message_.begin() + 1;
    const std::uint8_t command = message_[0];
    if (command == 0x02) {
      if (std::all_of(digits, message_.end(), [](std::uint8_t b) { return b == 9; }) && Take("oka-weight")) {
        AnswerData(OkaWeightReply(State().TakeStatusReading()), out);
      }
    } else if (command == 0x07) {
      if (std::all_of(digits, message_.end(), [](std::uint8_t b) { return b <= 9; }) && Take("oka-tare")) {
        std::int64_t tare = 0;
        for (auto it = message_.end(); it != digits;) tare = tare * 10 + *--it;
        State().ApplyTareValue(tare);
      }
    } else if (std::all_of(digits, message_.end() - 1, [](std::uint8_t b) { return b == 0; })) {
      if (message_.back() == 0x06 && Take("oka-sum")) AnswerData(OkaSumReply(State().GetReadings()), out);
      if (message_.back() == 0x01 && Take("oka-zero")) State().ApplyZero();
    }
  }

  Bytes message_;
  NativeLines lines_;
};

class SilentResponder : public Responder {
 public:
  Bytes OnReceive(const Bytes&) override { return {}; }
};

}  // namespace

std::unique_ptr<Responder> MakeProtocolResponder(const std::string& protocol, std::shared_ptr<ScaleState> state) {
  if (!state) return nullptr;
  if (protocol == "native") return std::make_unique<NativeResponder>(state);
  if (protocol == "POS2M") return std::make_unique<PosResponder>(state, false);
  if (protocol == "POS2MProV1") return std::make_unique<PosResponder>(state, true);
  if (protocol == "CAS-M") return std::make_unique<CasResponder>(state, false);
  if (protocol == "CAS-M ProV1") return std::make_unique<CasResponder>(state, true);
  if (protocol == "CAS-M-Active") return std::make_unique<CasActiveResponder>(state);
  if (protocol == "OKA") return std::make_unique<OkaResponder>(state);
  if (protocol == "silent") return std::make_unique<SilentResponder>();
  return nullptr;
}

}  // namespace Scalesim
