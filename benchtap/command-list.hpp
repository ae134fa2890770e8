// The driver command and the program's control commands of a script.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "benchtap/command.hpp"

namespace Korvalt::Ponderix::Benchtap {

// One library command with the parameters set before it and read after it.
class DriverCommand : public ICommand {
 public:
  using Params = std::vector<std::pair<ParamType, std::string>>;

  DriverCommand(Command command, Params inputs, Params outputs);
  std::string GetCommand() override;
  std::string ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) override;

  const Params& Inputs() const { return inputs_; }
  const Params& Outputs() const { return outputs_; }
  Command Which() const { return command_; }

 private:
  // Sets every input in order, adding " input  [ { Type : value } ... ]" to `text`; false at the
  // first one the library refuses. Nothing to do without inputs.
  bool WriteInputs(Wrapper::Device& device, std::string& text, ErrorCase& ecase);
  // A command given without either list reads the parameters it works on.
  void ListProducedOutputs();
  // Reads every output in order, adding " output [ ... ]" to `text` and setting the results
  // file's tags; false at the first failed read. Nothing to do without outputs.
  bool ReadOutputs(Wrapper::Device& device, std::string& text, ErrorCase& ecase);

  Command command_;
  Params inputs_;
  Params outputs_;
};

class CLICommandList : public BenchtapCommand {
 public:
  explicit CLICommandList(CommandList list);
  std::string GetCommand() override;
  std::string ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) override;

 private:
  CommandList list_;
};

// Shows the weight `count` times, `period` [ms] apart, on one console line.
class CLILoopWeight : public BenchtapCommand {
 public:
  CLILoopWeight(int count, int period);
  std::string GetCommand() override;
  std::string ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) override;

 private:
  int count_;
  int period_;
};

// Runs the body, then the condition; the condition's option "continue"/"repeat" runs again,
// "cancel" ends with EscapeClicked.
class CLIDoWhile : public BenchtapCommand {
 public:
  CLIDoWhile(std::unique_ptr<ICommand> body, std::unique_ptr<ICommand> condition);
  std::string GetCommand() override;
  std::string ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) override;

 private:
  std::unique_ptr<ICommand> body_;
  std::unique_ptr<ICommand> condition_;
};

// Retries its executable up to `count` times, `period` [ms] after each failure.
class CLIErrorCaseHandler : public BenchtapCommand {
 public:
  CLIErrorCaseHandler(int count, int period, std::unique_ptr<ICommand> executable);
  std::string GetCommand() override;
  std::string ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) override;

 private:
  int count_;
  int period_;
  std::unique_ptr<ICommand> executable_;
};

class CLIHelloWorld : public BenchtapCommand {
 public:
  std::string GetCommand() override;
  std::string ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) override;
};

// The option word in a condition's text: the part before the first ']', and of that the part
// after the last ':' or space ("option: cancel" -> "cancel").
std::string SelectedOption(const std::string& text);

}  // namespace Korvalt::Ponderix::Benchtap
