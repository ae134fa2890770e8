// Executors that run other commands through the device and judge the outcome: protocol
// detection (GetProtocolAuto) and the weight status of whichever protocol answers
// (StatusOfWeightChannelAuto).
#pragma once

#include <chrono>
#include <string>

#include "driver/protocols/command-executor.hpp"

namespace Korvalt::Ponderix::Driver {

// Runs the protocol table's detection probes in their order; a probe shared by a plain and a
// "ProV1" protocol is followed by the native serial-number question. Output: ProtocolVersion.
// Nothing answers: the last probe's failure.
//
// A quick pass comes first, in which every read waits only the probe's quick wait: a scale that
// answers at all answers within it, and the result is the one the full order gives. When no
// probe succeeded, a line that stayed silent through the quick pass and one full time-out after
// it fails at once (no probe can have been answered in time); any other line gets the full pass
// with the line's own time-outs.
class GetProtocolVersionAutoExecutor : public ICommandExecutor {
 public:
  explicit GetProtocolVersionAutoExecutor(Command command) : command_(command) {}
  OutputValues ExecuteCommand(ProtocolContext& context, ErrorCase& code) override;

 private:
  Command command_;
};

// The status command of each protocol in the table's order (POS, then CAS-M, then OKA); returns
// the outputs of the one that succeeded. Nothing answers: the last attempt's failure. A scale
// that sends its status on its own (CAS-M-Active) is not tried.
class StatusOfWeightChannelAutoExecutor : public ICommandExecutor {
 public:
  explicit StatusOfWeightChannelAutoExecutor(Command command) : command_(command) {}
  OutputValues ExecuteCommand(ProtocolContext& context, ErrorCase& code) override;

 private:
  Command command_;
};

// The quick pass's wait for a probe: `quickWaitMs` of its row at 9600 baud or over TCP, twice
// that at 4800 baud.
std::chrono::milliseconds QuickWait(int quickWaitMs, const std::string& speed);

}  // namespace Korvalt::Ponderix::Driver
