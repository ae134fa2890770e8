// Key decoding on byte sequences, and the real key reader on a pseudo-terminal and a pipe.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <istream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "platform/keys.hpp"

namespace Keys = Korvalt::Ponderix::Platform::Keys;
using Korvalt::Ponderix::Platform::DecodeKey;
using Korvalt::Ponderix::Platform::KeyboardInput;

namespace {

// Decodes every key of `bytes`; the source times out when the bytes run out, or reports the end
// of input when `endAfter` is set.
std::vector<int> DecodeAll(const std::string& bytes, bool terminal, bool endAfter = true) {
  std::deque<int> pending(bytes.begin(), bytes.end());
  for (auto& b : pending) b &= 0xFF;
  bool ended = false;
  auto next = [&](int timeoutMs) {
    if (pending.empty()) {
      if (timeoutMs >= 0) return Keys::kTimedOut;
      ended = true;
      return Keys::kEndOfInput;
    }
    int b = pending.front();
    pending.pop_front();
    return b;
  };
  std::vector<int> keys;
  while (!ended) {
    int key = DecodeKey(next, terminal);
    if (key == Keys::kEndOfInput && endAfter) break;
    keys.push_back(key);
  }
  return keys;
}

}  // namespace

TEST(DecodeKey, EnterArrivesAsCarriageReturnOrLineFeed) {
  EXPECT_EQ(DecodeAll("\r\n", true), (std::vector<int>{13, 13}));
  EXPECT_EQ(DecodeAll("\r\n", false), (std::vector<int>{13, 13}));
}

TEST(DecodeKey, TerminalSequencesSelectNothingButLoneEscapeCounts) {
  // A lone Escape is recognised once the sequence gap passes.
  EXPECT_EQ(DecodeAll("\x1b", true), (std::vector<int>{27}));
  // Arrow up, Delete, F1 as SS3, F1 on the Linux console, F5 with a modifier, Alt+x, a space.
  const std::string bytes = "\x1b[A" "\x1b[3~" "\x1bOP" "\x1b[[A" "\x1b[15;2~" "\x1bx" " ";
  EXPECT_EQ(DecodeAll(bytes, true),
            (std::vector<int>{Keys::kNoKey, Keys::kNoKey, Keys::kNoKey, Keys::kNoKey, Keys::kNoKey,
                              Keys::kNoKey, 32}));
}

TEST(DecodeKey, OutsideATerminalEveryByteIsAKey) {
  EXPECT_EQ(DecodeAll("\x1b[A\x04", false), (std::vector<int>{27, '[', 'A', 4}));
}

TEST(DecodeKey, ControlDOnATerminalEndsTheInput) {
  EXPECT_EQ(DecodeKey([](int) { return 4; }, true), Keys::kEndOfInput);
}

namespace {

struct PseudoTerminal {
  PseudoTerminal() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
    slave = ::open(ptsname(master), O_RDWR | O_NOCTTY);
  }
  ~PseudoTerminal() {
    if (slave >= 0) ::close(slave);
    if (master >= 0) ::close(master);
  }
  // Types the bytes once the reader had time to switch the terminal to single keys (the line
  // discipline echoes at the moment a byte arrives).
  int ReadKeyTyped(KeyboardInput& input, const std::string& bytes) const {
    std::thread typist([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(60));
      EXPECT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    });
    const int key = input.ReadKey();
    typist.join();
    return key;
  }
  int master = -1;
  int slave = -1;
};

}  // namespace

TEST(KeyboardInput, ReadsSingleKeysFromATerminalWithoutEchoAndRestoresItsSettings) {
  PseudoTerminal pty;
  ASSERT_GE(pty.slave, 0);
  termios before{};
  ASSERT_EQ(tcgetattr(pty.slave, &before), 0);
  KeyboardInput input(pty.slave);
  ASSERT_TRUE(input.IsTerminal());

  // No line end is typed after the keys: a line-buffered read would wait for ever.
  EXPECT_EQ(pty.ReadKeyTyped(input, "\r"), Keys::kEnter);
  EXPECT_EQ(pty.ReadKeyTyped(input, "\x1b[B"), Keys::kNoKey);
  EXPECT_EQ(pty.ReadKeyTyped(input, "\x1b"), Keys::kEscape);
  EXPECT_EQ(pty.ReadKeyTyped(input, "x"), 'x');

  termios after{};
  ASSERT_EQ(tcgetattr(pty.slave, &after), 0);
  EXPECT_EQ(after.c_lflag, before.c_lflag);

  // Nothing was echoed back to the terminal's screen side.
  fcntl(pty.master, F_SETFL, O_NONBLOCK);
  char echoed[16];
  EXPECT_LE(::read(pty.master, echoed, sizeof echoed), 0);
}

TEST(KeyboardInput, WordsTypedAheadAreKeptForTheNextKeyWait) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const std::string typed = "zero extra\n ";
  ASSERT_EQ(::write(fds[1], typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  ::close(fds[1]);
  {
    KeyboardInput input(fds[0]);
    EXPECT_FALSE(input.IsTerminal());
    std::istream words(&input.Buffer());
    std::string word;
    words >> word;
    EXPECT_EQ(word, "zero");
    words >> word;
    EXPECT_EQ(word, "extra");
    EXPECT_EQ(input.ReadKey(), Keys::kEnter);
    EXPECT_EQ(input.ReadKey(), Keys::kSpace);
    EXPECT_EQ(input.ReadKey(), Keys::kEndOfInput);
  }
  ::close(fds[0]);
}

TEST(KeyboardInput, AWaitEndsWhenTheCancelFlagIsRaised) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  {
    KeyboardInput input(fds[0]);
    std::atomic<bool> cancel{false};
    std::thread raiser([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      cancel = true;
    });
    EXPECT_EQ(input.ReadKey(&cancel), Keys::kCancelled);
    raiser.join();
  }
  ::close(fds[1]);
  ::close(fds[0]);
}
