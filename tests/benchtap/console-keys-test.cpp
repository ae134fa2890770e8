// Key codes of the Windows console (_getch) through a stand-in that plays the codes of one press.
#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "platform/keys.hpp"

namespace {

using namespace Korvalt::Ponderix::Platform;

struct ConsoleCase {
  const char* what;
  std::vector<int> codes;  // what _getch() returns, in order
  std::vector<int> keys;   // what the decoder makes of them
};

const ConsoleCase kCases[] = {
    {"Enter", {13}, {Keys::kEnter}},
    {"Escape", {27}, {Keys::kEscape}},
    {"Space and a letter", {32, 'z'}, {Keys::kSpace, 'z'}},
    {"F1 (0, scan code 59), then Enter", {0, 59, 13}, {Keys::kNoKey, Keys::kEnter}},
    // Scan code 28 is Enter's own: the second code of a pair never counts as a key.
    {"a grey arrow (0xE0, scan code 72 or 28)", {0xE0, 72, 0xE0, 28}, {Keys::kNoKey, Keys::kNoKey}},
    {"Ctrl-Z", {26}, {Keys::kEndOfInput}},
};

TEST(ConsoleKeys, WholeKeysAndTwoCodeSequences) {
  for (const auto& c : kCases) {
    std::deque<int> codes(c.codes.begin(), c.codes.end());
    std::vector<int> keys;
    while (!codes.empty()) {
      keys.push_back(DecodeConsoleKey([&] {
        const int code = codes.front();
        codes.pop_front();
        return code;
      }));
    }
    EXPECT_EQ(keys, c.keys) << c.what;
  }
}

}  // namespace
