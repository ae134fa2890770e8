// The names of the driver's enumerations as this program prints and reads them (the library's
// vocabulary, with this program's own spellings where they differ), and the parameter list of
// each command.
#pragma once

#include <string>
#include <vector>

#include "benchtap/driver-interface.hpp"

namespace Korvalt::Ponderix::Benchtap {

// Throws std::logic_error "Func ToString(ErrorCase ecase), ecase is not valid." for a number
// outside the table. Code 36 is spelled "LogicDeviceJSONerror" in this program's table.
std::string ToString(ErrorCase ecase);
// Throws "Func ToString(ParamType value), value is not valid.".
std::string ToString(ParamType value);
// Throws "Func ToString(Command value), value is not valid.".
std::string ToString(Command value);

// Exact, case-sensitive look-ups of the names a script may use (the commands up to SpecifyTare,
// not the protocol-specific ones); unknown names throw std::logic_error
// "Func StringToEnumCommand(strvalue: <name>), strvalue is not valid." (ParamType alike).
Command StringToEnumCommand(const std::string& name);
ParamType StringToEnumParamType(const std::string& name);
bool IsCommandName(const std::string& name);

// Parameters a command reads or writes, in order; throws
// "Func ToParamTypeVector(Command value), value is not valid." for a command without an entry.
const std::vector<ParamType>& ToParamTypeVector(Command command);

}  // namespace Korvalt::Ponderix::Benchtap
