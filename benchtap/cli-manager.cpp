#include "benchtap/cli-manager.hpp"

#include <ctime>
#include <iomanip>
#include <iostream>
#include <locale>
#include <sstream>
#include <stdexcept>

#include <boost/program_options.hpp>

#include "benchtap/interrupt.hpp"
#include "benchtap/names.hpp"
#include "benchtap/results.hpp"
#include "benchtap/script-file.hpp"
#include "platform/local-time.hpp"

namespace Korvalt::Ponderix::Benchtap {
namespace {

namespace po = boost::program_options;

std::optional<Wrapper::ArgumentMap> Refuse(const std::string& message, ErrorCase& ecase) {
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

}  // namespace

std::optional<Wrapper::ArgumentMap> ReadCommandLine(int argc, const char* const* argv, ErrorCase& ecase) {
  po::options_description options("Allowed options", 80, 40);
  options.add_options()
      ("help", "Print usage information and exit")
      ("portname", po::value<std::string>(), "Serial port name")
      ("script", po::value<std::string>(), "Set script/json file path")
      ("ip", po::value<std::string>(), "IP address for TCP connection")
      ("port", po::value<int>(), "TCP port number for --ip (default 77)")
      ("output", po::value<std::string>(), "Set output type: 'console', 'json', or 'both'");
  po::positional_options_description positional;
  positional.add("portname", 1).add("script", 1);

  po::variables_map values;
  po::store(po::command_line_parser(argc, argv).options(options).positional(positional).run(), values);
  po::notify(values);

  if (values.count("help")) {
    std::cout << options << std::endl;
    return Refuse({}, ecase);
  }
  if (!values.count("portname") && !values.count("ip")) {
    return Refuse("Please specify either the portname using --portname or both the IP and port using --ip and --port.",
                  ecase);
  }

  Wrapper::ArgumentMap arguments;
  if (values.count("portname")) arguments["portname"] = values["portname"].as<std::string>();
  if (values.count("ip")) {
    std::string host = values["ip"].as<std::string>();
    if (values.count("port")) {
      int port = values["port"].as<int>();
      if (port < 1 || port > 65535) {
        return Refuse("Invalid port number " + std::to_string(port) + ". Allowed values: 1 to 65535.", ecase);
      }
      if (NamesPort(host)) {
        return Refuse("The address " + host + " already names a port; give the port either there or with --port.",
                      ecase);
      }
      host = EndPoint(host, port);
    }
    arguments["ip"] = host;
  } else if (values.count("port")) {
    return Refuse("The option --port needs --ip.", ecase);
  }

  if (!values.count("script")) return Refuse("Please specify script path using --script.", ecase);
  arguments["script"] = values["script"].as<std::string>();

  SetOutputType(OutputType::Console);
  if (values.count("output")) {
    const auto& output = values["output"].as<std::string>();
    if (output == "console") {
      SetOutputType(OutputType::Console);
    } else if (output == "json") {
      SetOutputType(OutputType::Json);
    } else if (output == "both") {
      SetOutputType(OutputType::Both);
    } else {
      return Refuse("Invalid output type. Allowed values: 'console', 'json', 'both'.", ecase);
    }
  }
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
