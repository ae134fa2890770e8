// The reference pages that are printed from the library's own tables: the commands (number,
// name, protocols, inputs, outputs) and the result codes (number, name, English text, what a
// caller does about it). docs/commands.md and docs/result-codes.md are this program's output.
#pragma once

#include <string>
#include <vector>

#include "driver/api/driver-types.hpp"

namespace Korvalt::Ponderix::Reference {

// The protocol names a logic device's Protocol setting takes besides "auto", in the order the
// pages list them.
const std::vector<std::string>& ProtocolNames();

// Protocols with which `command` can be executed (after the generic weighing commands were
// replaced by the protocol's own).
std::vector<std::string> ProtocolsOf(Driver::Command command);

// One Markdown table row; '|' inside a cell is escaped, line breaks become blanks.
std::string MarkdownRow(const std::vector<std::string>& cells);

std::string CommandsPage();
std::string ResultCodesPage();

}  // namespace Korvalt::Ponderix::Reference
