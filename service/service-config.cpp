#include "service/service-config.hpp"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <fstream>
#include <set>
#include <sstream>

#include <boost/asio/ip/address.hpp>
#include <nlohmann/json.hpp>

#include "driver/api/ponderix.h"

namespace ScaleService {

namespace {

int ParseNumber(const std::string& setting, const std::string& text, int low, int high) {
  std::size_t used = 0;
  int value = 0;
  try {
    value = std::stoi(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (text.empty() || used != text.size() || value < low || value > high) {
    throw ConfigError(setting + ": \"" + text + "\" is not a number from " + std::to_string(low) + " to " +
                      std::to_string(high));
  }
  return value;
}

void ParseListen(const std::string& text, ServiceSettings& settings) {
  auto colon = text.rfind(':');
  if (colon == std::string::npos) throw ConfigError("--listen: \"" + text + "\" is not ADDR:PORT");
  std::string address = text.substr(0, colon);
  if (address.size() > 2 && address.front() == '[' && address.back() == ']') address = address.substr(1, address.size() - 2);
  boost::system::error_code error;
  boost::asio::ip::make_address(address, error);
  if (error) throw ConfigError("--listen: \"" + address + "\" is not an IP address");
  settings.listenAddress = address;
  settings.listenPort = static_cast<std::uint16_t>(ParseNumber("--listen", text.substr(colon + 1), 0, 65535));
}

std::string ReadToken(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw ConfigError("--token-file: cannot read \"" + file + "\"");
  std::stringstream content;
  content << in.rdbuf();
  std::string token = content.str();
  while (!token.empty() && std::isspace(static_cast<unsigned char>(token.back()))) token.pop_back();
  while (!token.empty() && std::isspace(static_cast<unsigned char>(token.front()))) token.erase(0, 1);
  if (token.empty()) throw ConfigError("--token-file: \"" + file + "\" holds no token");
  return token;
}

// One setting by its option name, from the command line or the config file.
void Apply(const std::string& key, const std::string& value, ServiceSettings& settings) {
  if (key == "scale") {
    settings.scales.push_back(ParseScale(value));
  } else if (key == "listen") {
    ParseListen(value, settings);
  } else if (key == "allow-origin") {
    settings.allowedOrigins.push_back(value);
  } else if (key == "token-file") {
    settings.token = ReadToken(value);
  } else if (key == "poll-ms") {
    settings.pollMs = ParseNumber("--poll-ms", value, 0, 60000);
  } else if (key == "idle-poll-ms") {
    settings.idlePollMs = ParseNumber("--idle-poll-ms", value, 0, 3600000);
  } else if (key == "max-connections") {
    settings.maxConnections = ParseNumber("--max-connections", value, 1, 1000000);
  } else if (key == "log-level") {
    static const char* const kLevels[] = {"trace", "info", "warning", "error"};
    auto found = std::find(std::begin(kLevels), std::end(kLevels), value);
    if (found == std::end(kLevels)) throw ConfigError("--log-level: \"" + value + "\" is not trace, info, warning or error");
    settings.logLevel = static_cast<int>(found - std::begin(kLevels));
  } else {
    throw ConfigError("unknown setting \"" + key + "\" (see --help)");
  }
}

void ApplyConfigFile(const std::string& file, ServiceSettings& settings) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw ConfigError("--config: cannot read \"" + file + "\"");
  // Comments (// and /* */) are allowed: the installed sample explains each setting.
  nlohmann::json config = nlohmann::json::parse(in, nullptr, false, true);
  if (config.is_discarded() || !config.is_object()) {
    throw ConfigError("--config: \"" + file + "\" is not a JSON object");
  }
  for (const auto& entry : config.items()) {
    // A named copy: C++17 lambdas cannot capture structured bindings.
    const std::string key = entry.key();
    const nlohmann::json& value = entry.value();
    if (key == "config") throw ConfigError("--config: \"config\" cannot be set in a config file");
    auto one = [&](const nlohmann::json& item) {
      if (item.is_string()) {
        Apply(key, item.get<std::string>(), settings);
      } else if (item.is_number_integer()) {
        Apply(key, std::to_string(item.get<long long>()), settings);
      } else {
        throw ConfigError("--config: \"" + key + "\" wants a text or a number");
      }
    };
    if (value.is_array()) {
      for (const auto& item : value) one(item);
    } else {
      one(value);
    }
  }
}

bool IsLoopback(const std::string& address) {
  return boost::asio::ip::make_address(address).is_loopback();
}

}  // namespace

namespace {

// NAME of NAME=SPEC: letters, digits, '-', '_' and '.'.
void CheckScaleName(const std::string& name) {
  for (char c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') {
      throw ConfigError("--scale: the name \"" + name + "\" may hold only letters, digits, '-', '_' and '.'");
    }
  }
}

// "tcp:HOST:PORT", "serial:DEVICE" or "profile:NAME" into the scale's kind and end point.
void ParseConnection(const std::string& connection, const std::string& bad, ScaleSpec& spec) {
  auto kindEnd = connection.find(':');
  std::string kind = connection.substr(0, kindEnd);
  std::string rest = kindEnd == std::string::npos ? "" : connection.substr(kindEnd + 1);
  if (kind == "tcp") {
    spec.kind = ScaleSpec::Kind::Tcp;
    auto colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0) throw ConfigError(bad + "\"" + connection + "\" is not tcp:HOST:PORT");
    ParseNumber(bad + "port", rest.substr(colon + 1), 1, 65535);
  } else if (kind == "serial") {
    spec.kind = ScaleSpec::Kind::Serial;
  } else if (kind == "profile") {
    spec.kind = ScaleSpec::Kind::Profile;
  } else if (kind == "usb") {
    spec.kind = ScaleSpec::Kind::Usb;
  } else {
    throw ConfigError(bad + "\"" + connection + "\" is neither tcp:HOST:PORT, serial:DEVICE, usb:SERIAL nor profile:NAME");
  }
  if (rest.empty()) throw ConfigError(bad + "\"" + connection + "\" names no end point");
  spec.endPoint = rest;
}

// The protocol names the library accepts, as it publishes them ("auto" last).
const std::vector<std::string>& ProtocolNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> all;
    char buffer[512] = "";
    if (pdx_protocol_names(buffer, sizeof buffer, nullptr) != PDX_OK) return all;
    std::istringstream lines(buffer);
    for (std::string name; std::getline(lines, name);) all.push_back(name);
    return all;
  }();
  return names;
}

std::string ProtocolList() {
  std::string list;
  for (const auto& name : ProtocolNames()) list += (list.empty() ? "" : ", ") + name;
  return list;
}

// One ",protocol=P" or ",baud=N" after the connection.
void ParseScaleOption(const std::string& option, const std::string& bad, ScaleSpec& spec) {
  const auto& protocols = ProtocolNames();
  auto eq = option.find('=');
  std::string key = option.substr(0, eq);
  std::string value = eq == std::string::npos ? "" : option.substr(eq + 1);
  if (spec.kind == ScaleSpec::Kind::Profile) throw ConfigError(bad + "a profile takes no \"" + key + "\"");
  if (key == "protocol" && std::find(protocols.begin(), protocols.end(), value) != protocols.end()) {
    spec.protocol = value;
  } else if (key == "baud" && (value == "9600" || value == "4800")) {
    spec.baud = value;
  } else {
    throw ConfigError(bad + "\"" + option + "\" is not protocol=P (" + ProtocolList() + ") or baud=N (9600, 4800)");
  }
}

}  // namespace

ScaleSpec ParseScale(const std::string& text) {
  ScaleSpec spec;
  auto equals = text.find('=');
  if (equals == std::string::npos || equals == 0) throw ConfigError("--scale: \"" + text + "\" is not NAME=SPEC");
  spec.name = text.substr(0, equals);
  CheckScaleName(spec.name);
  spec.text = text.substr(equals + 1);
  std::vector<std::string> parts;
  std::stringstream in(spec.text);
  for (std::string part; std::getline(in, part, ',');) parts.push_back(part);
  const std::string bad = "--scale " + spec.name + ": ";
  if (parts.empty()) throw ConfigError(bad + "no connection given");
  ParseConnection(parts[0], bad, spec);
  for (std::size_t i = 1; i < parts.size(); ++i) ParseScaleOption(parts[i], bad, spec);
  return spec;
}

int ConnectionCap(const ServiceSettings& settings, long descriptors) {
  if (descriptors <= 0) return settings.maxConnections;
  // Listener, event loop, log, the store's lock, standard streams and a margin; a line per scale.
  const long spare = 64 + static_cast<long>(settings.scales.size());
  const long allowed = std::max(16L, descriptors - spare);
  return static_cast<int>(std::min<long>(settings.maxConnections, allowed));
}

ServiceSettings ParseCommandLine(int argc, const char* const* argv, bool& help) {
  ServiceSettings settings;
  help = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      help = true;
      return settings;
    }
    if (arg.rfind("--", 0) != 0) throw ConfigError("unexpected argument \"" + arg + "\" (see --help)");
    std::string key = arg.substr(2);
    std::string value;
    auto eq = key.find('=');
    if (eq != std::string::npos) {
      value = key.substr(eq + 1);
      key = key.substr(0, eq);
    } else {
      if (i + 1 >= argc) throw ConfigError(arg + " wants a value");
      value = argv[++i];
    }
    if (key == "config") {
      ApplyConfigFile(value, settings);
    } else {
      Apply(key, value, settings);
    }
  }
  if (settings.scales.empty()) throw ConfigError("no --scale given (see --help)");
  std::set<std::string> names;
  for (const auto& scale : settings.scales) {
    if (!names.insert(scale.name).second) throw ConfigError("--scale: the name \"" + scale.name + "\" is given twice");
  }
  if (!IsLoopback(settings.listenAddress) && settings.token.empty()) {
    throw ConfigError("--listen: " + settings.listenAddress +
                      " is reachable from other machines; give --token-file to listen there");
  }
  return settings;
}

const char* Usage() {
  static const std::string usage = "scale-service - the scales of this machine over HTTP and WebSocket\n"
         "\n"
         "Usage: scale-service --scale NAME=SPEC [--scale ...] [--listen ADDR:PORT]\n"
         "                     [--allow-origin ORIGIN ...] [--token-file FILE] [--config FILE]\n"
         "                     [--poll-ms MS] [--idle-poll-ms MS] [--max-connections N]\n"
         "                     [--log-level LEVEL]\n"
         "\n"
         "  SPEC            tcp:HOST:PORT or serial:DEVICE, optionally followed by ,protocol=P\n"
         "                  (" + ProtocolList() + ")\n"
         "                  and ,baud=N (9600, 4800); usb:SERIAL for the adapter with that USB serial\n"
         "                  number on whatever port it appears (same options); or profile:NAME\n"
         "                  for a saved logic device\n"
         "  --listen        address and port to serve (default 127.0.0.1:8731; port 0: any free\n"
         "                  port). Other than loopback only with --token-file\n"
         "  --allow-origin  a web origin (http://till.local:8080) whose pages may use the API\n"
         "  --token-file    a file holding the token every request must carry as\n"
         "                  \"Authorization: Bearer TOKEN\"\n"
         "  --config        a JSON object with the same settings: {\"scale\": [\"till=tcp:...\"],\n"
         "                  \"listen\": \"127.0.0.1:8731\", \"poll-ms\": 0, ...}\n"
         "  --poll-ms       pause between readings while a stream is open (default 0)\n"
         "  --idle-poll-ms  pause between readings with no client, keeping the state current\n"
         "                  (default 1000; 0: read only on request)\n"
         "  --max-connections  connections served at once, streams included (default 1024,\n"
         "                  lowered to what the descriptor limit allows; the service raises its\n"
         "                  soft limit to the hard one). Past it the oldest connection still\n"
         "                  sending its request is closed\n"
         "  --log-level     the driver library's log: trace, info, warning or error (default\n"
         "                  warning; at trace every reading writes about 2.7 KB of log)\n"
         "\n"
         "The first line on standard output is \"listening on ADDR:PORT\".\n";
  return usage.c_str();
}

}  // namespace ScaleService
