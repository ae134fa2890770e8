// What the operator commands talk through: a stream of typed words, single key presses, and the
// console's output and error streams. The program uses the real console; tests hand in their
// own streams and keys.
#pragma once

#include <atomic>
#include <functional>
#include <istream>
#include <ostream>
#include <string>

namespace Korvalt::Ponderix::Benchtap {

// Button names of the key-press commands and their key codes.
namespace Buttons {
constexpr int kEnter = 13;
constexpr int kEscape = 27;
constexpr int kSpace = 32;
// Key code of "enter", "escape" or "space"; -1 for any other text.
int KeyCode(const std::string& name);
}  // namespace Buttons

struct OperatorConsole {
  // Waits for one key press (Platform::KeyboardInput::ReadKey's results: a key code, or one of
  // Platform::Keys::kNoKey, kEndOfInput, kCancelled).
  using KeyReader = std::function<int(const std::atomic<bool>* cancel)>;

  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  KeyReader readKey;
};

// Standard input (shared between words and keys), standard output and standard error.
OperatorConsole& StandardConsole();

// Tells the operator that standard input ended; the waiting command then gives up.
void ReportEndOfInput(OperatorConsole& console);

}  // namespace Korvalt::Ponderix::Benchtap
