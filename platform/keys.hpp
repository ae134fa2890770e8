// Key presses and operator words from standard input.
//
// On a terminal a key is read on its own, without echo and without waiting for the end of a line;
// the terminal's settings are put back after every key, on exit and on the usual signals
// (Ctrl-C). Elsewhere (a pipe, a file) bytes are taken as they come. Word prompts read through
// Buffer(), which shares its bytes with ReadKey(), so a dialog followed by a key wait loses
// nothing that was typed ahead.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <streambuf>

namespace Korvalt::Ponderix::Platform {

namespace Keys {
constexpr int kEnter = 13;
constexpr int kEscape = 27;
constexpr int kSpace = 32;
// Results of ReadKey() that are not keys.
constexpr int kEndOfInput = -1;  // standard input ended, failed, or the operator typed Ctrl-D
constexpr int kNoKey = -2;       // a key that sends several bytes: arrows, function keys, Alt+key
constexpr int kCancelled = -3;   // the caller's cancel flag was raised while waiting
constexpr int kTimedOut = -4;    // only between DecodeKey() and its byte source
}  // namespace Keys

// Longest pause between the bytes of one escape sequence [ms]; a lone Escape is recognised
// after it.
constexpr int kEscapeSequenceGapMs = 40;

// Turns the bytes of one key press into a key code. `next(timeoutMs)` gives the next byte
// (0..255), Keys::kEndOfInput, Keys::kCancelled, or Keys::kTimedOut when nothing arrived within
// timeoutMs (a negative time-out waits without limit). Enter arrives as CR or LF and gives 13.
// On a terminal a lone Escape gives 27 and the multi-byte sequences give Keys::kNoKey; otherwise
// every byte is one key.
inline int DecodeKey(const std::function<int(int timeoutMs)>& next, bool terminal);

// The same for the Windows console, whose _getch() hands over whole keys: `getch()` gives its
// next code. Enter arrives as 13; arrows and function keys as 0 or 0xE0 followed by their scan
// code, and give Keys::kNoKey with both codes taken; Ctrl-Z ends the input.
inline int DecodeConsoleKey(const std::function<int()>& getch);

class KeyboardInput {
 public:
  // `fd` is a readable descriptor that stays open while this object lives (not closed here).
  explicit KeyboardInput(int fd);
  ~KeyboardInput();
  KeyboardInput(const KeyboardInput&) = delete;
  KeyboardInput& operator=(const KeyboardInput&) = delete;

  bool IsTerminal() const;
  // Waits for one key press. Returns its code, Keys::kNoKey, Keys::kEndOfInput, or
  // Keys::kCancelled as soon as `cancel` (when given) becomes true.
  int ReadKey(const std::atomic<bool>* cancel = nullptr);
  // Line-oriented reading of the same input (echoed, edited by the terminal as usual).
  std::streambuf& Buffer();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The process's standard input.
KeyboardInput& StandardInput();

}  // namespace Korvalt::Ponderix::Platform

namespace Korvalt::Ponderix::Platform {

inline int DecodeKey(const std::function<int(int timeoutMs)>& next, bool terminal) {
  constexpr int kEndOfTransmission = 4;  // Ctrl-D: without line editing it arrives as a byte
  const int first = next(-1);
  if (first < 0) return first;
  if (first == '\r' || first == '\n') return Keys::kEnter;
  if (!terminal) return first;
  if (first == kEndOfTransmission) return Keys::kEndOfInput;
  if (first != Keys::kEscape) return first;

  int byte = next(kEscapeSequenceGapMs);
  if (byte == Keys::kTimedOut || byte == Keys::kEndOfInput) return Keys::kEscape;
  if (byte == Keys::kCancelled) return byte;
  if (byte == '[') {
    // Control sequence: parameter and intermediate bytes, then one final byte 0x40..0x7E. The
    // Linux console's function keys add one more '[' (ESC [ [ A).
    byte = next(kEscapeSequenceGapMs);
    if (byte == '[') byte = next(kEscapeSequenceGapMs);
    while (byte >= 0x20 && byte <= 0x3F) byte = next(kEscapeSequenceGapMs);
  } else if (byte == 'O') {
    next(kEscapeSequenceGapMs);  // SS3: one final byte (F1..F4, keypad arrows)
  }
  // Anything else after the Escape is Alt held with a key.
  return byte == Keys::kCancelled ? byte : Keys::kNoKey;
}

}  // namespace Korvalt::Ponderix::Platform

namespace Korvalt::Ponderix::Platform {

inline int DecodeConsoleKey(const std::function<int()>& getch) {
  constexpr int kEndOfFile = 26;  // Ctrl-Z
  const int key = getch();
  if (key == 0 || key == 0xE0) {
    getch();
    return Keys::kNoKey;
  }
  if (key == '\r' || key == '\n') return Keys::kEnter;
  if (key == kEndOfFile) return Keys::kEndOfInput;
  return key;
}

}  // namespace Korvalt::Ponderix::Platform
