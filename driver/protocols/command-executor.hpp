// Executors turn one command into bytes on the wire and the answer into output values;
// communicators carry out the byte exchange an executor asks for.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "driver/vocabulary/bytes.hpp"
#include "driver/protocols/protocol-context.hpp"
#include "driver/vocabulary/output-values.hpp"
#include "driver/vocabulary/weight-reading.hpp"
#include "driver/api/driver-types.hpp"

namespace Korvalt::Ponderix::Driver {

// Locator of a value inside a binary frame.
struct ParamPosition {
  std::int32_t offset;
  std::int32_t length;
  ParamType paramType;
};

class ICommandExecutor {
 public:
  virtual ~ICommandExecutor() = default;
  // `code` is Correct on entry; on return it holds the result. Values only on success.
  virtual OutputValues ExecuteCommand(ProtocolContext& context, ErrorCase& code) = 0;
  // After a status command that succeeded: the reading its outputs were rendered from. Empty for
  // every other command.
  virtual std::optional<WeightReading> TakeReading() { return std::nullopt; }
};

// One exchange (or a fixed sequence of them) with the scale through the device's connection.
// The read ends as soon as `validator` accepts the bytes gathered so far.
class ICommunicator {
 public:
  virtual ~ICommunicator() = default;
  virtual ByteVector Communicate(ProtocolContext& context, const ByteVector& request, ErrorCase& code,
                                 ResponseValidator validator) = 0;
};

// Answer of the factory to a command it does not know; running it throws std::logic_error.
class EmptyExecutor : public ICommandExecutor {
 public:
  OutputValues ExecuteCommand(ProtocolContext& context, ErrorCase& code) override;
};

// The output slots a command fills when it succeeds: the device clears exactly these when the
// command fails, so no value of an earlier success outlives a failed read.
std::vector<ParamType> CommandOutputs(Command command);

// A fresh executor for one command; an unknown command gives CommandUnsupported and an
// EmptyExecutor. The executor families of the protocol table are asked in turn.
std::unique_ptr<ICommandExecutor> CreateExecutor(Command command, ErrorCase& code);

}  // namespace Korvalt::Ponderix::Driver
