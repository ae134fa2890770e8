// The live weight display: the scale's weight on one console line, refreshed every period on a
// thread of its own, until the operator presses one of the listed keys.
#pragma once

#include <atomic>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "benchtap/command.hpp"
#include "benchtap/operator-console.hpp"

namespace Korvalt::Ponderix::Benchtap {

class DisplayWeight {
 public:
  struct Format {
    std::string header;  // printed once per run of the display
    int width;           // value characters after the sign
  };

  explicit DisplayWeight(std::ostream& out);
  virtual ~DisplayWeight() = default;

  // The value to show; empty when `ecase` is not Correct.
  virtual std::string GetValue(Wrapper::Device& device, ErrorCase& ecase) = 0;
  // Ends the display line; the next step prints a fresh header.
  virtual void Restart();
  // Overwrites the value at the end of the header line.
  virtual void Print(const std::string& value);
  virtual const Format& GetFormat() const;
  // Sign character then the value padded with '0' to the width; an empty value (a scale that
  // answered without a weight) is shown as dashes.
  virtual std::string FormatValue(const std::string& value) const;
  void PrintHeader();
  // Shows why the weight stopped: the failing code's name in place of the value.
  void PrintFailure(ErrorCase ecase);

  bool first = true;

 protected:
  std::ostream& out_;
};

// Weight from the library's weight-channel status command (POS, CAS and OKA scales alike).
class DisplayWeightByStatus : public DisplayWeight {
 public:
  using DisplayWeight::DisplayWeight;
  std::string GetValue(Wrapper::Device& device, ErrorCase& ecase) override;
};

class DisplayWeightByPOS : public DisplayWeightByStatus {
 public:
  using DisplayWeightByStatus::DisplayWeightByStatus;
};

class DisplayWeightByCAS : public DisplayWeightByStatus {
 public:
  using DisplayWeightByStatus::DisplayWeightByStatus;
};

class DisplayWeightByOKA : public DisplayWeightByStatus {
 public:
  using DisplayWeightByStatus::DisplayWeightByStatus;
};

// Picks the POS, CAS or OKA display from the protocol the library reports; picks again after a
// failed read.
class DisplayWeightAuto : public DisplayWeight {
 public:
  using DisplayWeight::DisplayWeight;
  std::string GetValue(Wrapper::Device& device, ErrorCase& ecase) override;
  // Throws std::logic_error "DisplayWeightAuto::GetDWByProtocol, protocol{<name>} is incorrect"
  // for a protocol that is none of POS, CAS and OKA.
  virtual std::unique_ptr<DisplayWeight> GetDWByProtocol(Wrapper::Device& device, ErrorCase& ecase);

 private:
  std::unique_ptr<DisplayWeight> inner_;
};

// A running number instead of a weight (one counter for the whole process); never touches the
// device.
class DisplayCounter : public DisplayWeight {
 public:
  using DisplayWeight::DisplayWeight;
  std::string GetValue(Wrapper::Device& device, ErrorCase& ecase) override;
};

// One refresh: the header on the first step, then the value (nothing when the read failed).
void ShowOnce(DisplayWeight& display, Wrapper::Device& device, ErrorCase& ecase);

class CLIDisplayWeightUntillClick : public BenchtapCommand {
 public:
  struct Option {
    std::string name;
    std::string input;
    int key;
  };

  // Throws std::logic_error "CLIDisplayWeightUntillClick::CLIDisplayWeightUntillClick(),
  // supported button {<input>}" for an input that is not a button name.
  CLIDisplayWeightUntillClick(std::unique_ptr<DisplayWeight> display,
                              const std::vector<std::pair<std::string, std::string>>& namesAndInputs, int period,
                              OperatorConsole& console = StandardConsole());
  std::string GetCommand() override;
  // "option: <name>". A failed library call on the display thread ends the wait at once and
  // comes back as this command's code (with "option: "); an exception thrown there is
  // rethrown here once the thread has ended. End of input gives EscapeClicked.
  std::string ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) override;
  // One key press; gives Platform::Keys::kCancelled as soon as `cancel` is raised.
  virtual int GetPressedKey(const std::atomic<bool>* cancel);

 private:
  // Waits for a listed key while the display runs and gives its option's name; gives nothing
  // when the display ended on its own or, with `endOfInput` set, when the input ended.
  std::string WaitForChoice(const std::atomic<bool>& displayEnded, bool& endOfInput);

  std::unique_ptr<DisplayWeight> display_;
  std::vector<Option> options_;
  int period_;
  OperatorConsole& console_;
};

// Builds the display named by a script's "protocol": "pos", "cas", "auto" or "counter"; other
// texts throw std::logic_error "file script-file, func CLITCBCreateDisplayWeight, unrecognized
// protocol {<protocol>} for DisplayWeight.".
std::unique_ptr<DisplayWeight> CreateDisplayWeight(const std::string& protocol, std::ostream& out);

}  // namespace Korvalt::Ponderix::Benchtap
