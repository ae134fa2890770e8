// Commands that change a running scale, from scalesim's standard input (--control) or a scenario
// file (--scenario), one per line:
//   KEY=VALUE               any setting of --set (weight=1250, stable=0, overload=1, ...)
//   place WEIGHT [SETTLE_MS] a load: the net weight becomes WEIGHT (as weight= takes it); the
//                           scale swings ("unstable") for SETTLE_MS [ms] (default 0), then settles
//   remove [SETTLE_MS]      every load taken off: gross 0, so net minus the tare; settles likewise
//   sleep MS                the next line waits MS [ms]
// Blank lines and lines starting with '#' do nothing.
#pragma once

#include <chrono>
#include <string>

#include "simulator/responders.hpp"

namespace Scalesim {

struct ControlOutcome {
  std::string error;                  // empty when the line was applied
  std::chrono::milliseconds pause{0};  // "sleep": how long the next line waits
};

ControlOutcome ApplyControlLine(ScaleState& state, const std::string& line);

}  // namespace Scalesim
