// A device as the protocols see it, without a line or a logic-device store: the caller's input
// values, a protocol name, and other commands answered from a script.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "driver/protocols/protocol-context.hpp"

namespace Korvalt::Ponderix::Driver {

class StandInContext : public ProtocolContext {
 public:
  struct Answer {
    ErrorCase result;
    OutputValues outputs;
  };

  void SetParam(ParamType type, const std::string& value) { inputs_[type] = value; }
  // The answers RunOtherCommand gives, one per call, in order; then CommandUnsupported.
  void Script(std::vector<Answer> answers) { answers_ = std::move(answers); }
  const std::vector<Command>& OtherCommandsRun() const { return run_; }

  std::shared_ptr<Connection> GetConnection() override { return nullptr; }
  std::string GetInputParam(ParamType type, ErrorCase& result) override {
    auto input = inputs_.find(type);
    if (input == inputs_.end() || input->second.empty()) {
      result = ErrorCase::ParamTypeIsNotSetToGet;
      return {};
    }
    return input->second;
  }
  std::string GetProtocol() const override { return "auto"; }
  OutputValues RunOtherCommand(Command command, ErrorCase& result) override {
    run_.push_back(command);
    if (run_.size() > answers_.size()) {
      result = ErrorCase::CommandUnsupported;
      return {};
    }
    result = answers_[run_.size() - 1].result;
    return answers_[run_.size() - 1].outputs;
  }

 private:
  std::map<ParamType, std::string> inputs_;
  std::vector<Answer> answers_;
  std::vector<Command> run_;
};

}  // namespace Korvalt::Ponderix::Driver
