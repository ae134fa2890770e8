// The logic-device store: loading an arbitrary file, and a write-then-reload round trip of
// whatever the store accepted. Input: the file, 0x00, a setting's value.
#include <algorithm>
#include <cstdint>

#include "driver/logic-devices/logic-devices.hpp"
#include "fuzz/fuzz-support.hpp"

using namespace Korvalt::Ponderix::Driver;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzSupport::PrivateAppData();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto parts = FuzzSupport::Split(data, size, 2);
  static const std::string path = [] {
    LogicDeviceManager made;  // makes the folder
    return made.JsonPath();
  }();
  FuzzSupport::WriteFile(path, parts[0]);
  try {
    LogicDeviceManager store;
    ErrorCase result = ErrorCase::Correct;
    const auto ids = store.GetAllSortedID(result);
    if (result != ErrorCase::Correct) FuzzSupport::Fail("a loaded store cannot list its devices");
    if (ids.empty()) return 0;
    store.SetLogicDeviceParam(ids.front(), LogicDeviceParamType::Name, parts[1], result);
    if (result == ErrorCase::Correct) {
      LogicDeviceManager reloaded;
      ErrorCase again = ErrorCase::Correct;
      const auto name = reloaded.GetLogicDeviceParam(ids.front(), LogicDeviceParamType::Name, again);
      const bool empty = again == ErrorCase::ParamTypeIsNotSetToGet && parts[1].empty();
      if (!empty && (again != ErrorCase::Correct || name != parts[1])) FuzzSupport::Fail("the name did not read back");
    } else if (result != ErrorCase::ParamValueUnsupported) {
      FuzzSupport::Fail("setting a name failed for another reason");
    }
    result = ErrorCase::Correct;
    const int added = store.AddLogicDevice(result);
    LogicDeviceManager reloaded;
    ErrorCase again = ErrorCase::Correct;
    const auto after = reloaded.GetAllSortedID(again);
    if (again != ErrorCase::Correct) FuzzSupport::Fail("the store does not read back after a change");
    if (result == ErrorCase::Correct && std::find(after.begin(), after.end(), added) == after.end()) {
      FuzzSupport::Fail("an added device is missing after reloading");
    }
  } catch (const LogicDeviceStoreError&) {
    // Refused: the file must be as it was.
    if (FuzzSupport::ReadFile(path) != parts[0]) FuzzSupport::Fail("a refused store file was changed");
  }
  return 0;
}
