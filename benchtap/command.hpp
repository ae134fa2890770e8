// The script command interface, the run of a command list with its console lines, and the
// process-wide choice of reporting.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "benchtap/driver-interface.hpp"
#include "benchtap/wrapper.hpp"

namespace Korvalt::Ponderix::Benchtap {

// Where each command's outcome is reported; chosen once by the command line.
enum class OutputType { Console = 0, Json = 1, Both = 2 };
OutputType GetOutputType();
void SetOutputType(OutputType type);
// Console or Both.
bool ReportsToConsole();
// Json or Both.
bool ReportsToJson();

class ICommand {
 public:
  virtual ~ICommand() = default;
  // Name shown in the command's console line.
  virtual std::string GetCommand() = 0;
  // Runs the command on `device`; sets `ecase` and returns the result text.
  virtual std::string ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) = 0;
  // Runs the command with a code of its own; throws std::logic_error
  // "Auto throw exception, err-case is not correct." when it fails.
  void ExecuteCommand(Wrapper::Device& device);
};

// Base of the program's own commands (the CLI... classes).
class BenchtapCommand : public ICommand {};

// Stands in for an entry that failed to build; a run never reaches it.
class EmptyCommand : public ICommand {
 public:
  std::string GetCommand() override;
  std::string ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) override;
};

using CommandList = std::vector<std::unique_ptr<ICommand>>;

// Runs every command in order (a failure does not stop the list). Each command gets a console
// line (Console/Both) and a result record (Json/Both). `ecase` keeps the last command's code.
void RunCommandList(CommandList& list, Wrapper::Device& device, ErrorCase& ecase);

// "<name>:" padded to 26 characters, then " ecase [<code name>] returns [<text>]".
std::string ConsoleLine(const std::string& name, ErrorCase ecase, const std::string& text);

// Sleeps the calling thread for `period` milliseconds (nothing for a period below 1).
void SleepMilliseconds(int period);

}  // namespace Korvalt::Ponderix::Benchtap
