#include "benchtap/operator-kinds.hpp"

#include <iostream>
#include <set>
#include <string>
#include <utility>

namespace Korvalt::Ponderix::Benchtap {
namespace {

std::string OptionRole(int position, const char* what) {
  return "options #" + std::to_string(position) + " " + what;
}

// (name, <key>) of every option, in script order.
std::vector<std::pair<std::string, std::string>> NamesAnd(const Ptree& entry, const std::string& key) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const auto& [unused, option] : entry.get_child("options")) {
    pairs.emplace_back(option.get<std::string>("name"), option.get<std::string>(key));
  }
  return pairs;
}

}  // namespace

void CheckOptionList(const std::vector<CLIDialog::Option>& options, ErrorCase& ecase) {
  std::set<std::string> inputs;
  for (const auto& option : options) {
    if (!inputs.insert(option.input).second) {
      std::cout << "CheckOptionList: the input keys should not be repeated [ " << option.input << " ]." << std::endl;
      ecase = ErrorCase::IncorrectArgumnts;
      return;
    }
  }
}

std::unique_ptr<ICommand> BuildDialog(const Ptree& entry, ScriptReader& reader, ErrorCase& ecase) {
  auto message = entry.get<std::string>("message");
  std::vector<CLIDialog::Option> options;
  int position = 0;
  for (const auto& [unused, element] : entry.get_child("options")) {
    ++position;
    CLIDialog::Option option{element.get<std::string>("name"), element.get<std::string>("input"), nullptr};
    if (auto executable = element.get_child_optional("executable")) {
      option.executable = reader.BuildNested(*executable, OptionRole(position, "executable"), ecase);
      if (ecase != ErrorCase::Correct) return nullptr;
    }
    options.push_back(std::move(option));
  }
  CheckOptionList(options, ecase);
  if (ecase != ErrorCase::Correct) {
    reader.Refuse("two options share one input", ecase, ecase);
    return nullptr;
  }
  return std::make_unique<CLIDialog>(std::move(message), std::move(options));
}

std::unique_ptr<ICommand> BuildDialogPress(const Ptree& entry, ScriptReader& reader, ErrorCase& ecase) {
  std::vector<CLIDialogPress::Option> options;
  int position = 0;
  for (const auto& [unused, element] : entry.get_child("options")) {
    ++position;
    CLIDialogPress::Option option{element.get<std::string>("name"), element.get<std::string>("press"), nullptr};
    if (auto executable = element.get_child_optional("executable")) {
      option.executable = reader.BuildNested(*executable, OptionRole(position, "executable"), ecase);
      if (ecase != ErrorCase::Correct) return nullptr;
    }
    options.push_back(std::move(option));
  }
  return std::make_unique<CLIDialogPress>(std::move(options));
}

std::unique_ptr<ICommand> BuildButtonClickTracking(const Ptree& entry, ScriptReader&, ErrorCase&) {
  return std::make_unique<CLIButtonClickTracking>(NamesAnd(entry, "press"));
}

std::unique_ptr<ICommand> BuildMessenger(const Ptree& entry, ScriptReader& reader, ErrorCase& ecase) {
  auto before = entry.get<std::string>("message.before");
  auto after = entry.get<std::string>("message.after");
  auto executable = reader.BuildNested(entry.get_child("executable"), "executable", ecase);
  if (ecase != ErrorCase::Correct) return nullptr;
  return std::make_unique<CLIMessenger>(std::move(before), std::move(after), std::move(executable));
}

std::unique_ptr<ICommand> BuildUniqueSerialNumber(const Ptree& entry, ScriptReader&, ErrorCase&) {
  return std::make_unique<CLIUniqueSerialNumber>(entry.get<std::string>("value"));
}

std::unique_ptr<DisplayWeight> CLITCBCreateDisplayWeight(const Ptree& node) {
  return CreateDisplayWeight(node.get<std::string>("protocol"), std::cout);
}

std::unique_ptr<ICommand> BuildDisplayWeightUntillPress(const Ptree& entry, ScriptReader&, ErrorCase&) {
  auto display = CLITCBCreateDisplayWeight(entry.get_child("executable"));
  auto options = NamesAnd(entry, "input");
  const int period = ScriptReader::ReadInt(entry, "period");
  return std::make_unique<CLIDisplayWeightUntillClick>(std::move(display), options, period);
}

}  // namespace Korvalt::Ponderix::Benchtap
