// The machine's serial ports: what is there, who holds a port, and which device is behind a
// port name. Linux reads sysfs and /dev/serial/by-id; Windows the SERIALCOMM registry key and
// SetupAPI. Both sides take their sources as parameters, so tests feed them recorded trees
// (Linux) or a stand-in source (Windows).
#pragma once

#include <string>
#include <vector>

#include "platform/serial-line.hpp"

namespace Korvalt::Ponderix::Platform {

// Whether this process could open the port now: no other holds it, and the user may.
enum class PortAccess { Free, Busy, Denied };
// "free", "busy", "denied".
const char* PortAccessName(PortAccess access);

struct SerialPortInfo {
  std::string name;        // the name to open: "/dev/ttyUSB0", "COM3"
  std::string stableName;  // "/dev/serial/by-id/usb-FTDI_..."; empty where the system has none
  std::string bus;         // "usb", "pci", "platform", "bluetooth", "virtual"
  std::string vendorId;    // USB only: four lower-case hexadecimal digits
  std::string productId;
  std::string serialNumber;
  std::string manufacturer;
  std::string product;
  PortAccess access = PortAccess::Free;
};

// Which device sits behind a port name. A USB adapter is known by vendor, product and serial
// number (without a serial number, by the USB socket it is plugged into), so it is the same
// after a replug under another name; any other device by the system's own identity of it (a
// pseudo-terminal's number, a character device's numbers, a COM port's device instance).
struct DeviceIdentity {
  std::string text;  // "usb 0403:6001 serial A50285BI", "pseudo-terminal 5"; empty: unknown
  bool Known() const { return !text.empty(); }
  bool operator==(const DeviceIdentity& other) const { return text == other.text; }
  bool operator!=(const DeviceIdentity& other) const { return text != other.text; }
};

// A process that has the port open; `holdsLock` when it took the port for itself.
struct PortHolder {
  long pid = 0;
  std::string program;
  bool holdsLock = false;
};

// Every serial port of the machine, ordered by name.
std::vector<SerialPortInfo> ListSerialPorts();
// Whether `name` could be opened now, without opening it. A pseudo-terminal counts as busy
// only when locked: the program on its master side keeps the slave open by design.
PortAccess CheckPortAccess(const std::string& name);
// The device behind `name` now, without opening it; unknown when there is none.
DeviceIdentity IdentifyPort(const std::string& name);
// The device of a line this process opened under `name`.
DeviceIdentity IdentifyLine(LineHandle line, const std::string& name);

// Takes the open line for this process alone (POSIX: TIOCEXCL, so later opens fail with
// EBUSY, and an advisory flock, as serial tools take it). False when another holds it; the
// line is then still open and the caller closes it.
bool ClaimLine(LineHandle line);
// Gives the exclusive use back before the line is closed (a pseudo-terminal outlives our
// descriptor and would otherwise stay exclusive).
void ReleaseLine(LineHandle line);

// The processes that have `name` open, the one holding its lock first; empty where the system
// does not tell (another user's processes, Windows).
std::vector<PortHolder> FindPortHolders(const std::string& name);
// "process 4711 (minicom)", "processes 4711 (minicom), 4712 (cat)", or "" when none is known.
std::string DescribeHolders(const std::vector<PortHolder>& holders);
// What a user who may not open `name` can do about it: on Linux the group that owns the device
// and that a new login is needed after joining it.
std::string AccessAdvice(const std::string& name);

// ---- Linux: sysfs and /dev, with roots a test points at a recorded tree --------------------
struct SysfsRoots {
  std::string sys = "/sys";
  std::string dev = "/dev";
  // Where flock()s are listed and processes are found ("/proc").
  std::string proc = "/proc";
};
std::vector<SerialPortInfo> ListSerialPorts(const SysfsRoots& roots);
// The identity of the character device with these numbers, as sysfs describes it.
DeviceIdentity IdentifyCharDevice(unsigned major, unsigned minor, const SysfsRoots& roots);

// ---- Windows: the registry and SetupAPI, behind a source a test can substitute ------------
// One device of the Ports class as SetupAPI reports it.
struct WindowsPortDevice {
  std::string portName;      // "COM3", from the device's registry key
  std::string instanceId;    // "USB\VID_0403&PID_6001\A50285BI", "FTDIBUS\VID_0403+PID_6001+A50285BIA\0000"
  std::string friendlyName;  // "USB Serial Port (COM3)"
  std::string manufacturer;  // "FTDI"
  std::string busDescription;  // what the USB device calls itself, when Windows kept it
};

class WindowsPortSource {
 public:
  virtual ~WindowsPortSource() = default;
  // The values of HARDWARE\DEVICEMAP\SERIALCOMM: every COM port that exists now.
  virtual std::vector<std::string> SerialCommNames() = 0;
  virtual std::vector<WindowsPortDevice> PortDevices() = 0;
  // Opens and closes the port at once: share mode 0 refuses a port another program holds.
  virtual PortAccess Access(const std::string& portName) = 0;
};

// The listing from a source (portable: tests run it anywhere).
std::vector<SerialPortInfo> ListSerialPorts(WindowsPortSource& source);
// A port device's identity: USB ids and serial number from its instance id, else the instance id.
DeviceIdentity IdentifyWindowsPort(const WindowsPortDevice& device);
// The fields a device instance id gives: bus from its enumerator, USB ids and serial number.
void DescribeInstanceId(const std::string& instanceId, SerialPortInfo& info);

}  // namespace Korvalt::Ponderix::Platform
