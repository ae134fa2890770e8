// Ctrl-C or a termination request during a run: the logic device the run added is deleted before
// the process ends (with status 128 + the signal number).
#pragma once

namespace Korvalt::Ponderix::Benchtap {

// Installs the handlers once; later calls do nothing.
void EndRunsCleanlyOnInterrupt();

}  // namespace Korvalt::Ponderix::Benchtap
