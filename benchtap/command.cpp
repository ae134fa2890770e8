#include "benchtap/command.hpp"

#include <atomic>
#include <chrono>
#include <iostream>
#include <stdexcept>
#include <thread>

#include "benchtap/names.hpp"
#include "benchtap/results.hpp"
#include "common/text-template.hpp"

namespace Korvalt::Ponderix::Benchtap {
namespace {
std::atomic<OutputType> g_outputType{OutputType::Console};
// Width of the "<name>:" column of a console line.
constexpr std::size_t kNameColumn = 26;
}  // namespace

OutputType GetOutputType() { return g_outputType.load(); }
void SetOutputType(OutputType type) { g_outputType = type; }
bool ReportsToConsole() { return GetOutputType() != OutputType::Json; }
bool ReportsToJson() { return GetOutputType() != OutputType::Console; }

void ICommand::ExecuteCommand(Wrapper::Device& device) {
  ErrorCase ecase = ErrorCase::Correct;
  ExecuteCommand(device, ecase);
  if (ecase != ErrorCase::Correct) throw std::logic_error("Auto throw exception, err-case is not correct.");
}

std::string EmptyCommand::GetCommand() { throw std::logic_error("command-list, runed EmptyCommand::GetCommand."); }

std::string EmptyCommand::ExecuteCommand(Wrapper::Device&, ErrorCase&) {
  throw std::logic_error("command-list, runed EmptyCommand::ExecuteCommand.");
}

std::string ConsoleLine(const std::string& name, ErrorCase ecase, const std::string& text) {
  std::string line = name + ":";
  if (line.size() < kNameColumn) line.append(kNameColumn - line.size(), ' ');
  return line + Text::Fill(" ecase [@] returns [@]", ToString(ecase), text);
}

void RunCommandList(CommandList& list, Wrapper::Device& device, ErrorCase& ecase) {
  for (auto& command : list) {
    ecase = ErrorCase::Correct;
    std::string text = command->ExecuteCommand(device, ecase);
    if (ReportsToConsole()) std::cout << ConsoleLine(command->GetCommand(), ecase, text) << std::endl;
    if (ReportsToJson()) Results::AddRecord(text, ecase);
  }
}

void SleepMilliseconds(int period) {
  if (period > 0) std::this_thread::sleep_for(std::chrono::milliseconds(period));
}

}  // namespace Korvalt::Ponderix::Benchtap
