// Reading a JSON script into a list of commands.
//
// Each entry's "command" text is either a driver command name (normalised: get-max-weight,
// getMaxWeight and GetMaxWeight are the same) or one of the program's own command kinds, which
// are looked up in the dispatch table CommandKinds(): kind name -> builder.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/property_tree/ptree.hpp>

#include "benchtap/command.hpp"

namespace Korvalt::Ponderix::Benchtap {

using Ptree = boost::property_tree::ptree;

// Thrown for every error met while reading an entry; the text names the entry (its place in the
// file and its "command" text) after the underlying error's own text.
class ScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ScriptReader;

// Builds one program command from its entry. A builder that refuses the entry calls
// reader.Refuse(...) (which sets `ecase`) and returns an EmptyCommand or nothing; thrown errors
// are caught by the reader, which adds the entry's place to their text.
using CommandBuilder =
    std::function<std::unique_ptr<ICommand>(const Ptree& entry, ScriptReader& reader, ErrorCase& ecase)>;

// ===== Dispatch table: command kind (exact "command" text) -> builder ==========================
// Filled in script-file.cpp; RegisterCommandKind adds or replaces one row.
std::map<std::string, CommandBuilder>& CommandKinds();
void RegisterCommandKind(const std::string& kind, CommandBuilder builder);

class ScriptReader {
 public:
  // Builds a nested entry found under `role` of the current entry (for example "executable",
  // "body", "list #2", "options #1 executable"); errors name the whole path to it.
  std::unique_ptr<ICommand> BuildNested(const Ptree& entry, const std::string& role, ErrorCase& ecase);
  // Builds a top-level entry; `position` counts from 1.
  std::unique_ptr<ICommand> BuildTopLevel(const Ptree& entry, int position, ErrorCase& ecase);

  // Refuses the current entry: prints "Script error in <place>: <message>" on standard error and
  // sets `ecase` to `code`.
  void Refuse(const std::string& message, ErrorCase code, ErrorCase& ecase);
  // "entry #3 "do-while" > body "command-list" > list #1 "get-max-weight"".
  std::string Place() const;

  // Required 32-bit signed integer under `key` (the tree's own conversion and errors).
  static int ReadInt(const Ptree& entry, const std::string& key);

 private:
  std::unique_ptr<ICommand> Build(const Ptree& entry, const std::string& role, ErrorCase& ecase);

  struct Step {
    std::string role;
    std::string command;
  };
  std::vector<Step> path_;
};

// First character upper-cased, then each '-' removed and the character after it upper-cased.
std::string NormaliseName(std::string name);

// Loads the script at `path`. A path whose extension is not exactly "json" gives
// JSONAnotherFileExtension, a missing file JSONFileDoesNotExist; reading stops at the first entry
// that sets a non-zero code (the list is then incomplete and must not be run).
CommandList LoadScript(const std::string& path, ErrorCase& ecase);
// Builds the commands of an already parsed script.
CommandList BuildScript(const Ptree& root, ErrorCase& ecase);

}  // namespace Korvalt::Ponderix::Benchtap
