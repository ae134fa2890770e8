// Runs a program as a child process with its output captured, for end-to-end tests.
#pragma once

#include <string>
#include <vector>

namespace BenchtapTest {

struct Outcome {
  int status = -1;  // exit status; 128 + signal number when a signal ended it
  std::string out;
  std::string err;
};

// A child process started by StartProgram.
struct Running {
  int pid = -1;
  std::string outPath;
  std::string errPath;
};

Running StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& folder = "");
// Waits for the child (killing it after `timeoutSeconds`) and collects its output.
Outcome Wait(const Running& running, int timeoutSeconds = 60);
// What the child has written to standard output so far.
std::string OutputSoFar(const Running& running);

// Runs `program` with `arguments` in `folder` (the current one when empty), standard input from
// /dev/null, LD_LIBRARY_PATH removed so only the program's own folder and the system provide
// libraries. The child inherits everything else, APPDATA included. Killed after `timeoutSeconds`.
Outcome RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& folder = "", int timeoutSeconds = 60);

// The Benchtap built beside this test program.
Outcome RunBenchtap(const std::vector<std::string>& arguments, const std::string& folder = "");

std::vector<std::string> Lines(const std::string& text);

}  // namespace BenchtapTest
