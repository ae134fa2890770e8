// Script commands that talk to the person at the test bench: word dialogs, key-press choices,
// messages around a command, and consecutive serial numbers.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "benchtap/command.hpp"
#include "benchtap/operator-console.hpp"

namespace Korvalt::Ponderix::Benchtap {

// Offers options typed as words; the chosen option's executable (if any) runs.
class CLIDialog : public BenchtapCommand {
 public:
  struct Option {
    std::string name;   // the value reported
    std::string input;  // the word the operator types
    std::unique_ptr<ICommand> executable;
  };

  CLIDialog(std::string message, std::vector<Option> options, OperatorConsole& console = StandardConsole());
  std::string GetCommand() override;
  // At end of input: EscapeClicked, "end of input" on the error stream, empty text.
  std::string ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) override;

 private:
  // The message (when there is one) and a line per option.
  void PrintOptions();
  // Prompts until the operator types one of the inputs; null at the end of input.
  const Option* ReadChoice();

  std::string message_;
  std::vector<Option> options_;
  OperatorConsole& console_;
};

// Offers options chosen by one key press ("enter", "escape", "space").
class CLIButtonClickTracking : public BenchtapCommand {
 public:
  struct Option {
    std::string name;
    std::string press;
    int key;
  };

  // Throws std::logic_error "CLIButtonClickTracking::CLIButtonClickTracking(), unsupported
  // button {<press>}" for a press text that is not a button name.
  CLIButtonClickTracking(const std::vector<std::pair<std::string, std::string>>& namesAndPresses,
                         OperatorConsole& console = StandardConsole());
  std::string GetCommand() override;
  // "option: <name>"; at end of input EscapeClicked and an empty text.
  std::string ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) override;
  // One key press (see OperatorConsole::KeyReader).
  virtual int GetPressedKey();

 private:
  std::vector<Option> options_;
  OperatorConsole& console_;
};

// A key-press choice whose options may each run an executable.
class CLIDialogPress : public BenchtapCommand {
 public:
  struct Option {
    std::string name;
    std::string press;
    std::unique_ptr<ICommand> executable;
  };

  explicit CLIDialogPress(std::vector<Option> options, OperatorConsole& console = StandardConsole());
  std::string GetCommand() override;
  std::string ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) override;
  // The name after ": " in "option: <name>"; empty without a ':'.
  virtual std::string ParseSelectedOption(const std::string& text);

 private:
  // Of two options with one name, the later one's executable counts.
  std::map<std::string, std::unique_ptr<ICommand>> executables_;
  std::unique_ptr<CLIButtonClickTracking> tracking_;
};

// Prints a line before and after running its executable.
class CLIMessenger : public BenchtapCommand {
 public:
  CLIMessenger(std::string before, std::string after, std::unique_ptr<ICommand> executable,
               OperatorConsole& console = StandardConsole());
  std::string GetCommand() override;
  std::string ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) override;

 private:
  std::string before_;
  std::string after_;
  std::unique_ptr<ICommand> executable_;
  OperatorConsole& console_;
};

// Hands out serial numbers: a three-character prefix and a counter of at least five characters
// whose first five count up in decimal (ABC00009, ABC00010, ...; 99999 wraps to 00000).
class SerialNumberSource {
 public:
  // Throws std::out_of_range for a value shorter than 3 characters and std::invalid_argument for
  // a counter shorter than 5 characters.
  explicit SerialNumberSource(const std::string& value);
  // The current number; the counter moves on.
  std::string Next();

  const std::string& Prefix() const { return prefix_; }
  const std::string& Counter() const { return counter_; }

 private:
  std::string prefix_;
  std::string counter_;
};

// Writes the next serial number into the scale (SetSerialNumber).
class CLIUniqueSerialNumber : public BenchtapCommand {
 public:
  explicit CLIUniqueSerialNumber(const std::string& value);
  std::string GetCommand() override;
  std::string ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) override;

 private:
  SerialNumberSource source_;
};

}  // namespace Korvalt::Ponderix::Benchtap
