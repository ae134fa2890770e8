#include "benchtap/script-file.hpp"

#include <cctype>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include <boost/filesystem.hpp>
#include <boost/property_tree/json_parser.hpp>

#include "benchtap/command-list.hpp"
#include "benchtap/names.hpp"
#include "benchtap/operator-kinds.hpp"
#include "common/json-nesting.hpp"

namespace Korvalt::Ponderix::Benchtap {
namespace {

// Values the scale expects at a fixed width: texts are padded with spaces on the right, numbers
// with zeros on the left. Longer values are sent as written.
std::string AdjustWidth(ParamType type, std::string value) {
  switch (type) {
    case ParamType::ScalesModel:
      if (value.size() < 8) value.append(8 - value.size(), ' ');
      break;
    case ParamType::FirmwareVersion1:
      if (value.size() < 6) value.append(6 - value.size(), ' ');
      break;
    case ParamType::MaxWeight:
    case ParamType::WeightCalibration:
      if (value.size() < 4) value.insert(0, 4 - value.size(), '0');
      break;
    default:
      break;
  }
  return value;
}

std::unique_ptr<ICommand> BuildDriverCommand(const Ptree& entry, const std::string& name, ScriptReader& reader,
                                             ErrorCase& ecase) {
  Command command = StringToEnumCommand(name);
  DriverCommand::Params inputs;
  DriverCommand::Params outputs;
  if (auto list = entry.get_child_optional("input-params")) {
    int position = 0;
    for (const auto& [key, element] : *list) {
      ++position;
      auto typeText = element.get_optional<std::string>("type");
      auto value = element.get<std::string>("value");
      ParamType type = ParamType::Unset;
      if (typeText) {
        type = StringToEnumParamType(NormaliseName(*typeText));
      } else {
        const auto& params = ToParamTypeVector(command);
        if (params.empty()) {
          reader.Refuse("input-params #" + std::to_string(position) + " has no \"type\", and the command " + name +
                            " takes no parameter to give it one",
                        ErrorCase::IncorrectArgumnts, ecase);
          return nullptr;
        }
        type = params.front();
      }
      inputs.emplace_back(type, AdjustWidth(type, value));
    }
  }
  if (auto list = entry.get_child_optional("output-params")) {
    for (const auto& [key, element] : *list) {
      outputs.emplace_back(StringToEnumParamType(NormaliseName(element.get<std::string>("type"))), std::string());
    }
  }
  return std::make_unique<DriverCommand>(command, std::move(inputs), std::move(outputs));
}

std::unique_ptr<ICommand> BuildCommandList(const Ptree& entry, ScriptReader& reader, ErrorCase& ecase) {
  CommandList list;
  int position = 0;
  for (const auto& [key, element] : entry.get_child("list")) {
    auto command = reader.BuildNested(element, "list #" + std::to_string(++position), ecase);
    if (ecase != ErrorCase::Correct) return nullptr;
    list.push_back(std::move(command));
  }
  return std::make_unique<CLICommandList>(std::move(list));
}

std::unique_ptr<ICommand> BuildLoopWeight(const Ptree& entry, ScriptReader&, ErrorCase&) {
  int count = ScriptReader::ReadInt(entry, "count");
  int period = ScriptReader::ReadInt(entry, "period");
  return std::make_unique<CLILoopWeight>(count, period);
}

std::unique_ptr<ICommand> BuildDoWhile(const Ptree& entry, ScriptReader& reader, ErrorCase& ecase) {
  auto body = reader.BuildNested(entry.get_child("body"), "body", ecase);
  if (ecase != ErrorCase::Correct) return nullptr;
  auto condition = reader.BuildNested(entry.get_child("condition"), "condition", ecase);
  if (ecase != ErrorCase::Correct) return nullptr;
  return std::make_unique<CLIDoWhile>(std::move(body), std::move(condition));
}

std::unique_ptr<ICommand> BuildErrorCaseHandler(const Ptree& entry, ScriptReader& reader, ErrorCase& ecase) {
  int count = ScriptReader::ReadInt(entry, "count");
  int period = ScriptReader::ReadInt(entry, "period");
  auto executable = reader.BuildNested(entry.get_child("executable"), "executable", ecase);
  if (ecase != ErrorCase::Correct) return nullptr;
  return std::make_unique<CLIErrorCaseHandler>(count, period, std::move(executable));
}

std::unique_ptr<ICommand> BuildHelloWorld(const Ptree&, ScriptReader&, ErrorCase&) {
  return std::make_unique<CLIHelloWorld>();
}

std::string Extension(const std::string& path) {
  auto dot = path.rfind('.');
  return dot == std::string::npos ? path : path.substr(dot + 1);
}

}  // namespace

// ===== Dispatch table: command kind -> builder ================================================
// Kinds are matched exactly as written (only driver command names are normalised).
std::map<std::string, CommandBuilder>& CommandKinds() {
  static std::map<std::string, CommandBuilder> kinds = {
      {"command-list", BuildCommandList},
      {"loop-weight", BuildLoopWeight},
      {"do-while", BuildDoWhile},
      {"error-case-handler", BuildErrorCaseHandler},
      {"hello-world", BuildHelloWorld},
      {"dialog", BuildDialog},
      {"dialog-press", BuildDialogPress},
      {"button-click-tracking", BuildButtonClickTracking},
      {"messenger", BuildMessenger},
      {"unique-serial-number", BuildUniqueSerialNumber},
      {"displey-weight-untill-press", BuildDisplayWeightUntillPress},
  };
  return kinds;
}
// ==============================================================================================

void RegisterCommandKind(const std::string& kind, CommandBuilder builder) {
  CommandKinds()[kind] = std::move(builder);
}

std::string NormaliseName(std::string name) {
  if (name.empty()) return name;
  name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
  for (auto dash = name.find('-'); dash != std::string::npos; dash = name.find('-')) {
    name.erase(dash, 1);
    if (dash < name.size()) name[dash] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[dash])));
  }
  return name;
}

int ScriptReader::ReadInt(const Ptree& entry, const std::string& key) { return entry.get<int>(key); }

std::string ScriptReader::Place() const {
  std::string place;
  for (const auto& step : path_) {
    if (!place.empty()) place += " > ";
    place += step.role;
    if (!step.command.empty()) place += " \"" + step.command + "\"";
  }
  return place;
}

void ScriptReader::Refuse(const std::string& message, ErrorCase code, ErrorCase& ecase) {
  std::cerr << "Script error in " << Place() << ": " << message << std::endl;
  ecase = code;
}

std::unique_ptr<ICommand> ScriptReader::BuildTopLevel(const Ptree& entry, int position, ErrorCase& ecase) {
  return Build(entry, "entry #" + std::to_string(position), ecase);
}

std::unique_ptr<ICommand> ScriptReader::BuildNested(const Ptree& entry, const std::string& role, ErrorCase& ecase) {
  return Build(entry, role, ecase);
}

std::unique_ptr<ICommand> ScriptReader::Build(const Ptree& entry, const std::string& role, ErrorCase& ecase) {
  path_.push_back({role, {}});
  struct PopOnExit {
    std::vector<Step>& path;
    ~PopOnExit() { path.pop_back(); }
  } pop{path_};

  std::unique_ptr<ICommand> command;
  try {
    auto name = entry.get<std::string>("command");
    path_.back().command = name;
    auto normalised = NormaliseName(name);
    if (IsCommandName(normalised)) {
      command = BuildDriverCommand(entry, normalised, *this, ecase);
    } else if (auto kind = CommandKinds().find(name); kind != CommandKinds().end()) {
      command = kind->second(entry, *this, ecase);
    } else {
      Refuse("unknown command \"" + name + "\"", ErrorCase::CommandUnsupported, ecase);
    }
  } catch (const ScriptError&) {
    throw;
  } catch (const std::exception& error) {
    throw ScriptError(std::string(error.what()) + ", in script " + Place());
  }
  if (ecase != ErrorCase::Correct) return std::make_unique<EmptyCommand>();
  if (command == nullptr) throw ScriptError("the entry could not be built, in script " + Place());
  return command;
}

CommandList BuildScript(const Ptree& root, ErrorCase& ecase) {
  CommandList list;
  ScriptReader reader;
  int position = 0;
  for (const auto& [key, entry] : root) {
    auto command = reader.BuildTopLevel(entry, ++position, ecase);
    if (ecase != ErrorCase::Correct) break;
    list.push_back(std::move(command));
  }
  return list;
}

CommandList LoadScript(const std::string& path, ErrorCase& ecase) {
  if (Extension(path) != "json") {
    std::cerr << "Script error: the script file " << path << " must have the extension .json" << std::endl;
    ecase = ErrorCase::JSONAnotherFileExtension;
    return {};
  }
  if (!boost::filesystem::exists(path)) {
    std::cerr << "Script error: the script file " << path << " does not exist" << std::endl;
    ecase = ErrorCase::JSONFileDoesNotExist;
    return {};
  }
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The JSON reader and the builders recurse once per level: a deep file must not reach them.
  if (!Text::JsonNestingWithin(text)) {
    std::cerr << "Script error: the script file " << path << " nests deeper than " << Text::kMaxJsonNesting
              << " levels" << std::endl;
    ecase = ErrorCase::JSONFileParsingProblem;
    return {};
  }
  Ptree root;
  std::istringstream json(text);
  try {
    boost::property_tree::read_json(json, root);
  } catch (const boost::property_tree::json_parser_error& error) {
    throw boost::property_tree::json_parser_error(error.message(), path, error.line());
  }
  return BuildScript(root, ecase);
}

}  // namespace Korvalt::Ponderix::Benchtap
