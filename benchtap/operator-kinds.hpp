// Script entries of the operator commands: builders registered in the script reader's table of
// command kinds.
#pragma once

#include <memory>
#include <vector>

#include "benchtap/operator-dialogs.hpp"
#include "benchtap/script-file.hpp"
#include "benchtap/weight-display.hpp"

namespace Korvalt::Ponderix::Benchtap {

std::unique_ptr<ICommand> BuildDialog(const Ptree& entry, ScriptReader& reader, ErrorCase& ecase);
std::unique_ptr<ICommand> BuildDialogPress(const Ptree& entry, ScriptReader& reader, ErrorCase& ecase);
std::unique_ptr<ICommand> BuildButtonClickTracking(const Ptree& entry, ScriptReader& reader, ErrorCase& ecase);
std::unique_ptr<ICommand> BuildMessenger(const Ptree& entry, ScriptReader& reader, ErrorCase& ecase);
std::unique_ptr<ICommand> BuildUniqueSerialNumber(const Ptree& entry, ScriptReader& reader, ErrorCase& ecase);
std::unique_ptr<ICommand> BuildDisplayWeightUntillPress(const Ptree& entry, ScriptReader& reader, ErrorCase& ecase);

// A dialog's inputs must differ: the first repeated one prints "CheckOptionList: the input keys
// should not be repeated [ <input> ]." and sets IncorrectArgumnts.
void CheckOptionList(const std::vector<CLIDialog::Option>& options, ErrorCase& ecase);

// The display named by an "executable" object's "protocol".
std::unique_ptr<DisplayWeight> CLITCBCreateDisplayWeight(const Ptree& node);

}  // namespace Korvalt::Ponderix::Benchtap
