// The run of Benchtap: command line, script, device, commands, results.
#pragma once

#include <memory>
#include <optional>

#include "benchtap/command.hpp"
#include "benchtap/wrapper.hpp"

namespace Korvalt::Ponderix::Benchtap {

inline constexpr const char* kBenchtapVersion = "1.1.3";

// Reads the command line into the argument map and sets the output type. Messages go to
// standard output; a refusal (including --help) sets CommandLineIncorrectArgument and gives
// nothing. Errors of the option parser itself are thrown.
std::optional<Wrapper::ArgumentMap> ReadCommandLine(int argc, const char* const* argv, ErrorCase& ecase);

class CLIManager {
 public:
  CLIManager() = default;
  CLIManager(const CLIManager&) = delete;
  CLIManager& operator=(const CLIManager&) = delete;
  virtual ~CLIManager() = default;

  // Reads the command line, loads the script, creates and opens the device, runs the script,
  // writes the results and deletes the run's logic device. Throws std::runtime_error
  // "CLIManager::ExecuteCLArgs(), ErrorCase: <name>" when a step fails.
  void ExecuteCLArgs(int argc, const char* const* argv);

 private:
  CommandList commands_;
  std::unique_ptr<Wrapper::Device> device_;
};

// The whole program; returns the exit status.
int RunBenchtap(int argc, const char* const* argv);

}  // namespace Korvalt::Ponderix::Benchtap
