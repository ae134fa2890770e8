// Runs a program as a child process with its output captured, for end-to-end tests. Its standard
// input is /dev/null, a pipe the test writes, or the slave side of a pseudo-terminal of its own.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <termios.h>

#include "tests/support/child-process.hpp"

namespace BenchtapTest {

struct Outcome {
  int status = -1;  // exit status; 128 + signal number when a signal ended it
  std::string out;
  std::string err;
};

enum class Input { Nothing, Pipe, Terminal };

// One child process in a session of its own, started in `folder` (the current one when empty)
// with LD_LIBRARY_PATH removed, so only the program's own folder and the system provide
// libraries. The child inherits everything else, APPDATA included. Killed when destroyed while
// still running.
class Process {
 public:
  Process(const std::string& program, const std::vector<std::string>& arguments, Input input = Input::Nothing,
          const std::string& folder = "");

  // Writes to the child's standard input (Pipe or Terminal).
  void Type(const std::string& bytes);
  void CloseInput();

  // Whether standard output shows `text` within `limit`.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
  // Waits for the child, killing it after `limit`, and collects its output.
  Outcome Wait(std::chrono::milliseconds limit = std::chrono::seconds(60));

  // Local modes of the terminal the child reads (Terminal input only).
  tcflag_t TerminalLocalModes() const;
  void Signal(int signal) const;

  // What the child has written so far.
  std::string Out() const;
  std::string Err() const;

 private:
  std::string stem_;  // of the files that take its output (.out) and errors (.err)
  TestSupport::ChildProcess child_;
};

// Runs `program` with `arguments` in `folder` with standard input from /dev/null; killed after
// `timeoutSeconds`.
Outcome RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& folder = "", int timeoutSeconds = 60);

// The Benchtap built beside this test program.
std::string BenchtapPath();
Outcome RunBenchtap(const std::vector<std::string>& arguments, const std::string& folder = "");

// Writes `json` as the file `name` in the test's application-data folder; returns its path.
std::string WriteScript(const std::string& name, const std::string& json);

std::vector<std::string> Lines(const std::string& text);

}  // namespace BenchtapTest
