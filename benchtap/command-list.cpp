#include "benchtap/command-list.hpp"

#include <iostream>
#include <stdexcept>

#include "benchtap/names.hpp"
#include "benchtap/results.hpp"
#include "common/text-template.hpp"

namespace Korvalt::Ponderix::Benchtap {

DriverCommand::DriverCommand(Command command, Params inputs, Params outputs)
    : command_(command), inputs_(std::move(inputs)), outputs_(std::move(outputs)) {}

std::string DriverCommand::GetCommand() { return ToString(command_); }

std::string DriverCommand::ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) {
  std::string text;
  if (!WriteInputs(device, text, ecase)) return {};
  device.ExecuteCommand(command_, ecase);
  Results::SetLastDriverCommand(ToString(command_));
  if (ecase != ErrorCase::Correct) return {};
  if (inputs_.empty() && outputs_.empty()) ListProducedOutputs();
  if (!ReadOutputs(device, text, ecase)) return {};
  return text;
}

bool DriverCommand::WriteInputs(Wrapper::Device& device, std::string& text, ErrorCase& ecase) {
  if (inputs_.empty()) return true;
  text += " input  [";
  for (const auto& [type, value] : inputs_) {
    device.SetParam(type, value, ecase);
    if (ecase != ErrorCase::Correct) return false;
    text += Text::Fill(" { @ : @ }", ToString(type), value);
  }
  text += " ]";
  return true;
}

void DriverCommand::ListProducedOutputs() {
  try {
    for (auto type : ToParamTypeVector(command_)) outputs_.emplace_back(type, std::string());
  } catch (const std::exception& error) {
    std::cerr << "Error filling output list: " << error.what() << std::endl;
  }
}

bool DriverCommand::ReadOutputs(Wrapper::Device& device, std::string& text, ErrorCase& ecase) {
  if (outputs_.empty()) return true;
  text += " output [";
  for (auto& [type, value] : outputs_) {
    value = device.GetParam(type, ecase);
    // A failed read leaves neither a value nor a file-name tag behind.
    if (ecase != ErrorCase::Correct) {
      value.clear();
      return false;
    }
    if (type == ParamType::ProtocolVersion) Results::SetProtocolVersionTag(value);
    if (type == ParamType::SerialNumber) Results::SetSerialNumberTag(value);
    text += Text::Fill(" { @ : @ }", ToString(type), value);
  }
  text += " ]";
  return true;
}

CLICommandList::CLICommandList(CommandList list) : list_(std::move(list)) {}

std::string CLICommandList::GetCommand() { return "command-list"; }

std::string CLICommandList::ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) {
  RunCommandList(list_, device, ecase);
  return {};
}

CLILoopWeight::CLILoopWeight(int count, int period) : count_(count), period_(period) {}

std::string CLILoopWeight::GetCommand() { return "loop-weight"; }

std::string CLILoopWeight::ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) {
  constexpr std::size_t kWidth = 8;
  std::cout << "Weight: 00000000" << std::flush;
  for (int pass = 0; pass < count_; ++pass) {
    device.ExecuteCommand(Command::StatusOfWeightChannel, ecase);
    if (ecase != ErrorCase::Correct) break;
    std::string weight = device.GetParam(ParamType::Weight, ecase);
    if (ecase != ErrorCase::Correct) break;
    if (weight.size() < kWidth) weight.insert(0, kWidth - weight.size(), '0');
    std::cout << std::string(kWidth, '\b') << weight << std::flush;
    SleepMilliseconds(period_);
  }
  // The line is ended on every way out, so the command's own console line starts on a new one.
  std::cout << std::endl;
  return {};
}

CLIDoWhile::CLIDoWhile(std::unique_ptr<ICommand> body, std::unique_ptr<ICommand> condition)
    : body_(std::move(body)), condition_(std::move(condition)) {}

std::string CLIDoWhile::GetCommand() { return "CLIDoWhile"; }

std::string CLIDoWhile::ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) {
  for (;;) {
    std::string text = body_->ExecuteCommand(device, ecase);
    std::cout << text << std::endl;
    if (ecase != ErrorCase::Correct) return {};
    std::string answer = condition_->ExecuteCommand(device, ecase);
    if (ecase != ErrorCase::Correct) return {};
    std::string option = SelectedOption(answer);
    if (option == "continue" || option == "repeat") continue;
    if (option == "cancel") {
      ecase = ErrorCase::EscapeClicked;
      return "option: cancel";
    }
    throw std::logic_error(Text::Fill("CLIDoWhile, unknown option: @.", option));
  }
}

std::string SelectedOption(const std::string& text) {
  std::string part = text.substr(0, text.find(']'));
  auto separator = part.find_last_of(": ");
  return separator == std::string::npos ? part : part.substr(separator + 1);
}

CLIErrorCaseHandler::CLIErrorCaseHandler(int count, int period, std::unique_ptr<ICommand> executable)
    : count_(count), period_(period), executable_(std::move(executable)) {}

std::string CLIErrorCaseHandler::GetCommand() { return executable_->GetCommand(); }

std::string CLIErrorCaseHandler::ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) {
  if (ecase != ErrorCase::Correct || count_ < 1) return {};
  std::string text;
  for (int attempt = 1; attempt <= count_; ++attempt) {
    std::cout << attempt << std::endl;
    ecase = ErrorCase::Correct;
    text = executable_->ExecuteCommand(device, ecase);
    if (ecase == ErrorCase::Correct) break;
    SleepMilliseconds(period_);
  }
  return text;
}

std::string CLIHelloWorld::GetCommand() { return "hello-world"; }

std::string CLIHelloWorld::ExecuteCommand(Wrapper::Device&, ErrorCase&) {
  std::cout << "Hello World" << std::endl;
  return "Hello World";
}

}  // namespace Korvalt::Ponderix::Benchtap
