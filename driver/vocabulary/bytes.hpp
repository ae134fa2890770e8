// The words every layer of the driver shares: the bytes on the wire and the test of a whole reply.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace Korvalt::Ponderix::Driver {

// Every request and response on the wire.
using ByteVector = std::vector<std::uint8_t>;

// Completion test of a read: true when the bytes gathered so far form a whole response.
using ResponseValidator = std::function<bool(const ByteVector&)>;

}  // namespace Korvalt::Ponderix::Driver
