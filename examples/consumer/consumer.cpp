// Reads the weight of one scale a few times through the Ponderix driver library.
//
//   ponderix-consumer "Serial Port" /dev/ttyUSB0 [protocol]
//   ponderix-consumer TCP 10.0.0.5:4001 [protocol]
//
// The protocol defaults to "auto" (the library finds it when the device opens). PONDERIX_DRIVER
// names another library file to load.
#include <dlfcn.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include <ponderix/driver-types.hpp>

namespace driver = Korvalt::Ponderix::Driver;
using driver::ErrorCase;

namespace {

void* g_library = nullptr;

// Binds one export by name; the Fn types of driver-types.hpp give each its signature.
template <typename Fn>
Fn Bind(const char* name) {
  auto function = reinterpret_cast<Fn>(dlsym(g_library, name));
  if (function == nullptr) {
    std::cerr << "libdriver has no export " << name << "\n";
    std::exit(1);
  }
  return function;
}

// The English text of a result code, "Correct" as "OK".
std::string Describe(ErrorCase ecase) {
  static auto describe = Bind<driver::GetErrorCaseDescriptionFn>("get_error_case_description");
  std::wstring text;
  if (describe(ecase, driver::kLanguageEnglish, text) != ErrorCase::Correct) return "unknown result code";
  return std::string(text.begin(), text.end());  // the English texts are ASCII
}

bool Check(ErrorCase ecase, const char* step) {
  if (ecase == ErrorCase::Correct) return true;
  std::cerr << step << ": " << static_cast<int>(ecase) << " " << Describe(ecase) << "\n";
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: ponderix-consumer \"Serial Port\"|TCP END-POINT [PROTOCOL]\n";
    return 2;
  }
  const std::string connectionType = argv[1];
  const std::string endPoint = argv[2];
  const std::string protocol = argc > 3 ? argv[3] : "auto";

  const char* path = std::getenv("PONDERIX_DRIVER");
  g_library = dlopen(path ? path : PONDERIX_DRIVER_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  if (g_library == nullptr) {
    std::cerr << dlerror() << "\n";
    return 1;
  }
  auto create = Bind<driver::CreateFn>("create");
  auto destroy = Bind<driver::DestroyFn>("destroy");
  auto open = Bind<driver::OpenFn>("open");
  auto close = Bind<driver::CloseFn>("close");
  auto addLogicDevice = Bind<driver::AddLogicDeviceFn>("add_logic_device");
  auto deleteLogicDevice = Bind<driver::DeleteLogicDeviceFn>("delete_logic_device");
  auto setLogicDeviceParam = Bind<driver::SetLogicDeviceParamFn>("set_logic_device_param");
  auto executeCommand = Bind<driver::ExecuteCommandFn>("execute_command");
  auto getParam = Bind<driver::GetParamFn>("get_param");
  auto getProtocol = Bind<driver::GetProtocolFn>("get_protocol");

  driver::DeviceHandle handle = nullptr;
  if (!Check(create(handle), "create")) return 1;

  // A logic device of its own, so the user's saved connections stay as they were.
  int id = 0;
  bool ok = Check(addLogicDevice(handle, id), "add_logic_device");
  using P = driver::LogicDeviceParamType;
  for (const auto& [type, value] : {std::pair<P, std::string>{P::Name, "ponderix-consumer"},
                                    {P::ConnectionType, connectionType},
                                    {P::EndPoint, endPoint},
                                    {P::BaudRate, "9600"},
                                    {P::Model, "auto"},
                                    {P::Protocol, protocol}}) {
    ok = ok && Check(setLogicDeviceParam(handle, id, type, value), "set_logic_device_param");
  }
  ok = ok && Check(open(handle, id), "open");

  if (ok) {
    std::string name;
    getProtocol(handle, name);
    std::cout << "protocol " << name << "\n";
    // StatusOfWeightChannel becomes the protocol's own status command inside the library.
    const driver::Command status = driver::Command::StatusOfWeightChannel;
    for (int reading = 1; ok && reading <= 3; ++reading) {
      std::string weight, state, unit;
      ok = Check(executeCommand(handle, status), "execute_command") &&
           Check(getParam(handle, driver::ParamType::Weight, weight), "get_param Weight") &&
           Check(getParam(handle, driver::ParamType::WeightState, state), "get_param WeightState");
      getParam(handle, driver::ParamType::UnitOfMeasure, unit);  // OKA names no unit: kilograms
      if (ok) std::cout << "weight " << weight << " " << (unit.empty() ? "kg" : unit) << " state " << state << "\n";
    }
    Check(close(handle), "close");
  }
  if (id > 0) Check(deleteLogicDevice(handle, id), "delete_logic_device");
  Check(destroy(handle), "destroy");
  dlclose(g_library);
  return ok ? 0 : 1;
}
