// Another program as a child of the test: its arguments and environment, each standard stream
// inherited, /dev/null, a pipe, a file or (input only) a pseudo-terminal of its own, reads and
// waits with a time-out, and no child that outlives its test. POSIX only: the Windows test
// programs start their children with CreateProcess.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace TestSupport {

enum class Stream {
  Inherit,
  Null,      // /dev/null
  Pipe,      // the test holds the other end: End(number)
  File,      // the file named beside it, created afresh
  Terminal,  // input only: the slave side of a new pseudo-terminal; the test holds the master
};

struct Launch {
  std::vector<std::string> command;  // the program (a path, or a name looked up in PATH), then its arguments
  Stream input = Stream::Inherit;
  Stream output = Stream::Inherit;
  Stream errors = Stream::Inherit;
  std::string outputFile;  // with Stream::File
  std::string errorsFile;  // the same as outputFile: both streams into the one file
  // Descriptors past the standard three, each a pipe: the child reads the first, writes the second.
  std::vector<int> extraInputs;
  std::vector<int> extraOutputs;
  std::string folder;                          // the working folder; empty: the test's
  std::vector<std::string> unsetEnvironment;   // names taken out of the inherited environment
  long descriptorLimit = 0;                    // RLIMIT_NOFILE, soft and hard; 0: inherited
  bool ownGroup = false;                       // a session of its own, whose whole group dies with it
  int stopSignal = SIGTERM;                    // asked to stop with this at destruction; SIGKILL after 2 s
};

class ChildProcess {
 public:
  explicit ChildProcess(Launch launch);
  // Closes the test's ends, stops the child if it still runs and reaps it.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return pid_ > 0 || status_ >= 0; }
  pid_t Id() const { return pid_; }
  // The test's end of the child's descriptor `number` (a pipe or the terminal's master); -1: none.
  int End(int number) const;

  // Writes all of `bytes` to the child's input; false when it took not all of them.
  bool Write(const std::string& bytes);
  void CloseInput() { CloseEnd(0); }
  void CloseEnd(int number);

  // The next line of output without its line break; what came before `limit` passed or the
  // output ended when no line break comes.
  std::string ReadLine(std::chrono::milliseconds limit = std::chrono::seconds(5));
  // All the child writes on `number` until it closes it or `limit` passes.
  std::string ReadAll(int number, std::chrono::milliseconds limit = std::chrono::seconds(30));

  void Signal(int signal) const;
  // The exit status (128 + signal number when a signal ended the child) once it has ended within
  // `limit`; -1 while it still runs.
  int Wait(std::chrono::milliseconds limit);
  // As Wait, but the child is killed when `limit` passes.
  int WaitOrKill(std::chrono::milliseconds limit);

 private:
  struct EndOf {
    int number;
    int fd;
  };
  void Reap(int raw);

  pid_t pid_ = -1;  // -1 once reaped
  pid_t group_ = -1;
  int status_ = -1;
  int stopSignal_ = SIGTERM;
  std::vector<EndOf> ends_;
};

// The scalesim program built beside the tests with `arguments`, its input and output on pipes;
// its first line of output names where it serves.
Launch Scalesim(std::vector<std::string> arguments);

}  // namespace TestSupport
