// The ASCII control bytes the scales' protocols frame and acknowledge with.
#pragma once

#include <cstdint>

namespace Korvalt::Ponderix::Driver {

constexpr std::uint8_t kSoh = 0x01;
constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kEtx = 0x03;
constexpr std::uint8_t kEot = 0x04;
constexpr std::uint8_t kEnq = 0x05;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kNak = 0x15;

}  // namespace Korvalt::Ponderix::Driver
