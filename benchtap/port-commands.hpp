// Benchtap's answers to "which port is the scale on": --list-ports prints the machine's serial
// ports, --discover [PATTERN ...] the protocol found on each. Neither reads a script, touches
// the store of logic devices or writes results.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "benchtap/wrapper.hpp"

namespace Korvalt::Ponderix::Benchtap {

// Whether the command line asks for --list-ports or --discover.
bool AsksForPorts(int argc, const char* const* argv);

// Runs --list-ports and/or --discover [PATTERN ...] [--timeout MS] with the library's
// pdx_list_ports and pdx_discover; prints the tables to `out`. Returns the exit status: 0 when
// the tables were printed, 1 when the library lacks the functions or a call failed, 2 for a
// command line it cannot read.
int RunPortCommands(int argc, const char* const* argv, const Wrapper::Library& library, std::ostream& out);

// A tab-separated table under `headings`, in aligned columns; empty fields read "-".
std::string AlignTable(const std::vector<std::string>& headings, const std::string& table);

}  // namespace Korvalt::Ponderix::Benchtap
