// Every executor the factory makes: its request from arbitrary input values, its validators and
// its parser on an arbitrary reply. Input: command byte, a value text, 0x00, a reply.
#include <cstdint>
#include <exception>
#include <memory>

#include "driver/device/device.hpp"
#include "driver/protocols/command-executor-by-communicator.hpp"
#include "driver/protocols/command-executor.hpp"
#include "fuzz/fuzz-support.hpp"

using namespace Korvalt::Ponderix::Driver;

namespace {
constexpr int kLastCommand = static_cast<int>(Command::OKASpecifyTare);
constexpr int kLastParamType = static_cast<int>(ParamType::Cell);
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzSupport::PrivateAppData();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Device device;
  if (size == 0) return 0;
  const auto command = static_cast<Command>(data[0] % (kLastCommand + 1));
  const auto parts = FuzzSupport::Split(data + 1, size - 1, 2);
  const ByteVector reply(parts[1].begin(), parts[1].end());
  for (int type = 1; type <= kLastParamType; ++type) device.SetParam(static_cast<ParamType>(type), parts[0]);

  ErrorCase code = ErrorCase::Correct;
  auto executor = CreateExecutor(command, code);
  auto* byCommunicator = dynamic_cast<CommandExecutorByCommunicator*>(executor.get());
  if (byCommunicator == nullptr) return 0;
  // Thrown errors end at the exports' boundary as UnknownExceptionWasCaught: not a crash.
  try {
    code = ErrorCase::Correct;
    byCommunicator->MakeRequest(device, code);
  } catch (const std::exception&) {
  }
  try {
    for (const auto& validator : byCommunicator->GetResponseValidators()) {
      if (validator) validator(reply);
    }
    code = ErrorCase::Correct;
    auto values = byCommunicator->ParseResponse(device, reply, code);
    if (code != ErrorCase::Correct && !values.empty()) FuzzSupport::Fail("values with a failure");
  } catch (const std::exception&) {
  }
  return 0;
}
