// scalesim: a simulated scale on a pseudo-terminal or a TCP port, for trying the driver and
// Benchtap without hardware. The first line on standard output is the name to connect to.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <boost/program_options.hpp>

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
    "Examples:\n"
    "  scalesim --protocol native --set weight=1250 --set stable=1\n"
    "  scalesim --tcp 0 --protocol POS2M --baud 9600 --framing 8N1\n"
    "  scalesim --reply 'max=15\\r\\n' --chunk 2 --chunk-pause 30\n"
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
std::string MakeResponder(const po::variables_map& vm, std::shared_ptr<Scalesim::Responder>& responder) {
  if (vm.count("protocol")) {
    const auto name = vm["protocol"].as<std::string>();
    auto state = Scalesim::MakeScaleState();
    auto error = SetState(vm, *state);
    if (!error.empty()) return error;
    responder = Scalesim::MakeProtocolResponder(name, state);
    return responder ? std::string() : "unknown protocol \"" + name + "\" (see --help)";
  }
  if (vm.count("set")) return "--set needs --protocol";
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

// SIGINT and SIGTERM, blocked so that WaitForStop takes them on this thread only.
sigset_t BlockStopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  return signals;
}

// Until a stop signal, or the end of standard input when `watchStdin`.
void WaitForStop(const sigset_t& signals, bool watchStdin) {
  const timespec tick{0, 100 * 1000 * 1000};
  for (;;) {
    if (sigtimedwait(&signals, nullptr, &tick) > 0) return;
    if (watchStdin) {
      pollfd in{STDIN_FILENO, POLLIN, 0};
      if (::poll(&in, 1, 0) > 0) {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) return;
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
  Scalesim::LineFaults faults;
  std::string error = MakeResponder(vm, responder);
  if (error.empty()) error = ReadFaults(vm, faults);
  if (!error.empty()) return Fail(error);

  const sigset_t signals = BlockStopSignals();
  std::unique_ptr<Scalesim::Simulator> simulator;
  error = Start(vm, responder, simulator);
  if (!error.empty()) return Fail(error);
  simulator->SetFaults(faults);
  WaitForStop(signals, vm.count("until-stdin-closes") != 0);
  simulator->Stop();
  if (vm.count("report-received")) std::cout << "received " << simulator->BytesReceived() << " bytes" << std::endl;
  return 0;
}
