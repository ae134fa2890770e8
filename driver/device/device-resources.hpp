// Per-device store of input and output parameter values.
#pragma once

#include <map>
#include <string>

#include "driver/api/driver-types.hpp"

namespace Korvalt::Ponderix::Driver {

class Parameters {
 public:
  void SetParamInput(ParamType type, const std::string& value);
  void SetParamOutput(ParamType type, const std::string& value);
  // The slot reads as not set until an output is stored again; its input stays.
  void ClearParamOutput(ParamType type);
  // An empty slot counts as not set: ParamTypeIsNotSetToGet and the empty text. `result` is
  // left alone on success.
  std::string GetParamInput(ParamType type, ErrorCase& result) const;
  std::string GetParamOutput(ParamType type, ErrorCase& result) const;

 private:
  struct Entry {
    std::string input;
    std::string output;
  };
  std::map<ParamType, Entry> entries_;
};

}  // namespace Korvalt::Ponderix::Driver
