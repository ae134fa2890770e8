// The number of files and sockets a process may hold open at once.
#pragma once

namespace Korvalt::Ponderix::Platform {

// Raises the soft limit of open descriptors to the hard limit and returns the limit in force
// afterwards (the old one when raising was refused); 0 where the system has no such limit
// (Windows: sockets and handles are bounded by memory alone).
long RaiseDescriptorLimit();

}  // namespace Korvalt::Ponderix::Platform
