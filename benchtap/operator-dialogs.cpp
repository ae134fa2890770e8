#include "benchtap/operator-dialogs.hpp"

#include <algorithm>
#include <stdexcept>

#include "benchtap/names.hpp"
#include "benchtap/results.hpp"
#include "common/text-template.hpp"
#include "platform/keys.hpp"

namespace Korvalt::Ponderix::Benchtap {

// ---- CLIDialog -----------------------------------------------------------------------------

namespace {

// Takes the line end that closed the operator's answer out of the input, so that a key wait
// after the dialog does not read it as Enter. Only bytes already received are looked at (never
// waits), and a further word on the same line stays for the next prompt.
void DropLineEnd(std::istream& in) {
  auto* buffer = in.rdbuf();
  while (buffer->in_avail() > 0) {
    const auto c = buffer->sgetc();
    if (c == ' ' || c == '\t' || c == '\r') {
      buffer->sbumpc();
      continue;
    }
    if (c == '\n') buffer->sbumpc();
    break;
  }
}

}  // namespace

CLIDialog::CLIDialog(std::string message, std::vector<Option> options, OperatorConsole& console)
    : message_(std::move(message)), options_(std::move(options)), console_(console) {}

std::string CLIDialog::GetCommand() { return "dialog"; }

void CLIDialog::PrintOptions() {
  auto& out = console_.out;
  if (!message_.empty()) out << message_ << '\n';
  out << "Options:\n";
  for (const auto& option : options_) {
    out << "    enter [" << option.input << "] to " << option.name;
    if (option.executable) out << " [" << option.executable->GetCommand() << "].";
    out << '\n';
  }
}

const CLIDialog::Option* CLIDialog::ReadChoice() {
  auto& out = console_.out;
  // An earlier prompt may have left the stream failed; a stream that fails again here has
  // really ended.
  console_.in.clear();
  for (;;) {
    out << "User input: " << std::flush;
    std::string word;
    if (!(console_.in >> word)) {
      out << '\n';
      return nullptr;
    }
    DropLineEnd(console_.in);
    for (const auto& option : options_) {
      if (option.input == word) return &option;
    }
    out << "Invalid input\n";
  }
}

std::string CLIDialog::ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) {
  PrintOptions();
  const Option* chosen = ReadChoice();
  if (chosen == nullptr) {
    ReportEndOfInput(console_);
    ecase = ErrorCase::EscapeClicked;
    return {};
  }
  std::string suffix;
  if (chosen->executable) {
    auto text = chosen->executable->ExecuteCommand(device, ecase);
    if (ecase != ErrorCase::Correct) return text;
    suffix = ", command: " + chosen->executable->GetCommand() + " returns " + text;
  }
  return "User entered the value: " + chosen->name + suffix;
}

// ---- CLIButtonClickTracking ----------------------------------------------------------------

CLIButtonClickTracking::CLIButtonClickTracking(
    const std::vector<std::pair<std::string, std::string>>& namesAndPresses, OperatorConsole& console)
    : console_(console) {
  for (const auto& [name, press] : namesAndPresses) {
    const int key = Buttons::KeyCode(press);
    if (key < 0) {
      throw std::logic_error("CLIButtonClickTracking::CLIButtonClickTracking(), unsupported button {" + press + "}");
    }
    options_.push_back({name, press, key});
  }
}

std::string CLIButtonClickTracking::GetCommand() { return "button-click-tracking"; }

int CLIButtonClickTracking::GetPressedKey() { return console_.readKey(nullptr); }

std::string CLIButtonClickTracking::ExecuteCommand(Wrapper::Device&, ErrorCase& ecase) {
  auto& out = console_.out;
  out << "Click the button to select an option:\n";
  for (const auto& option : options_) out << "    press [" << option.press << "] to " << option.name << '\n';
  out.flush();

  std::string chosen;
  while (ecase == ErrorCase::Correct) {
    const int key = GetPressedKey();
    if (key == Platform::Keys::kEndOfInput) {
      ReportEndOfInput(console_);
      ecase = ErrorCase::EscapeClicked;
      return {};
    }
    auto option = std::find_if(options_.begin(), options_.end(), [key](const Option& o) { return o.key == key; });
    if (option != options_.end()) {
      chosen = option->name;
      break;
    }
  }
  return Text::Fill("option: @", chosen);
}

// ---- CLIDialogPress ------------------------------------------------------------------------

CLIDialogPress::CLIDialogPress(std::vector<Option> options, OperatorConsole& console) {
  std::vector<std::pair<std::string, std::string>> namesAndPresses;
  for (auto& option : options) {
    namesAndPresses.emplace_back(option.name, option.press);
    executables_[option.name] = std::move(option.executable);
  }
  tracking_ = std::make_unique<CLIButtonClickTracking>(namesAndPresses, console);
}

std::string CLIDialogPress::GetCommand() { return "CLIDialogPress"; }

std::string CLIDialogPress::ParseSelectedOption(const std::string& text) {
  const auto colon = text.find(':');
  if (colon == std::string::npos || colon + 2 >= text.size()) return {};
  return text.substr(colon + 2);
}

std::string CLIDialogPress::ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) {
  auto text = tracking_->ExecuteCommand(device, ecase);
  if (ecase != ErrorCase::Correct) return text;
  auto executable = executables_.find(ParseSelectedOption(text));
  if (executable != executables_.end() && executable->second) {
    text += executable->second->ExecuteCommand(device, ecase);
  }
  return text;
}

// ---- CLIMessenger --------------------------------------------------------------------------

CLIMessenger::CLIMessenger(std::string before, std::string after, std::unique_ptr<ICommand> executable,
                           OperatorConsole& console)
    : before_(std::move(before)), after_(std::move(after)), executable_(std::move(executable)), console_(console) {}

std::string CLIMessenger::GetCommand() { return executable_->GetCommand(); }

std::string CLIMessenger::ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) {
  if (!before_.empty()) console_.out << before_ << std::endl;
  auto text = executable_->ExecuteCommand(device, ecase);
  if (!after_.empty()) console_.out << after_ << std::endl;
  return text;
}

// ---- Serial numbers ------------------------------------------------------------------------

namespace {
constexpr std::size_t kPrefixLength = 3;
constexpr std::size_t kCountingDigits = 5;
}  // namespace

SerialNumberSource::SerialNumberSource(const std::string& value) {
  if (value.size() < kPrefixLength) {
    throw std::out_of_range("unique-serial-number: the value {" + value +
                            "} is shorter than its 3-character prefix");
  }
  prefix_ = value.substr(0, kPrefixLength);
  counter_ = value.substr(kPrefixLength);
  if (counter_.size() < kCountingDigits) {
    throw std::invalid_argument("unique-serial-number: the value {" + value +
                                "} needs a counter of at least 5 characters after its 3-character prefix");
  }
}

std::string SerialNumberSource::Next() {
  auto serial = prefix_ + counter_;
  // Decimal carry over the first five counter characters; characters after them never change.
  for (std::size_t i = kCountingDigits; i-- > 0;) {
    if (counter_[i] != '9') {
      ++counter_[i];
      break;
    }
    counter_[i] = '0';
  }
  return serial;
}

CLIUniqueSerialNumber::CLIUniqueSerialNumber(const std::string& value) : source_(value) {}

std::string CLIUniqueSerialNumber::GetCommand() { return "CLIUniqueSerialNumber"; }

std::string CLIUniqueSerialNumber::ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) {
  // The number is used up even when the scale refuses it: it may have been half written.
  const auto serial = source_.Next();
  device.SetParam(ParamType::SerialNumber, serial, ecase);
  if (ecase != ErrorCase::Correct) return {};
  device.ExecuteCommand(Command::SetSerialNumber, ecase);
  if (ReportsToJson()) {
    // A refusal is recorded too, so the results show which number the scale did not take.
    if (ecase == ErrorCase::Correct) Results::SetSerialNumberTag(serial);
    Results::AddInputRecord(ToString(Command::SetSerialNumber), ecase, ToString(ParamType::SerialNumber), serial);
  }
  if (ecase != ErrorCase::Correct) return {};
  return "SerialNumber: " + serial;
}

}  // namespace Korvalt::Ponderix::Benchtap
