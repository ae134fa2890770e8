// scalesim: a simulated scale on a pseudo-terminal or a TCP port, for trying the driver and
// Benchtap without hardware. The first line on standard output is the name to connect to.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <boost/program_options.hpp>

#include "simulator/control.hpp"
#include "simulator/responders.hpp"
#include "simulator/script-responder.hpp"
#include "simulator/simulator.hpp"

namespace po = boost::program_options;

namespace {

const char* const kUsage =
    "scalesim - a simulated retail scale for the driver and Benchtap\n"
    "\n"
    "Usage: scalesim [--pty [--link PATH] | --tcp PORT] (--protocol NAME | --reply TEXT) [options]\n"
    "\n"
    "The first line written to standard output names the line to connect to: the pseudo-terminal\n"
    "slave (or the --link path) for --pty, the port number for --tcp. scalesim runs until SIGINT or\n"
    "SIGTERM, or until its standard input closes when --until-stdin-closes is given.\n"
    "\n"
    "With --control, standard input takes one command a line while the scale runs, and each gets\n"
    "one line on standard output: \"ok\" once applied, or \"error: ...\". --scenario FILE plays\n"
    "the same commands from a file. The commands:\n"
    "  KEY=VALUE                 any setting of --set\n"
    "  place WEIGHT [SETTLE_MS]  the net weight becomes WEIGHT; unstable for SETTLE_MS, then settled\n"
    "  remove [SETTLE_MS]        every load taken off (gross 0: the net is minus the tare)\n"
    "  sleep MS                  the next command waits MS milliseconds\n"
    "The end of standard input ends a --control run only with --until-stdin-closes, once the\n"
    "commands read so far have been played.\n"
    "\n"
    "Examples:\n"
    "  scalesim --protocol native --set weight=1250 --set stable=1\n"
    "  scalesim --tcp 0 --protocol POS2M --baud 9600 --framing 8N1\n"
    "  scalesim --reply 'max=15\\r\\n' --chunk 2 --chunk-pause 30\n"
    "  printf 'place 1250 800\\nsleep 3000\\nremove 300\\n' | scalesim --protocol CAS-M --control\n"
    "\n"
    "Options";

// "\r", "\n", "\t", "\\" and "\xHH" in a reply text given on the command line.
bool Unescape(const std::string& text, Scalesim::Bytes& bytes) {
  bytes.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      bytes.push_back(static_cast<std::uint8_t>(text[i]));
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case 'r': bytes.push_back('\r'); break;
      case 'n': bytes.push_back('\n'); break;
      case 't': bytes.push_back('\t'); break;
      case '\\': bytes.push_back('\\'); break;
      case 'x': {
        if (i + 2 >= text.size()) return false;
        std::string hex = text.substr(i + 1, 2);
        char* end = nullptr;
        long value = std::strtol(hex.c_str(), &end, 16);
        if (hex.size() != 2 || *end != '\0') return false;
        bytes.push_back(static_cast<std::uint8_t>(value));
        i += 2;
        break;
      }
      default: return false;
    }
  }
  return true;
}

int Fail(const std::string& message) {
  std::cerr << "scalesim: " << message << "\n";
  return 2;
}

po::options_description DescribeOptions() {
  po::options_description options(kUsage);
  // clang-format off
  options.add_options()
      ("help,h", "show this help")
      ("pty", "serve a pseudo-terminal pair in raw mode (the default)")
      ("link", po::value<std::string>()->value_name("PATH"), "with --pty: keep a symbolic link PATH to the slave; it follows the line when it comes back after --hang-up-after with --come-back")
      ("tcp", po::value<int>()->value_name("PORT"), "listen on 127.0.0.1:PORT instead (0: any free port)")
      ("protocol", po::value<std::string>()->value_name("NAME"), "the scale's protocol: native, POS2M, POS2MProV1, CAS-M, \"CAS-M ProV1\", CAS-M-Active, OKA, silent")
      ("reply", po::value<std::string>()->value_name("TEXT"), "instead of a protocol: answer every request with TEXT (\\r \\n \\t \\\\ \\xHH escapes)")
      ("set", po::value<std::vector<std::string>>()->composing()->value_name("KEY=VALUE"), "KEY=VALUE of the scale's state (weight, tare, stable, ...); repeatable")
      ("silent", "take requests in but never answer")
      ("delay", po::value<int>()->default_value(0)->value_name("MS"), "pause MS milliseconds before each reply")
      ("chunk", po::value<int>()->default_value(0)->value_name("N"), "write replies in pieces of N bytes")
      ("chunk-pause", po::value<int>()->default_value(0)->value_name("MS"), "pause MS milliseconds between pieces")
      ("garbage", po::value<std::string>()->value_name("TEXT"), "send TEXT (escapes as --reply) in front of every reply")
      ("hang-up-after", po::value<int>()->value_name("N"), "hang up the line after N bytes of the first reply")
      ("report-received", "print \"received N bytes\" (what the driver sent) when stopping")
      ("come-back", "with --pty: after the hang-up a new pseudo-terminal replaces the old one behind --link and the reply goes on there")
      ("baud", po::value<int>()->default_value(0)->value_name("RATE"), "pace replies at this line rate (0: unpaced)")
      ("framing", po::value<std::string>()->default_value("8N1")->value_name("FRAMING"), "data bits, parity (N/E/O) and stop bits of the paced line")
      ("control", "take commands on standard input while running (see above)")
      ("scenario", po::value<std::string>()->value_name("FILE"), "play the commands of FILE, one a line, from the start")
      ("until-stdin-closes", "also stop when standard input reaches its end");
  // clang-format on
  return options;
}

// The steps of main. Each answers an empty text, or what is wrong with the command line.

std::string SetState(const po::variables_map& vm, Scalesim::ScaleState& state) {
  if (!vm.count("set")) return {};
  for (const auto& setting : vm["set"].as<std::vector<std::string>>()) {
    auto equals = setting.find('=');
    if (equals == std::string::npos) return "--set wants KEY=VALUE, got \"" + setting + "\"";
    if (!Scalesim::SetScaleValue(state, setting.substr(0, equals), setting.substr(equals + 1))) {
      return "unknown key or bad value in --set " + setting;
    }
  }
  return {};
}

// A protocol's responder with its --set state, or one that answers every request with --reply.
std::string MakeResponder(const po::variables_map& vm, std::shared_ptr<Scalesim::Responder>& responder,
                          std::shared_ptr<Scalesim::ScaleState>& state) {
  if (vm.count("protocol")) {
    const auto name = vm["protocol"].as<std::string>();
    state = Scalesim::MakeScaleState();
    auto error = SetState(vm, *state);
    if (!error.empty()) return error;
    responder = Scalesim::MakeProtocolResponder(name, state);
    return responder ? std::string() : "unknown protocol \"" + name + "\" (see --help)";
  }
  if (vm.count("set")) return "--set needs --protocol";
  if (vm.count("control") || vm.count("scenario")) return "--control and --scenario need --protocol";
  Scalesim::Bytes reply;
  if (!Unescape(vm["reply"].as<std::string>(), reply)) return "bad escape in --reply";
  auto script = std::make_shared<Scalesim::ScriptResponder>();
  script->AddReply(reply);
  script->SetRepeat(true);
  responder = script;
  return {};
}

std::string ReadFaults(const po::variables_map& vm, Scalesim::LineFaults& faults) {
  faults.silent = vm.count("silent") != 0;
  int delay = vm["delay"].as<int>();
  int chunk = vm["chunk"].as<int>();
  int chunkPause = vm["chunk-pause"].as<int>();
  int baud = vm["baud"].as<int>();
  if (delay < 0 || chunk < 0 || chunkPause < 0 || baud < 0) return "negative numbers make no sense here";
  faults.delay = std::chrono::milliseconds(delay);
  faults.chunkSize = static_cast<std::size_t>(chunk);
  faults.chunkPause = std::chrono::milliseconds(chunkPause);
  faults.baud = baud;
  if (!Scalesim::ParseFraming(vm["framing"].as<std::string>(), faults.framing)) {
    return "--framing wants e.g. 8N1, 8E2, 7O1";
  }
  if (vm.count("garbage") && !Unescape(vm["garbage"].as<std::string>(), faults.garbage)) {
    return "bad escape in --garbage";
  }
  if (vm.count("hang-up-after")) {
    int after = vm["hang-up-after"].as<int>();
    if (after < 0) return "--hang-up-after wants a count of bytes";
    faults.hangUpAfter = static_cast<std::size_t>(after);
  }
  faults.comeBack = vm.count("come-back") != 0;
  if (faults.comeBack && (vm.count("tcp") || !vm.count("link"))) return "--come-back needs --pty with --link";
  return {};
}

// Starts the transport and writes the name to connect to as the first line of standard output.
std::string Start(const po::variables_map& vm, const std::shared_ptr<Scalesim::Responder>& responder,
                  std::unique_ptr<Scalesim::Simulator>& simulator) {
  try {
    if (vm.count("tcp")) {
      int port = vm["tcp"].as<int>();
      if (port < 0 || port > 65535) return "--tcp wants a port from 0 to 65535";
      simulator = Scalesim::Simulator::StartTcp(responder, static_cast<std::uint16_t>(port));
      std::cout << simulator->Port() << std::endl;
    } else {
      simulator = Scalesim::Simulator::StartPty(responder, vm.count("link") ? vm["link"].as<std::string>() : "");
      std::cout << simulator->Path() << std::endl;
    }
  } catch (const std::exception& error) {
    return error.what();
  }
  return {};
}

// SIGINT and SIGTERM, blocked so that the run loop takes them through a signal descriptor.
sigset_t BlockStopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  return signals;
}

using Clock = std::chrono::steady_clock;

// Control lines waiting to be played, from standard input or a scenario file.
struct ControlQueue {
  std::string name;                // for messages: "FILE:LINE" or "standard input"
  bool acknowledge = false;        // standard input: "ok" / "error: ..." per command on stdout
  std::deque<std::pair<int, std::string>> lines;  // line number, text
  Clock::time_point resumeAt{};    // a "sleep" holds the next line until then
  bool pendingAck = false;         // the "ok" of a sleep, written when it ends

  bool Ready(Clock::time_point now) const { return now >= resumeAt; }
  bool Waiting() const { return pendingAck || !lines.empty(); }
};

void Acknowledge(const std::string& error) {
  std::cout << (error.empty() ? std::string("ok") : "error: " + error) << std::endl;
}

// Plays the lines that are due.
void Play(ControlQueue& queue, Scalesim::ScaleState& state) {
  for (;;) {
    const auto now = Clock::now();
    if (!queue.Ready(now)) return;
    if (queue.pendingAck) {
      queue.pendingAck = false;
      Acknowledge({});
    }
    if (queue.lines.empty()) return;
    const auto [number, line] = queue.lines.front();
    queue.lines.pop_front();
    const auto outcome = Scalesim::ApplyControlLine(state, line);
    const auto first = line.find_first_not_of(" \t\r");
    const bool command = first != std::string::npos && line[first] != '#';  // not blank, not a comment
    if (!outcome.error.empty() && !queue.acknowledge) {
      std::cerr << "scalesim: " << queue.name << ":" << number << ": " << outcome.error << std::endl;
    }
    if (outcome.pause.count() > 0) {
      queue.resumeAt = now + outcome.pause;
      queue.pendingAck = queue.acknowledge;
    } else if (queue.acknowledge && command) {
      Acknowledge(outcome.error);
    }
  }
}

// The lines of a scenario file, each checked on a scale of its own first so that a mistake stops
// the start rather than the middle of a run.
std::string ReadScenario(const std::string& path, ControlQueue& queue) {
  std::ifstream file(path);
  if (!file) return "cannot read the scenario " + path;
  queue.name = path;
  auto scratch = Scalesim::MakeScaleState();
  int number = 0;
  for (std::string line; std::getline(file, line);) {
    ++number;
    const auto outcome = Scalesim::ApplyControlLine(*scratch, line);
    if (!outcome.error.empty()) return path + ":" + std::to_string(number) + ": " + outcome.error;
    queue.lines.emplace_back(number, line);
  }
  return {};
}

struct RunOptions {
  bool control = false;           // standard input carries commands
  bool untilStdinCloses = false;  // its end stops the run (after the commands read so far)
};

// Until a stop signal, or the end of standard input as RunOptions says; plays the scenario and
// the commands of standard input meanwhile.
void Run(const sigset_t& signals, const RunOptions& options, Scalesim::ScaleState* state, ControlQueue scenario) {
  // Without a signal descriptor the loop looks for a pending signal every 100 ms instead.
  const int signalFd = ::signalfd(-1, &signals, SFD_CLOEXEC);
  struct Closer {
    int fd;
    ~Closer() {
      if (fd >= 0) ::close(fd);
    }
  } closer{signalFd};
  const auto stopSignalled = [&] {
    const timespec none{0, 0};
    return signalFd < 0 && sigtimedwait(&signals, nullptr, &none) > 0;
  };
  ControlQueue input;
  input.name = "standard input";
  input.acknowledge = true;
  bool readInput = options.control || options.untilStdinCloses;
  bool inputEnded = false;
  std::string partial;
  int inputLines = 0;
  for (;;) {
    if (state) {
      Play(scenario, *state);
      Play(input, *state);
    }
    if (inputEnded && !input.Waiting()) return;

    // Sleep until a signal, input, or the next line that a "sleep" holds back.
    int timeout = -1;
    for (const ControlQueue* queue : {&scenario, &input}) {
      if (!queue->Waiting()) continue;
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(queue->resumeAt - Clock::now()).count();
      const int wait = static_cast<int>(std::clamp<long long>(left, 0, 60'000));
      timeout = timeout < 0 ? wait : std::min(timeout, wait);
    }
    if (signalFd < 0 && (timeout < 0 || timeout > 100)) timeout = 100;
    pollfd fds[2] = {{signalFd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    const nfds_t count = readInput ? 2 : 1;
    const int ready = ::poll(fds, count, timeout);
    if ((fds[0].revents & POLLIN) || stopSignalled()) return;
    if (ready < 0) continue;
    if (count == 2 && fds[1].revents != 0) {
      char buffer[4096];
      const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (got > 0 && options.control) {
        partial.append(buffer, static_cast<std::size_t>(got));
        for (auto end = partial.find('\n'); end != std::string::npos; end = partial.find('\n')) {
          input.lines.emplace_back(++inputLines, partial.substr(0, end));
          partial.erase(0, end + 1);
        }
      } else if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) {
        readInput = false;
        if (options.control && !partial.empty()) input.lines.emplace_back(++inputLines, partial);
        inputEnded = options.untilStdinCloses;
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const po::options_description options = DescribeOptions();
  po::variables_map vm;
  try {
    po::store(po::parse_command_line(argc, argv, options), vm);
    po::notify(vm);
  } catch (const po::error& error) {
    return Fail(std::string(error.what()) + " (see --help)");
  }
  if (vm.count("help")) {
    std::cout << options << "\n";
    return 0;
  }
  if (vm.count("pty") && vm.count("tcp")) return Fail("--pty and --tcp exclude each other");
  if (vm.count("protocol") == vm.count("reply")) return Fail("give either --protocol NAME or --reply TEXT");

  std::shared_ptr<Scalesim::Responder> responder;
  std::shared_ptr<Scalesim::ScaleState> state;
  Scalesim::LineFaults faults;
  ControlQueue scenario;
  std::string error = MakeResponder(vm, responder, state);
  if (error.empty()) error = ReadFaults(vm, faults);
  if (error.empty() && vm.count("scenario")) error = ReadScenario(vm["scenario"].as<std::string>(), scenario);
  if (!error.empty()) return Fail(error);

  const sigset_t signals = BlockStopSignals();
  std::unique_ptr<Scalesim::Simulator> simulator;
  error = Start(vm, responder, simulator);
  if (!error.empty()) return Fail(error);
  simulator->SetFaults(faults);
  RunOptions run;
  run.control = vm.count("control") != 0;
  run.untilStdinCloses = vm.count("until-stdin-closes") != 0;
  Run(signals, run, state.get(), std::move(scenario));
  simulator->Stop();
  if (vm.count("report-received")) std::cout << "received " << simulator->BytesReceived() << " bytes" << std::endl;
  return 0;
}
