// Executors that run other commands through the device and judge the outcome: protocol
// detection (GetProtocolAuto) and the weight status of whichever protocol answers
// (StatusOfWeightChannelAuto).
#pragma once

#include <string>

#include "driver/protocols/command-executor.hpp"

namespace Korvalt::Ponderix::Driver {

// Tries, in this order, the POS, OKA, CAS-M-Active and CAS-M status commands; a POS or CAS-M
// scale that also answers the native serial-number question is a "ProV1" one. Output:
// ProtocolVersion. Nothing answers: the CAS-M attempt's failure.
class GetProtocolVersionAutoExecutor : public ICommandExecutor {
 public:
  explicit GetProtocolVersionAutoExecutor(Command command) : command_(command) {}
  OutputValues ExecuteCommand(Device& device, ErrorCase& code) override;

 private:
  Command command_;
};

// POS, then CAS-M, then OKA status; the outputs stay in the device from the command that
// succeeded. Nothing answers: the OKA attempt's failure. CAS-M-Active is not tried.
class StatusOfWeightChannelAutoExecutor : public ICommandExecutor {
 public:
  explicit StatusOfWeightChannelAutoExecutor(Command command) : command_(command) {}
  OutputValues ExecuteCommand(Device& device, ErrorCase& code) override;

 private:
  Command command_;
};

}  // namespace Korvalt::Ponderix::Driver
