#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "simulator/responders.hpp"

namespace SimulatorTests {

using Scalesim::Bytes;

inline Bytes B(std::initializer_list<int> values) {
  Bytes bytes;
  for (int v : values) bytes.push_back(static_cast<std::uint8_t>(v));
  return bytes;
}

inline Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

inline std::string AsText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// One scale of the given protocol and its state.
struct Scale {
  explicit Scale(const std::string& protocol)
      : state(Scalesim::MakeScaleState()), responder(Scalesim::MakeProtocolResponder(protocol, state)) {}
  void Set(const std::string& key, const std::string& value) {
    ASSERT_TRUE(Scalesim::SetScaleValue(*state, key, value)) << key << "=" << value;
  }
  Bytes Send(const Bytes& bytes) { return responder->OnReceive(bytes); }
  std::string Ask(const std::string& line) { return AsText(Send(Text(line))); }

  std::shared_ptr<Scalesim::ScaleState> state;
  std::unique_ptr<Scalesim::Responder> responder;
};

// Requests as the driver sends them.
const Bytes kEnq = B({0x05});
const Bytes kPosStatus = B({0x02, 0x05, 0x3A, 0x30, 0x30, 0x33, 0x30, 0x3C});
const Bytes kPosZero = B({0x02, 0x05, 0x30, 0x30, 0x30, 0x33, 0x30, 0x36});
const Bytes kPosTare = B({0x02, 0x05, 0x31, 0x30, 0x30, 0x33, 0x30, 0x37});
const Bytes kDc1 = B({0x11});
const Bytes kOkaWeight = B({0x02, 0x09, 0x09, 0x09, 0x09, 0x09, 0x09});
inline Bytes OkaSixteen(int last) {
  Bytes bytes(15, 0x00);
  bytes.push_back(static_cast<std::uint8_t>(last));
  return bytes;
}

}  // namespace SimulatorTests
