// Windows: the COM ports of HARDWARE\DEVICEMAP\SERIALCOMM, described by SetupAPI's Ports class
// (port name, device instance id with the USB ids, friendly name, manufacturer). A port is
// exclusive by its share mode already; the holder of a busy port is not told by the system.
#include "platform/serial-ports.hpp"

#include "platform/windows-text.hpp"

#include <setupapi.h>

#include <algorithm>
#include <cwctype>

namespace Korvalt::Ponderix::Platform {
namespace {

// The Ports (COM and LPT) device setup class.
const GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), length, nullptr, nullptr);
  return out;
}

// A REG_SZ value's characters up to its first NUL (the stored value may or may not carry one).
std::wstring FromRegistry(const wchar_t* data, DWORD bytes) {
  std::wstring text(data, bytes / sizeof(wchar_t));
  const auto nul = text.find(L'\0');
  return nul == std::wstring::npos ? text : text.substr(0, nul);
}

std::string RegistryString(HKEY key, const wchar_t* name) {
  wchar_t data[256];
  DWORD bytes = sizeof data;
  DWORD type = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return {};
  }
  return Utf8(FromRegistry(data, bytes));
}

std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  wchar_t data[512];
  DWORD type = 0;
  if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, reinterpret_cast<BYTE*>(data), sizeof data,
                                         nullptr) ||
      type != REG_SZ) {
    return {};
  }
  return Utf8(FromRegistry(data, sizeof data));
}

class SystemPortSource : public WindowsPortSource {
 public:
  std::vector<std::string> SerialCommNames() override {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return names;
    }
    for (DWORD index = 0;; ++index) {
      wchar_t valueName[256];
      DWORD nameLength = 256;
      wchar_t data[256];
      DWORD bytes = sizeof data;
      DWORD type = 0;
      const LONG rc = RegEnumValueW(key, index, valueName, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data),
                                    &bytes);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      if (rc == ERROR_SUCCESS && type == REG_SZ) names.push_back(Utf8(FromRegistry(data, bytes)));
    }
    RegCloseKey(key);
    return names;
  }

  std::vector<WindowsPortDevice> PortDevices() override {
    std::vector<WindowsPortDevice> devices;
    HDEVINFO set = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return devices;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
      WindowsPortDevice port;
      HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
      if (key != reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE)) {
        port.portName = RegistryString(key, L"PortName");
        RegCloseKey(key);
      }
      wchar_t instance[512];
      if (SetupDiGetDeviceInstanceIdW(set, &device, instance, 512, nullptr)) port.instanceId = Utf8(instance);
      port.friendlyName = DeviceProperty(set, device, SPDRP_FRIENDLYNAME);
      port.manufacturer = DeviceProperty(set, device, SPDRP_MFG);
      if (!port.portName.empty()) devices.push_back(port);
    }
    SetupDiDestroyDeviceInfoList(set);
    return devices;
  }

  PortAccess Access(const std::string& portName) override {
    const std::wstring path = L"\\\\.\\" + WideFromAnsi(portName);
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? PortAccess::Busy : PortAccess::Free;
    }
    CloseHandle(handle);
    return PortAccess::Free;
  }
};

// "COM3" of "\\.\COM3" and "COM3".
std::string BareName(const std::string& name) { return name.rfind("\\\\.\\", 0) == 0 ? name.substr(4) : name; }

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::towupper(static_cast<unsigned char>(x)) == std::towupper(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts() {
  SystemPortSource source;
  return ListSerialPorts(source);
}

DeviceIdentity IdentifyPort(const std::string& name) {
  SystemPortSource source;
  const std::string bare = BareName(name);
  for (const auto& device : source.PortDevices()) {
    if (SameName(device.portName, bare)) return IdentifyWindowsPort(device);
  }
  for (const auto& listed : source.SerialCommNames()) {
    if (SameName(listed, bare)) return {"port " + bare};
  }
  return {};
}

DeviceIdentity IdentifyLine(LineHandle, const std::string& name) { return IdentifyPort(name); }

PortAccess CheckPortAccess(const std::string& name) {
  SystemPortSource source;
  return source.Access(BareName(name));
}

bool ClaimLine(LineHandle) { return true; }
void ReleaseLine(LineHandle) {}
std::vector<PortHolder> FindPortHolders(const std::string&) { return {}; }
std::string AccessAdvice(const std::string&) { return {}; }

std::vector<SerialPortInfo> ListSerialPorts(const SysfsRoots&) { return {}; }
DeviceIdentity IdentifyCharDevice(unsigned, unsigned, const SysfsRoots&) { return {}; }

}  // namespace Korvalt::Ponderix::Platform
