// Fault runs: the library under the faults a new user's integration meets, counted. Each run
// prints its figures and one "PASS"/"FAIL" line; the exit status is 0 only when all passed.
//
//   fault-runs [--short] [--late-cycles N] [late|unplug|swap|kill|poll ...]
//
// late    a scale answering 10-200 ms after the serial time-out, the next request at once (N
//         cycles, default 500) and 150 ms later (N more): stale answers taken for the next reply
//         (goal 0)
// unplug  a USB adapter pulled and plugged back in mid-reply on a linked pseudo-terminal:
//         transfers recovered (asked again on the line that came back), open descriptors before
//         and after
// swap    mid-poll the scale's line goes down and its name leads to another program's terminal
//         (a receipt printer's adapter that took ttyUSB0): readings taken from that device and
//         bytes written to it (goal 0 each)
// kill    two processes changing the store, one killed with SIGKILL again and again: the file
//         parses, no completed add lost, no temporary file left
// poll    a long status poll: resident memory and open descriptors at the start and the end
//
// POSIX only, like the simulator it drives: fork, kill and /proc.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <spawn.h>

#include <boost/filesystem.hpp>

#include "driver/connections/connection.hpp"
#include "driver/device/device.hpp"
#include "driver/logic-devices/logic-devices.hpp"
#include "driver/protocols/default-communicator.hpp"
#include "platform/paths.hpp"
#include "simulator/responders.hpp"
#include "simulator/script-responder.hpp"
#include "simulator/simulator.hpp"

extern char** environ;

namespace {

namespace fs = boost::filesystem;
using namespace Korvalt::Ponderix::Driver;
using Clock = std::chrono::steady_clock;

bool Report(const std::string& run, bool pass, const std::string& figures) {
  std::cout << run << ": " << figures << "\n" << (pass ? "PASS " : "FAIL ") << run << std::endl;
  return pass;
}

ByteVector Bytes(const std::string& text) { return ByteVector(text.begin(), text.end()); }

int OpenDescriptors() {
  int count = 0;
  for (fs::directory_iterator it("/proc/self/fd"), end; it != end; ++it) ++count;
  return count;
}

long ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// A fresh data folder for the run: the store and the log of this run only.
void PrivateAppData(const std::string& run) {
  auto folder = fs::temp_directory_path() / fs::unique_path("fault-runs-" + run + "-%%%%%%");
  fs::create_directories(folder);
  setenv("APPDATA", folder.string().c_str(), 1);
}

ByteVector Ask(Connection& line, const std::string& request) {
  ErrorCase result = ErrorCase::Correct;
  ByteVector response;
  line.WriteData(Bytes(request), result);
  if (result == ErrorCase::Correct) line.ReadData(response, EndsWithCrLf, result);
  return result == ErrorCase::Correct ? response : ByteVector{};
}

// ---- late replies ----------------------------------------------------------------------------

bool LateReplies(int cycles) {
  std::mt19937 random(13);
  int stale = 0, answered = 0, lateAnswered = 0;
  long long worstMs = 0;
  for (int pauseMs : {0, 150}) {
    auto script = std::make_shared<Scalesim::ScriptResponder>();
    for (int i = 0; i < cycles; ++i) {
      script->AddReply(Scalesim::ToBytes("late " + std::to_string(i) + "\r\n"));
      script->AddReply(Scalesim::ToBytes("next " + std::to_string(i) + "\r\n"));
    }
    auto simulator = Scalesim::Simulator::StartPty(script);
    auto line = MakeSerialPortConnection(simulator->Path());
    ErrorCase result = ErrorCase::Correct;
    line->Open(result);
    line->SetDefaultOptions(result);
    if (result != ErrorCase::Correct) return Report("late", false, "the line did not open");
    for (int i = 0; i < cycles; ++i) {
      Scalesim::LineFaults late;
      late.delay = std::chrono::milliseconds(510 + static_cast<int>(random() % 191));  // time-out 500 ms
      simulator->SetFaults(late);
      if (!Ask(*line, "L" + std::to_string(i) + "\r\n").empty()) ++lateAnswered;
      simulator->SetFaults({});
      std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
      const auto start = Clock::now();
      const auto reply = Ask(*line, "N" + std::to_string(i) + "\r\n");
      worstMs = std::max<long long>(
          worstMs, std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
      if (reply == Bytes("next " + std::to_string(i) + "\r\n")) {
        ++answered;
      } else if (!reply.empty()) {
        ++stale;
      }
    }
  }
  std::ostringstream figures;
  figures << 2 * cycles << " cycles (" << cycles << " back to back, " << cycles << " 150 ms later): " << stale
          << " stale answers, " << answered << " right answers, " << lateAnswered
          << " late calls answered, slowest next call " << worstMs << " ms";
  // A late call may still be answered in time: the delay counts from the request's arrival, the
  // time-out from the start of the read. Only the next calls decide.
  return Report("late", stale == 0 && answered == 2 * cycles, figures.str());
}

// ---- unplug and come back --------------------------------------------------------------------

bool UnplugAndComeBack(int cycles) {
  const auto link = (fs::temp_directory_path() / fs::unique_path("fault-runs-tty-%%%%%%")).string();
  auto script = std::make_shared<Scalesim::ScriptResponder>();
  script->SetRepeat(true);
  script->AddReply(Scalesim::ToBytes("weight=1.250\r\n"));
  auto simulator = Scalesim::Simulator::StartPty(script, link);
  auto line = MakeSerialPortConnection(simulator->Path());
  ErrorCase result = ErrorCase::Correct;
  line->Open(result);
  line->SetDefaultOptions(result);
  if (result != ErrorCase::Correct) return Report("unplug", false, "the line did not open");
  Ask(*line, "W\r\n");  // the first exchange settles what the line keeps open
  const int descriptorsBefore = OpenDescriptors();
  int recovered = 0;
  for (int i = 0; i < cycles; ++i) {
    Scalesim::LineFaults faults;
    faults.hangUpAfter = 4;
    faults.comeBack = true;
    simulator->SetFaults(faults);
    if (Ask(*line, "W\r\n") == Bytes("weight=1.250\r\n")) ++recovered;
  }
  const int descriptorsAfter = OpenDescriptors();
  line->Close();
  std::ostringstream figures;
  figures << cycles << " unplugs: " << recovered << " recovered, " << simulator->HangUps() << " hang-ups, "
          << descriptorsBefore << " open descriptors before, " << descriptorsAfter << " after";
  return Report("unplug", recovered == cycles && descriptorsAfter <= descriptorsBefore, figures.str());
}

// ---- another device behind the name ---------------------------------------------------------

// The other device: scalesim, a process of its own (a terminal of this process would be this
// process's device), found beside this program. Its first output line is its terminal; when its
// input closes it reports the bytes it received.
class OtherDevice {
 public:
  OtherDevice() {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    const std::string program = (fs::read_symlink("/proc/self/exe").parent_path() / "scalesim").string();
    std::vector<std::string> arguments = {program, "--pty", "--protocol", "POS2MProV1", "--set", "weight=7777",
                                          "--report-received", "--until-stdin-closes"};
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    input_ = in[1];
    output_ = fdopen(out[0], "r");
    path_ = Line();
  }
  ~OtherDevice() { Stop(); }
  const std::string& Path() const { return path_; }
  // Ends the program; the bytes it received, or -1 when it did not say.
  long Stop() {
    if (pid_ <= 0) return -1;
    ::close(input_);
    const std::string report = Line();
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    if (output_) fclose(output_);
    output_ = nullptr;
    long count = -1;
    std::sscanf(report.c_str(), "received %ld bytes", &count);
    return count;
  }

 private:
  std::string Line() {
    char buffer[256];
    if (output_ == nullptr || std::fgets(buffer, sizeof buffer, output_) == nullptr) return {};
    std::string line = buffer;
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return line;
  }
  pid_t pid_ = -1;
  int input_ = -1;
  FILE* output_ = nullptr;
  std::string path_;
};

void PointLink(const std::string& link, const std::string& target) {
  const std::string temporary = link + ".swap";
  ::unlink(temporary.c_str());
  if (::symlink(target.c_str(), temporary.c_str()) == 0) std::rename(temporary.c_str(), link.c_str());
}

// Each cycle: a scale (POS2MProV1, 1250 g) behind a link, opened as a logic device and polled;
// then its line goes down mid-reply while the link already leads to the other device (7777 g),
// and the poll goes on. Every reading of 7777 g was taken from the wrong device.
bool SwappedDevice(int cycles) {
  PrivateAppData("swap");
  OtherDevice other;
  if (other.Path().rfind("/dev/pts/", 0) != 0) return Report("swap", false, "scalesim did not start");
  const auto link = (fs::temp_directory_path() / fs::unique_path("fault-runs-swap-%%%%%%")).string();
  int wrongReadings = 0, scaleReadings = 0, refused = 0, hangUps = 0;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    auto state = Scalesim::MakeScaleState();
    state->SetWeight(1250);
    auto scale = Scalesim::Simulator::StartPty(
        std::shared_ptr<Scalesim::Responder>(Scalesim::MakeProtocolResponder("POS2MProV1", state)), link);
    Device device;
    ErrorCase result = ErrorCase::Correct;
    const int id = device.AddLogicDevice(result);
    const std::pair<LogicDeviceParamType, std::string> params[] = {
        {LogicDeviceParamType::Name, "swap"},       {LogicDeviceParamType::ConnectionType, "Serial Port"},
        {LogicDeviceParamType::EndPoint, link},     {LogicDeviceParamType::BaudRate, "9600"},
        {LogicDeviceParamType::Model, "auto"},      {LogicDeviceParamType::Protocol, "POS2MProV1"},
    };
    for (const auto& [type, value] : params) device.SetLogicDeviceParam(id, type, value, result);
    device.Open(id, result);
    if (result != ErrorCase::Correct) return Report("swap", false, "the scale did not open");
    auto poll = [&] {
      ErrorCase status = ErrorCase::Correct;
      device.ExecuteCommand(Command::StatusOfWeightChannel, status);
      if (status == ErrorCase::ConnectionError) ++refused;
      if (status != ErrorCase::Correct) return;
      const std::string weight = device.GetParam(ParamType::Weight, status);
      if (weight == "7777") ++wrongReadings;
      if (weight == "1250") ++scaleReadings;
    };
    for (int i = 0; i < 3; ++i) poll();
    PointLink(link, other.Path());
    // After the first byte of the next answer (the handshake's acknowledgement): the line is lost
    // in the middle of the poll.
    Scalesim::LineFaults faults;
    faults.hangUpAfter = 1;
    scale->SetFaults(faults);
    for (int i = 0; i < 5; ++i) poll();
    hangUps += scale->HangUps();
    ErrorCase ignored = ErrorCase::Correct;
    device.Close(ignored);
    device.DeleteLogicDevice(id, ignored);
  }
  ::unlink(link.c_str());
  const long written = other.Stop();
  std::ostringstream figures;
  figures << cycles << " swaps (" << hangUps << " hang-ups): " << wrongReadings << " readings taken from the other device, " << written
          << " bytes written to it, " << scaleReadings << " readings from the scale, " << refused
          << " of " << 5 * cycles << " polls after the swap refused with ConnectionError";
  return Report("swap", wrongReadings == 0 && written == 0 && scaleReadings == 3 * cycles && hangUps == cycles &&
                            refused == 5 * cycles,
                figures.str());
}

// ---- killed writers --------------------------------------------------------------------------

// A writer: adds devices (announcing each completed add) and deletes its own again, announcing
// the deletion before it starts; lines go to `out` with single write() calls.
[[noreturn]] void Writer(int out) {
  std::mt19937 random(static_cast<unsigned>(getpid()));
  std::vector<int> mine;
  for (;;) {
    try {
      LogicDeviceManager store;
      ErrorCase result = ErrorCase::Correct;
      if (mine.size() < 10) {
        const int id = store.AddLogicDevice(result);
        if (result == ErrorCase::Correct) {
          const std::string line = "A " + std::to_string(id) + "\n";
          if (write(out, line.data(), line.size()) < 0) _exit(1);
          mine.push_back(id);
        }
      } else {
        const int id = mine[random() % mine.size()];
        const std::string line = "D " + std::to_string(id) + "\n";
        if (write(out, line.data(), line.size()) < 0) _exit(1);
        store.DeleteLogicDevice(id, result);
        mine.erase(std::find(mine.begin(), mine.end(), id));
      }
    } catch (const std::exception&) {
    }
  }
}

int TemporaryFiles(const std::string& folder) {
  int count = 0;
  for (fs::directory_iterator it(folder), end; it != end; ++it) {
    if (it->path().extension() == ".tmp") ++count;
  }
  return count;
}

// Two writers, one of them killed every 5 to 50 ms and started anew, `kills` times: what they
// announced on the pipe. Forked before any thread of this run exists; the parent drains the
// pipe between kills.
bool RunKilledWriters(int kills, std::string& log) {
  int channel[2];
  if (pipe(channel) != 0) return false;
  fcntl(channel[0], F_SETFL, O_NONBLOCK);
  auto spawn = [&] {
    const pid_t pid = fork();
    if (pid == 0) {
      ::close(channel[0]);
      Writer(channel[1]);
    }
    return pid;
  };
  auto drain = [&] {
    char buffer[4096];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) log.append(buffer, static_cast<std::size_t>(n));
  };
  pid_t writers[2] = {spawn(), spawn()};
  std::mt19937 random(13);
  for (int i = 0; i < kills; ++i) {
    std::this_thread::sleep_for(std::chrono::microseconds(5000 + random() % 45000));
    pid_t& victim = writers[i % 2];
    kill(victim, SIGKILL);
    waitpid(victim, nullptr, 0);
    drain();
    victim = spawn();
  }
  for (pid_t pid : writers) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  ::close(channel[1]);
  drain();
  ::close(channel[0]);
  return true;
}

// Completed adds whose device was never meant to go again; `completed` counts all the adds.
std::set<int> KeptDevices(const std::string& log, int& completed) {
  std::set<int> kept;
  std::istringstream lines(log);
  std::string kind;
  for (int id; lines >> kind >> id;) {
    if (kind == "A") {
      kept.insert(id);
      ++completed;
    } else {
      kept.erase(id);
    }
  }
  return kept;
}

bool KilledWriters(int kills) {
  PrivateAppData("kill");
  std::string folder;
  {
    LogicDeviceManager made;  // the store exists before the writers race for it
    folder = fs::path(made.JsonPath()).parent_path().string();
  }
  std::string log;
  if (!RunKilledWriters(kills, log)) return Report("kill", false, "no pipe");
  int completed = 0;
  const std::set<int> kept = KeptDevices(log, completed);
  const int temporariesLeft = TemporaryFiles(folder);
  bool parses = true;
  int lost = 0, temporariesAfterChange = -1;
  try {
    LogicDeviceManager store;
    ErrorCase result = ErrorCase::Correct;
    const auto ids = store.GetAllSortedID(result);
    for (int id : kept) lost += std::find(ids.begin(), ids.end(), id) == ids.end() ? 1 : 0;
    store.AddLogicDevice(result);  // takes the write lock: the temporaries of dead writers go
    temporariesAfterChange = TemporaryFiles(folder);
    parses = result == ErrorCase::Correct || result == ErrorCase::LogicDeviceJSONError;  // 101 devices at most
  } catch (const LogicDeviceStoreError&) {
    parses = false;
  }
  std::ostringstream figures;
  figures << kills << " kills, " << completed << " completed adds: file " << (parses ? "parses" : "DOES NOT PARSE")
          << ", " << lost << " completed adds lost, " << temporariesLeft << " temporary files left by killed writers, "
          << temporariesAfterChange << " after the next change";
  return Report("kill", parses && lost == 0 && temporariesAfterChange == 0, figures.str());
}

// ---- long poll -------------------------------------------------------------------------------

bool LongPoll(int polls) {
  PrivateAppData("poll");
  auto state = Scalesim::MakeScaleState();
  auto simulator = Scalesim::Simulator::StartPty(
      std::shared_ptr<Scalesim::Responder>(Scalesim::MakeProtocolResponder("POS2MProV1", state)));
  Device device;
  ErrorCase result = ErrorCase::Correct;
  const int id = device.AddLogicDevice(result);
  const std::pair<LogicDeviceParamType, std::string> params[] = {
      {LogicDeviceParamType::Name, "poll"},         {LogicDeviceParamType::ConnectionType, "Serial Port"},
      {LogicDeviceParamType::EndPoint, simulator->Path()}, {LogicDeviceParamType::BaudRate, "9600"},
      {LogicDeviceParamType::Model, "auto"},        {LogicDeviceParamType::Protocol, "POS2MProV1"},
  };
  for (const auto& [type, value] : params) device.SetLogicDeviceParam(id, type, value, result);
  device.Open(id, result);
  if (result != ErrorCase::Correct) return Report("poll", false, "the scale did not open");
  // The first thousand polls bring every cache and buffer to its size.
  int failed = 0;
  auto poll = [&] {
    ErrorCase status = ErrorCase::Correct;
    device.ExecuteCommand(Command::StatusOfWeightChannel, status);
    if (status != ErrorCase::Correct) ++failed;
  };
  const int warmUp = std::min(1000, polls / 10);
  for (int i = 0; i < warmUp; ++i) poll();
  const long residentBefore = ResidentKiB();
  const int descriptorsBefore = OpenDescriptors();
  const auto start = Clock::now();
  for (int i = warmUp; i < polls; ++i) poll();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const long residentAfter = ResidentKiB();
  const int descriptorsAfter = OpenDescriptors();
  device.Close(result);
  std::ostringstream figures;
  figures << polls << " polls (" << failed << " failed, " << static_cast<int>((polls - warmUp) / seconds)
          << " per second): resident memory " << residentBefore << " KiB after " << warmUp << " polls, "
          << residentAfter << " KiB at the end; open descriptors " << descriptorsBefore << " and "
          << descriptorsAfter;
  // Flat: within 1 MiB (allocator noise), not a byte per poll.
  return Report("poll", failed == 0 && residentAfter - residentBefore < 1024 && descriptorsAfter == descriptorsBefore,
                figures.str());
}

}  // namespace

int main(int argc, char** argv) {
  bool brief = false;
  int lateCycles = 0;
  std::vector<std::string> runs;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--short") {
      brief = true;
    } else if (argument == "--late-cycles" && i + 1 < argc) {
      lateCycles = std::atoi(argv[++i]);
    } else if (argument == "late" || argument == "unplug" || argument == "swap" || argument == "kill" ||
               argument == "poll") {
      runs.push_back(argument);
    } else {
      std::cerr << "usage: fault-runs [--short] [--late-cycles N] [kill|late|unplug|swap|poll ...]\n";
      return 2;
    }
  }
  // The store run forks: it goes first, before any simulator thread exists.
  if (runs.empty()) runs = {"kill", "late", "unplug", "swap", "poll"};
  if (std::getenv("APPDATA") == nullptr) PrivateAppData("main");
  int failed = 0;
  for (const auto& run : runs) {
    bool pass = false;
    if (run == "late") pass = LateReplies(lateCycles > 0 ? lateCycles : brief ? 10 : 500);
    if (run == "unplug") pass = UnplugAndComeBack(brief ? 20 : 100);
    if (run == "swap") pass = SwappedDevice(brief ? 5 : 20);
    if (run == "kill") pass = KilledWriters(brief ? 30 : 200);
    if (run == "poll") pass = LongPoll(brief ? 2000 : 20000);
    failed += pass ? 0 : 1;
  }
  std::cout << runs.size() - failed << " passed, " << failed << " failed" << std::endl;
  return failed == 0 ? 0 : 1;
}
