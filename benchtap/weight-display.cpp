#include "benchtap/weight-display.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "benchtap/names.hpp"
#include "common/text-template.hpp"
#include "driver/vocabulary/connection-names.hpp"
#include "platform/keys.hpp"

namespace Korvalt::Ponderix::Benchtap {

// ---- DisplayWeight -------------------------------------------------------------------------

DisplayWeight::DisplayWeight(std::ostream& out) : out_(out) {}

const DisplayWeight::Format& DisplayWeight::GetFormat() const {
  static const Format kFormat{"Weight:  000000", 6};
  return kFormat;
}

void DisplayWeight::Restart() {
  first = true;
  out_ << std::endl;
}

std::string DisplayWeight::FormatValue(const std::string& value) const {
  const auto width = static_cast<std::size_t>(GetFormat().width);
  if (value.empty()) return " " + std::string(width, '-');
  char sign = ' ';
  std::string digits = value;
  if (digits.front() == '-') {
    digits.front() = '0';
    sign = '-';
  }
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return sign + digits;
}

void DisplayWeight::Print(const std::string& value) {
  out_ << std::string(static_cast<std::size_t>(GetFormat().width) + 2, '\b') << ' ' << FormatValue(value)
       << std::flush;
}

void DisplayWeight::PrintHeader() { out_ << GetFormat().header << std::flush; }

void DisplayWeight::PrintFailure(ErrorCase ecase) {
  out_ << std::string(static_cast<std::size_t>(GetFormat().width) + 2, '\b') << " [" << ToString(ecase) << "]"
       << std::flush;
}

std::string DisplayWeightByStatus::GetValue(Wrapper::Device& device, ErrorCase& ecase) {
  device.ExecuteCommand(Command::StatusOfWeightChannel, ecase);
  if (ecase != ErrorCase::Correct) return {};
  auto weight = device.GetParam(ParamType::Weight, ecase);
  if (ecase != ErrorCase::Correct) return {};
  return weight;
}

std::unique_ptr<DisplayWeight> DisplayWeightAuto::GetDWByProtocol(Wrapper::Device& device, ErrorCase& ecase) {
  const auto protocol = device.GetProtocol(ecase);
  if (ecase != ErrorCase::Correct) return nullptr;
  if (protocol.find("POS") != std::string::npos) return std::make_unique<DisplayWeightByPOS>(out_);
  if (protocol.find("CAS") != std::string::npos) return std::make_unique<DisplayWeightByCAS>(out_);
  if (protocol.find("OKA") != std::string::npos) return std::make_unique<DisplayWeightByOKA>(out_);
  throw std::logic_error(Text::Fill("DisplayWeightAuto::GetDWByProtocol, protocol{@} is incorrect", protocol));
}

std::string DisplayWeightAuto::GetValue(Wrapper::Device& device, ErrorCase& ecase) {
  if (!inner_) {
    inner_ = GetDWByProtocol(device, ecase);
    if (ecase != ErrorCase::Correct) return {};
  }
  auto value = inner_->GetValue(device, ecase);
  if (ecase == ErrorCase::Correct) return value;
  // The scale may have been swapped for one on another protocol: choose again, try once more.
  auto again = GetDWByProtocol(device, ecase);
  if (ecase != ErrorCase::Correct) return {};
  inner_ = std::move(again);
  value = inner_->GetValue(device, ecase);
  if (ecase != ErrorCase::Correct) return {};
  return value;
}

std::string DisplayCounter::GetValue(Wrapper::Device&, ErrorCase&) {
  static std::atomic<long long> counter{0};
  return std::to_string(counter++);
}

void ShowOnce(DisplayWeight& display, Wrapper::Device& device, ErrorCase& ecase) {
  if (display.first) {
    display.PrintHeader();
    display.first = false;
  }
  auto value = display.GetValue(device, ecase);
  if (ecase != ErrorCase::Correct) return;
  display.Print(value);
}

std::unique_ptr<DisplayWeight> CreateDisplayWeight(const std::string& protocol, std::ostream& out) {
  if (protocol == "pos") return std::make_unique<DisplayWeightByPOS>(out);
  if (protocol == "cas") return std::make_unique<DisplayWeightByCAS>(out);
  if (protocol == Driver::kAutomatic) return std::make_unique<DisplayWeightAuto>(out);
  if (protocol == "counter") return std::make_unique<DisplayCounter>(out);
  throw std::logic_error("file script-file, func CLITCBCreateDisplayWeight, unrecognized protocol {" + protocol +
                         "} for DisplayWeight.");
}

// ---- CLIDisplayWeightUntillClick -----------------------------------------------------------

CLIDisplayWeightUntillClick::CLIDisplayWeightUntillClick(
    std::unique_ptr<DisplayWeight> display, const std::vector<std::pair<std::string, std::string>>& namesAndInputs,
    int period, OperatorConsole& console)
    : display_(std::move(display)), period_(period), console_(console) {
  for (const auto& [name, input] : namesAndInputs) {
    const int key = Buttons::KeyCode(input);
    if (key < 0) {
      throw std::logic_error("CLIDisplayWeightUntillClick::CLIDisplayWeightUntillClick(), supported button {" +
                             input + "}");
    }
    options_.push_back({name, input, key});
  }
}

std::string CLIDisplayWeightUntillClick::GetCommand() { return "CLIDisplayWeightUC"; }

int CLIDisplayWeightUntillClick::GetPressedKey(const std::atomic<bool>* cancel) { return console_.readKey(cancel); }

namespace {

// The display thread and what it hands back to the main thread. Joined however the main thread
// leaves (a key, the end of input, or an exception of its own).
class DisplayThread {
 public:
  DisplayThread(DisplayWeight& display, Wrapper::Device& device, int period)
      : display_(display), device_(device), period_(period), thread_([this] { Run(); }) {}
  ~DisplayThread() { Stop(); }

  // Raised when the display ended on its own (a failed call or an exception).
  const std::atomic<bool>& Ended() const { return ended_; }

  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      running_ = false;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  // Valid after Stop().
  ErrorCase Code() const { return code_; }
  std::exception_ptr Failure() const { return failure_; }

 private:
  void Run() {
    try {
      for (;;) {
        ErrorCase code = ErrorCase::Correct;
        ShowOnce(display_, device_, code);
        if (code != ErrorCase::Correct) {
          code_ = code;
          display_.PrintFailure(code);
          display_.Restart();
          break;
        }
        // Waits out the period, but a key press ends the display without waiting for it.
        std::unique_lock<std::mutex> lock(mutex_);
        if (wake_.wait_for(lock, std::chrono::milliseconds(std::max(period_, 0)), [this] { return !running_; })) {
          lock.unlock();
          display_.Restart();
          break;
        }
      }
    } catch (...) {
      failure_ = std::current_exception();
      try {
        display_.Restart();
      } catch (...) {
      }
    }
    ended_ = true;
  }

  DisplayWeight& display_;
  Wrapper::Device& device_;
  const int period_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool running_ = true;
  std::atomic<bool> ended_{false};
  ErrorCase code_ = ErrorCase::Correct;
  std::exception_ptr failure_;
  std::thread thread_;  // last: starts once everything above is ready
};

}  // namespace

std::string CLIDisplayWeightUntillClick::WaitForChoice(const std::atomic<bool>& displayEnded, bool& endOfInput) {
  for (;;) {
    const int key = GetPressedKey(&displayEnded);
    if (key == Platform::Keys::kCancelled) return {};
    if (key == Platform::Keys::kEndOfInput) {
      endOfInput = true;
      return {};
    }
    auto option = std::find_if(options_.begin(), options_.end(), [key](const Option& o) { return o.key == key; });
    if (option != options_.end()) return option->name;
  }
}

std::string CLIDisplayWeightUntillClick::ExecuteCommand(Wrapper::Device& device, ErrorCase& ecase) {
  for (const auto& option : options_) {
    console_.out << "    pass [" << option.input << "] to " << option.name << '\n';
  }
  console_.out.flush();

  std::string chosen;
  bool endOfInput = false;
  {
    DisplayThread display(*display_, device, period_);
    chosen = WaitForChoice(display.Ended(), endOfInput);
    display.Stop();
    if (display.Failure()) std::rethrow_exception(display.Failure());
    if (display.Code() != ErrorCase::Correct) {
      ecase = display.Code();
      return Text::Fill("option: @", std::string());
    }
  }
  if (endOfInput) {
    ReportEndOfInput(console_);
    ecase = ErrorCase::EscapeClicked;
    return {};
  }
  return Text::Fill("option: @", chosen);
}

}  // namespace Korvalt::Ponderix::Benchtap
