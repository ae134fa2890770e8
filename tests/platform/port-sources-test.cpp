// The Windows port listing from a stand-in for the registry and SetupAPI, and the choice of
// end points for discovery: no system call, so these run on every platform.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/device/port-discovery.hpp"
#include "platform/serial-ports.hpp"

namespace {

using namespace Korvalt::Ponderix::Platform;
using Korvalt::Ponderix::Driver::ResolveEndPoints;

// name, stable name, bus, vendor, product id, serial, manufacturer, product, access
using Row = std::vector<std::string>;

std::vector<Row> Rows(const std::vector<SerialPortInfo>& ports) {
  std::vector<Row> rows;
  for (const auto& p : ports) {
    rows.push_back({p.name, p.stableName, p.bus, p.vendorId, p.productId, p.serialNumber, p.manufacturer,
                    p.product, PortAccessName(p.access)});
  }
  return rows;
}

class StandInSource : public WindowsPortSource {
 public:
  std::vector<std::string> SerialCommNames() override { return {"COM3", "COM10", "COM1", "COM4", "COM5", "COM7"}; }
  std::vector<WindowsPortDevice> PortDevices() override {
    return {
        {"COM3", "USB\\VID_0403&PID_6001\\A50285BI", "USB Serial Port (COM3)", "FTDI", ""},
        {"COM10", "FTDIBUS\\VID_0403+PID_6015+DK0AHAJZA\\0000", "USB Serial Port (COM10)", "FTDI", "FT231X USB UART"},
        {"COM1", "ACPI\\PNP0501\\1", "Communications Port (COM1)", "(Standard port types)", ""},
        {"COM4", "BTHENUM\\{00001101-0000-1000-8000-00805f9b34fb}_LOCALMFG&0002\\7&1A2B&0&000000000000_00000000",
         "Standard Serial over Bluetooth link (COM4)", "Microsoft", ""},
        {"com5", "USB\\VID_2341&PID_0043&MI_00\\6&2A3B4C&0&0000", "Arduino Uno (COM5)", "Arduino LLC", ""},
    };
  }
  PortAccess Access(const std::string& name) override { return name == "COM4" ? PortAccess::Busy : PortAccess::Free; }
};

TEST(PortListing, WindowsPortsFromTheRegistryAndSetupApi) {
  StandInSource source;
  const std::vector<Row> expected = {
      {"COM1", "", "platform", "", "", "", "(Standard port types)", "Communications Port (COM1)", "free"},
      {"COM3", "", "usb", "0403", "6001", "A50285BI", "FTDI", "USB Serial Port (COM3)", "free"},
      {"COM4", "", "bluetooth", "", "", "", "Microsoft", "Standard Serial over Bluetooth link (COM4)", "busy"},
      // An instance id made up by Windows is no serial number.
      {"COM5", "", "usb", "2341", "0043", "", "Arduino LLC", "Arduino Uno (COM5)", "free"},
      {"COM7", "", "virtual", "", "", "", "", "", "free"},
      {"COM10", "", "usb", "0403", "6015", "DK0AHAJZA", "FTDI", "FT231X USB UART", "free"},
  };
  EXPECT_EQ(Rows(ListSerialPorts(source)), expected);
  const auto devices = source.PortDevices();
  EXPECT_EQ(IdentifyWindowsPort(devices[0]).text, "usb 0403:6001 serial A50285BI");
  EXPECT_EQ(IdentifyWindowsPort(devices[2]).text, "device ACPI\\PNP0501\\1");
  EXPECT_EQ(IdentifyWindowsPort(devices[4]).text, "device USB\\VID_2341&PID_0043&MI_00\\6&2A3B4C&0&0000");
}

TEST(PortListing, DiscoveryEndPointsFromNamesPatternsAndTCP) {
  std::vector<SerialPortInfo> listed(3);
  listed[0].name = "/dev/ttyS0";
  listed[1].name = "/dev/ttyUSB0";
  listed[1].stableName = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  listed[2].name = "/dev/ttyUSB1";
  using List = std::vector<std::string>;
  EXPECT_EQ(ResolveEndPoints({}, listed), (List{"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1"}));
  EXPECT_EQ(ResolveEndPoints({"/dev/ttyUSB*", "tcp:10.0.0.5:4001", "/dev/pts/3", "/dev/ttyUSB1"}, listed),
            (List{"/dev/ttyUSB0", "/dev/ttyUSB1", "tcp:10.0.0.5:4001", "/dev/pts/3"}));
  EXPECT_EQ(ResolveEndPoints({"*A50285BI*", "/dev/ttyS[0-3]", "/dev/tty?"}, listed),
            (List{"/dev/ttyUSB0", "/dev/ttyS0"}));
}

}  // namespace
