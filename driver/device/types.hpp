// Types shared by the device, the protocols and the connections.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "driver/interface/driver-types.hpp"

namespace Korvalt::Ponderix::Driver {

// Every request and response on the wire.
using ByteVector = std::vector<std::uint8_t>;

// Completion test of a read: true when the bytes gathered so far form a whole response.
using ResponseValidator = std::function<bool(const ByteVector&)>;

// What an executor returns and the device stores, in ascending ParamType order.
using OutputValues = std::map<ParamType, std::string>;

// Locator of a value inside a binary frame.
struct ParamPosition {
  std::int32_t offset;
  std::int32_t length;
  ParamType paramType;
};

}  // namespace Korvalt::Ponderix::Driver
