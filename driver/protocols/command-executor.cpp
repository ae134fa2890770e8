#include "driver/protocols/command-executor.hpp"

#include <stdexcept>

#include "driver/protocols/native-protocol.hpp"
#include "driver/protocols/protocol-table.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

struct CommandOutputRow {
  Command command;
  std::vector<ParamType> outputs;
};

// Commands outside the native keyword table that fill outputs; the native ones are read from
// their table row. The "auto" status command fills what any of the protocols it tries fills.
const std::vector<CommandOutputRow>& WeighingOutputTable() {
  using C = Command;
  using P = ParamType;
  static const std::vector<CommandOutputRow> table{
      {C::POSStatusOfWeightChannel, {P::Weight, P::WeightState, P::Tare, P::UnitOfMeasure}},
      {C::CASStatusOfWeightChannel, {P::Weight, P::WeightState, P::UnitOfMeasure}},
      {C::CASActiveStatusOfWeightChannel, {P::Weight, P::WeightState, P::UnitOfMeasure}},
      {C::OKAStatusOfWeightChannel, {P::Weight, P::WeightState, P::Tare}},
      {C::StatusOfWeightChannelAuto, {P::Weight, P::WeightState, P::Tare, P::UnitOfMeasure}},
      {C::GetProtocolAuto, {P::ProtocolVersion}},
  };
  return table;
}

}  // namespace

std::vector<ParamType> CommandOutputs(Command command) {
  if (const NativeCommand* row = FindNativeCommand(command)) {
    if (row->output == ParamType::Unset) return {};
    return {row->output};
  }
  for (const auto& row : WeighingOutputTable()) {
    if (row.command == command) return row.outputs;
  }
  return {};
}

OutputValues EmptyExecutor::ExecuteCommand(ProtocolContext&, ErrorCase&) {
  throw std::logic_error("Korvalt::Ponderix::Driver::command-executor, EmptyExecutor was ran.");
}

std::unique_ptr<ICommandExecutor> CreateExecutor(Command command, ErrorCase& code) {
  // Every family knows its own commands and answers nullptr for the rest: the first of the
  // protocol table's families that builds an executor wins.
  for (const auto& row : ProtocolTable()) {
    for (ExecutorFamily family : row.families) {
      if (auto executor = family(command)) return executor;
    }
  }
  code = ErrorCase::CommandUnsupported;
  return std::make_unique<EmptyExecutor>();
}

}  // namespace Korvalt::Ponderix::Driver
