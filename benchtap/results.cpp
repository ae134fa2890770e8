#include "benchtap/results.hpp"

#include <ctime>
#include <fstream>
#include <iostream>

#include <boost/filesystem.hpp>
#include <boost/property_tree/json_parser.hpp>

#include "benchtap/names.hpp"
#include "platform/local-time.hpp"
#include "platform/paths.hpp"

namespace Korvalt::Ponderix::Benchtap::Results {
namespace {

struct State {
  boost::property_tree::ptree tree;
  std::string lastDriverCommand;
  std::string protocolVersionTag;
  std::string serialNumberTag;
};

State& Shared() {
  static State state;
  return state;
}

std::string TrimSpaces(const std::string& text) {
  auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

// " { Type : value } { Type : value }" -> [{"type": "Type", "value": "value"}, ...]
boost::property_tree::ptree CollectGroups(const std::string& part) {
  boost::property_tree::ptree groups;
  std::size_t position = 0;
  for (;;) {
    auto open = part.find('{', position);
    if (open == std::string::npos) break;
    auto close = part.find('}', open + 1);
    if (close == std::string::npos) break;
    std::string group = part.substr(open + 1, close - open - 1);
    auto colon = group.find(':');
    if (colon != std::string::npos) {
      boost::property_tree::ptree element;
      element.put("type", TrimSpaces(group.substr(0, colon)));
      element.put("value", TrimSpaces(group.substr(colon + 1)));
      groups.push_back({"", element});
    }
    position = close + 1;
  }
  return groups;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

void TrimTrailingSeparators(std::string& path) {
  while (path.size() > 1 && IsSeparator(path.back())) path.pop_back();
}

std::string LocalDate() {
  std::time_t now = std::time(nullptr);
  const std::tm local = Platform::LocalTime(now);
  char buffer[16] = {};
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d", &local);
  return buffer;
}

}  // namespace

void SetLastDriverCommand(const std::string& name) { Shared().lastDriverCommand = name; }
const std::string& LastDriverCommand() { return Shared().lastDriverCommand; }
void SetProtocolVersionTag(const std::string& value) { Shared().protocolVersionTag = value; }
void SetSerialNumberTag(const std::string& value) { Shared().serialNumberTag = value; }
const std::string& ProtocolVersionTag() { return Shared().protocolVersionTag; }
const std::string& SerialNumberTag() { return Shared().serialNumberTag; }

void ClearTags() {
  Shared().protocolVersionTag.clear();
  Shared().serialNumberTag.clear();
}

void AddRecord(const std::string& text, ErrorCase ecase) {
  auto& state = Shared();
  if (state.lastDriverCommand.empty()) return;
  boost::property_tree::ptree record;
  record.put("command", state.lastDriverCommand);
  record.put("ecase", ToString(ecase));
  auto input = text.find("input");
  if (input != std::string::npos) {
    auto begin = input + 5;
    auto end = text.find("output", begin);
    record.add_child("input-params", CollectGroups(text.substr(begin, end == std::string::npos ? end : end - begin)));
  }
  auto output = text.find("output");
  if (output != std::string::npos) record.add_child("output-params", CollectGroups(text.substr(output + 6)));
  state.tree.push_back({"", record});
  state.lastDriverCommand.clear();
}

void AddInputRecord(const std::string& command, ErrorCase ecase, const std::string& type, const std::string& value) {
  boost::property_tree::ptree record;
  record.put("command", command);
  record.put("ecase", ToString(ecase));
  boost::property_tree::ptree element;
  element.put("type", type);
  element.put("value", value);
  boost::property_tree::ptree params;
  params.push_back({"", element});
  record.add_child("input-params", params);
  Shared().tree.push_back({"", record});
}

const boost::property_tree::ptree& Tree() { return Shared().tree; }

void Reset() { Shared() = State{}; }

std::string SafeTag(const std::string& tag) {
  std::string safe = tag;
  for (char& c : safe) {
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    bool digit = c >= '0' && c <= '9';
    if (!letter && !digit && c != '-' && c != '_' && c != '.') c = '_';
  }
  for (auto dots = safe.find(".."); dots != std::string::npos; dots = safe.find("..")) safe.replace(dots, 2, "_");
  return safe;
}

std::string ResultsFileName(const std::string& date) {
  std::string name = "benchtap-results-" + date;
  if (!ProtocolVersionTag().empty()) name += "-" + SafeTag(ProtocolVersionTag());
  if (!SerialNumberTag().empty()) name += "-" + SafeTag(SerialNumberTag());
  return name + ".json";
}

std::string ResultsFolder(const std::string& loggingPath) {
  std::string path = loggingPath;
  TrimTrailingSeparators(path);
  std::string parent;
  auto separator = path.find_last_of("/\\");
  if (separator != std::string::npos) {
    parent = path.substr(0, separator == 0 ? 1 : separator);
    TrimTrailingSeparators(parent);
  }
  return Platform::JoinPath(parent, "json-results");
}

std::string PrepareResultsFile(ErrorCase& ecase, const Wrapper::Library& library) {
  std::string loggingPath;
  ecase = library.GetLoggingPath(loggingPath);
  boost::filesystem::path folder(ResultsFolder(loggingPath));
  if (!boost::filesystem::exists(folder)) boost::filesystem::create_directory(folder);
  auto file = (folder / ResultsFileName(LocalDate())).string();
  if (!boost::filesystem::exists(file)) {
    std::ofstream created(file);
    if (created) {
      std::cout << "Created empty JSON file at: " << Quoted(file) << std::endl;
    } else {
      std::cerr << "Failed to create JSON file." << std::endl;
    }
  }
  return file;
}

void WriteResults(const std::string& path, ErrorCase&) {
  boost::property_tree::ptree root;
  root.add_child("benchtap-results", Tree());
  std::ofstream file(path, std::ios::out | std::ios::trunc);
  if (!file) {
    std::cerr << "Failed to write JSON data to file." << std::endl;
    return;
  }
  boost::property_tree::write_json(file, root, true);
  file.flush();
  if (!file) {
    std::cerr << "Failed to write JSON data to file." << std::endl;
    return;
  }
  std::cout << "JSON data saved to: " << Quoted(path) << std::endl;
}

std::string Quoted(const std::string& path) {
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace Korvalt::Ponderix::Benchtap::Results
