#include "benchtap/cli-manager.hpp"

#include <ctime>
#include <iomanip>
#include <iostream>
#include <locale>
#include <map>
#include <sstream>
#include <stdexcept>

#include <boost/program_options.hpp>

#include "benchtap/interrupt.hpp"
#include "benchtap/names.hpp"
#include "benchtap/port-commands.hpp"
#include "benchtap/results.hpp"
#include "benchtap/script-file.hpp"
#include "platform/local-time.hpp"

namespace Korvalt::Ponderix::Benchtap {
namespace {

namespace po = boost::program_options;

// Prints the refusal's message (if any) and sets CommandLineIncorrectArgument.
std::nullopt_t Refuse(const std::string& message, ErrorCase& ecase) {
  if (!message.empty()) std::cout << message << std::endl;
  ecase = ErrorCase::CommandLineIncorrectArgument;
  return std::nullopt;
}

// "host" already naming a port: "host:port" or "[v6]:port".
bool NamesPort(const std::string& host) {
  if (!host.empty() && host.front() == '[') return host.find("]:") != std::string::npos;
  auto colon = host.find(':');
  return colon != std::string::npos && host.find(':', colon + 1) == std::string::npos;
}

std::string EndPoint(const std::string& host, int port) {
  // A bare IPv6 address needs brackets before a port can follow it.
  bool bareIPv6 = host.find(':') != std::string::npos && (host.empty() || host.front() != '[');
  return (bareIPv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

// Weekday, month, day, time and year, as "Mon Dec  7 12:24:32 2026".
std::string StartTime() {
  std::time_t now = std::time(nullptr);
  const std::tm local = Platform::LocalTime(now);
  std::ostringstream text;
  text.imbue(std::locale::classic());
  // The day is padded by hand: Windows' C library has no "%e".
  text << std::put_time(&local, "%a %b ") << std::setw(2) << local.tm_mday << std::put_time(&local, " %H:%M:%S %Y");
  return text.str();
}

po::options_description CommandLineOptions() {
  po::options_description options("Allowed options", 80, 40);
  options.add_options()
      ("help", "Print usage information and exit")
      ("portname", po::value<std::string>(), "Serial port name")
      ("script", po::value<std::string>(), "Set script/json file path")
      ("ip", po::value<std::string>(), "IP address for TCP connection")
      ("port", po::value<int>(), "TCP port number for --ip (default 77)")
      ("output", po::value<std::string>(), "Set output type: 'console', 'json', or 'both'")
      ("list-ports", "Print the machine's serial ports and exit")
      ("discover", "Detect the protocol on every free port, or on the PATTERNs that follow (port names, globs "
                   "such as /dev/ttyUSB*, tcp:HOST:PORT), print the table and exit")
      ("timeout", po::value<int>()->value_name("MS"), "With --discover: bound each port's detection [ms]");
  return options;
}

// The first bare argument is the port name, the second the script.
po::variables_map ParseCommandLine(int argc, const char* const* argv, const po::options_description& options) {
  po::positional_options_description positional;
  positional.add("portname", 1).add("script", 1);
  po::variables_map values;
  po::store(po::command_line_parser(argc, argv).options(options).positional(positional).run(), values);
  po::notify(values);
  return values;
}

// The end point of --ip, with the port of --port added when given; nothing after a refusal.
std::optional<std::string> TcpEndPoint(const po::variables_map& values, ErrorCase& ecase) {
  const auto host = values["ip"].as<std::string>();
  if (!values.count("port")) return host;
  const int port = values["port"].as<int>();
  if (port < 1 || port > 65535) {
    return Refuse("Invalid port number " + std::to_string(port) + ". Allowed values: 1 to 65535.", ecase);
  }
  if (NamesPort(host)) {
    return Refuse("The address " + host + " already names a port; give the port either there or with --port.",
                  ecase);
  }
  return EndPoint(host, port);
}

// Puts "portname" and/or "ip" into `arguments`; false after a refusal.
bool ReadConnection(const po::variables_map& values, Wrapper::ArgumentMap& arguments, ErrorCase& ecase) {
  if (!values.count("portname") && !values.count("ip")) {
    Refuse("Please specify either the portname using --portname or both the IP and port using --ip and --port.",
           ecase);
    return false;
  }
  if (values.count("portname")) arguments["portname"] = values["portname"].as<std::string>();
  if (values.count("ip")) {
    const auto endPoint = TcpEndPoint(values, ecase);
    if (!endPoint) return false;
    arguments["ip"] = *endPoint;
  } else if (values.count("port")) {
    Refuse("The option --port needs --ip.", ecase);
    return false;
  }
  return true;
}

// Sets the output type from --output (exact names; Console without it); false after a refusal.
bool ReadOutputType(const po::variables_map& values, ErrorCase& ecase) {
  static const std::map<std::string, OutputType> kOutputTypes = {
      {"console", OutputType::Console}, {"json", OutputType::Json}, {"both", OutputType::Both}};
  SetOutputType(OutputType::Console);
  if (!values.count("output")) return true;
  const auto type = kOutputTypes.find(values["output"].as<std::string>());
  if (type == kOutputTypes.end()) {
    Refuse("Invalid output type. Allowed values: 'console', 'json', 'both'.", ecase);
    return false;
  }
  SetOutputType(type->second);
  return true;
}

}  // namespace

std::optional<Wrapper::ArgumentMap> ReadCommandLine(int argc, const char* const* argv, ErrorCase& ecase) {
  const auto options = CommandLineOptions();
  const auto values = ParseCommandLine(argc, argv, options);
  if (values.count("help")) {
    std::cout << options << std::endl;
    return Refuse({}, ecase);
  }
  Wrapper::ArgumentMap arguments;
  if (!ReadConnection(values, arguments, ecase)) return std::nullopt;
  if (!values.count("script")) return Refuse("Please specify script path using --script.", ecase);
  arguments["script"] = values["script"].as<std::string>();
  if (!ReadOutputType(values, ecase)) return std::nullopt;
  return arguments;
}

void CLIManager::ExecuteCLArgs(int argc, const char* const* argv) {
  ErrorCase ecase = ErrorCase::Correct;
  auto arguments = ReadCommandLine(argc, argv, ecase);
  if (ecase == ErrorCase::Correct) commands_ = LoadScript(arguments->at("script"), ecase);
  if (ecase == ErrorCase::Correct) device_ = Wrapper::CreateDevice(*arguments, ecase);
  if (ecase == ErrorCase::Correct) {
    Results::ClearTags();
    // Failed commands are reported on their own lines; they do not end the run.
    RunCommandList(commands_, *device_, ecase);
    if (ReportsToJson()) {
      auto path = Results::PrepareResultsFile(ecase);
      Results::WriteResults(path, ecase);
    }
    ecase = ErrorCase::Correct;
    device_->DeleteAddedLogicDevice(ecase);
  }
  if (ecase != ErrorCase::Correct) {
    throw std::runtime_error("CLIManager::ExecuteCLArgs(), ErrorCase: " + ToString(ecase));
  }
}

int RunBenchtap(int argc, const char* const* argv) {
  try {
    auto& library = Wrapper::GetLibrary();
    // Finding the scale: the tables only, no script, store or results.
    if (AsksForPorts(argc, argv)) return RunPortCommands(argc, argv, library, std::cout);
    const int mode = 0;
    ErrorCase ecase = library.LoggingSetMode(mode);
    if (ecase != ErrorCase::Correct) return static_cast<int>(ecase);

    std::cout << "Runed:                     " << StartTime() << "\n";

    std::string loggingPath;
    std::cout << "Driver Logging Path:       ";
    ecase = library.GetLoggingPath(loggingPath);
    std::cout << loggingPath << std::endl;
    if (ecase != ErrorCase::Correct) return static_cast<int>(ecase);

    std::string version;
    std::cout << "Driver Current Version:    ";
    ecase = library.GetCurrentVersion(version);
    std::cout << version << std::endl;
    if (ecase != ErrorCase::Correct) return static_cast<int>(ecase);

    std::cout << "Benchtap Current Version: " << kBenchtapVersion << std::endl;

    EndRunsCleanlyOnInterrupt();
    {
      CLIManager manager;
      manager.ExecuteCLArgs(argc, argv);
    }
    // The library refused to destroy the device: the run is not reported as a success.
    return Wrapper::DestroyFailed() ? 1 : 0;
  } catch (const std::exception& error) {
    std::cout << "Catch exception, type is std::exception, message is \"" << error.what() << "\"" << std::endl;
  } catch (...) {
    std::cout << "Unknown type exception was not handled" << std::endl;
  }
  return 1;
}

}  // namespace Korvalt::Ponderix::Benchtap
