// Each protocol family builds the executors of its own commands; nullptr for any other command.
// CreateExecutor asks the families in turn.
#pragma once

#include <memory>

#include "driver/protocols/command-executor.hpp"

namespace Korvalt::Ponderix::Driver {

std::unique_ptr<ICommandExecutor> CreateNativeExecutor(Command command);  // native-protocol.cpp
std::unique_ptr<ICommandExecutor> CreatePOSExecutor(Command command);     // pos-protocol.cpp
std::unique_ptr<ICommandExecutor> CreateCASExecutor(Command command);     // cas-protocol.cpp
std::unique_ptr<ICommandExecutor> CreateOKAExecutor(Command command);     // oka-protocol.cpp
std::unique_ptr<ICommandExecutor> CreateAutoExecutor(Command command);    // auto-detection.cpp

}  // namespace Korvalt::Ponderix::Driver
