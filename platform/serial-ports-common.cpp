// The parts of the port listing that need no system call: names of the access states, the
// description of holders, and the Windows listing from its source (tested on every platform).
#include <algorithm>
#include <cctype>
#include <map>

#include "platform/serial-ports.hpp"

namespace Korvalt::Ponderix::Platform {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool IsHex4(const std::string& text) {
  return text.size() == 4 && std::all_of(text.begin(), text.end(), [](char c) {
           return std::isxdigit(static_cast<unsigned char>(c)) != 0;
         });
}

// The four digits after `key` ("VID_") in `text`, lower case; empty when absent.
std::string IdAfter(const std::string& text, const std::string& key) {
  const auto at = Upper(text).find(key);
  if (at == std::string::npos) return {};
  const std::string digits = text.substr(at + key.size(), 4);
  return IsHex4(digits) ? Lower(digits) : std::string();
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const auto end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

// Windows buses by the device's enumerator; USB serial drivers with their own enumerator
// (FTDIBUS) name the USB ids in the instance id and count as USB.
std::string BusOfEnumerator(const std::string& enumerator, bool hasUsbIds) {
  static const std::map<std::string, std::string> kBuses = {
      {"USB", "usb"},      {"FTDIBUS", "usb"},      {"PCI", "pci"},         {"ACPI", "platform"},
      {"ISAPNP", "platform"}, {"BTHENUM", "bluetooth"}, {"BTHMODEM", "bluetooth"}, {"ROOT", "virtual"},
  };
  const auto found = kBuses.find(Upper(enumerator));
  if (found != kBuses.end()) return found->second;
  return hasUsbIds ? "usb" : "virtual";
}

}  // namespace

const char* PortAccessName(PortAccess access) {
  switch (access) {
    case PortAccess::Busy:
      return "busy";
    case PortAccess::Denied:
      return "denied";
    case PortAccess::Free:
      break;
  }
  return "free";
}

std::string DescribeHolders(const std::vector<PortHolder>& holders) {
  auto describe = [](const std::vector<PortHolder>& some) {
    std::string text = some.size() == 1 ? "process " : "processes ";
    for (std::size_t i = 0; i < some.size(); ++i) {
      if (i > 0) text += ", ";
      text += std::to_string(some[i].pid) + " (" + (some[i].program.empty() ? "?" : some[i].program) + ")";
    }
    return text;
  };
  std::vector<PortHolder> locking, others;
  for (const auto& holder : holders) (holder.holdsLock ? locking : others).push_back(holder);
  if (locking.empty()) return others.empty() ? std::string() : describe(others);
  return describe(locking) + (others.empty() ? std::string() : "; also open in " + describe(others));
}

void DescribeInstanceId(const std::string& instanceId, SerialPortInfo& info) {
  const auto parts = Split(instanceId, '\\');
  info.vendorId = IdAfter(instanceId, "VID_");
  info.productId = IdAfter(instanceId, "PID_");
  const bool usbIds = !info.vendorId.empty() && !info.productId.empty();
  info.bus = BusOfEnumerator(parts.front(), usbIds);
  if (!usbIds) return;
  const std::string enumerator = Upper(parts.front());
  if (enumerator == "USB" && parts.size() >= 3 && parts[2].find('&') == std::string::npos) {
    // A device without a serial number gets an instance made up by Windows ("6&1a2b3c&0&2").
    info.serialNumber = parts[2];
  } else if (enumerator == "FTDIBUS" && parts.size() >= 2) {
    // "VID_0403+PID_6001+A50285BIA": the serial number and the port's letter.
    const auto fields = Split(parts[1], '+');
    if (fields.size() >= 3) info.serialNumber = fields[2];
  }
}

DeviceIdentity IdentifyWindowsPort(const WindowsPortDevice& device) {
  SerialPortInfo info;
  DescribeInstanceId(device.instanceId, info);
  if (info.bus == "usb" && !info.serialNumber.empty()) {
    return {"usb " + info.vendorId + ":" + info.productId + " serial " + info.serialNumber};
  }
  return {device.instanceId.empty() ? std::string() : "device " + Upper(device.instanceId)};
}

std::vector<SerialPortInfo> ListSerialPorts(WindowsPortSource& source) {
  const auto devices = source.PortDevices();
  std::vector<SerialPortInfo> ports;
  for (const auto& name : source.SerialCommNames()) {
    SerialPortInfo info;
    info.name = name;
    info.bus = "virtual";  // in SERIALCOMM without a Ports device: a driver's own (com0com, modems)
    const auto device = std::find_if(devices.begin(), devices.end(), [&](const WindowsPortDevice& d) {
      return Upper(d.portName) == Upper(name);
    });
    if (device != devices.end()) {
      DescribeInstanceId(device->instanceId, info);
      info.manufacturer = device->manufacturer;
      info.product = !device->busDescription.empty() ? device->busDescription : device->friendlyName;
    }
    info.access = source.Access(name);
    ports.push_back(info);
  }
  // COM2 before COM10.
  std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
    return a.name.size() != b.name.size() ? a.name.size() < b.name.size() : a.name < b.name;
  });
  ports.erase(std::unique(ports.begin(), ports.end(),
                          [](const SerialPortInfo& a, const SerialPortInfo& b) { return a.name == b.name; }),
              ports.end());
  return ports;
}

}  // namespace Korvalt::Ponderix::Platform
