// The port listing and the device identity on recorded sysfs trees (tests/platform/sysfs), and
// who holds a port. Linux only; port-sources-test.cpp runs on Windows too.
#include <gtest/gtest.h>

#include <sys/file.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/serial-ports.hpp"
#include "tests/support/test-environment.hpp"

namespace {

using namespace Korvalt::Ponderix::Platform;

std::string Tree(const std::string& name) { return std::string(SYSFS_TREES) + "/" + name; }

SysfsRoots Roots(const std::string& tree) { return {Tree(tree) + "/sys", Tree(tree) + "/dev", "/proc"}; }

// name (without the tree's /dev), stable name (without /dev), bus, vendor, product id, serial,
// manufacturer, product
using Row = std::vector<std::string>;

std::vector<Row> Rows(const std::vector<SerialPortInfo>& ports, const std::string& dev) {
  std::vector<Row> rows;
  auto local = [&dev](const std::string& path) { return path.rfind(dev, 0) == 0 ? path.substr(dev.size()) : path; };
  for (const auto& p : ports) {
    rows.push_back({local(p.name), local(p.stableName), p.bus, p.vendorId, p.productId, p.serialNumber,
                    p.manufacturer, p.product, PortAccessName(p.access)});
  }
  return rows;
}

TEST(PortListing, ATillsPortsFromSysfsAndById) {
  const auto roots = Roots("till");
  const std::vector<Row> expected = {
      {"/rfcomm0", "", "bluetooth", "", "", "", "", "", "free"},
      {"/ttyACM0", "/serial/by-id/usb-Arduino__www.arduino.cc__0043_75833353035351E0E1A1-if00", "usb", "2341",
       "0043", "75833353035351E0E1A1", "Arduino (www.arduino.cc)", "", "free"},
      {"/ttyS0", "", "platform", "", "", "", "", "", "free"},
      // ttyS1 is the serial core's placeholder (type 0): not a port. tty1 has no device.
      {"/ttyS10", "", "pci", "", "", "", "", "", "free"},
      {"/ttyUSB0", "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "usb", "0403", "6001", "A50285BI",
       "FTDI", "FT232R USB UART", "free"},
      {"/ttyUSB1", "", "usb", "1a86", "7523", "", "", "USB Serial", "free"},
  };
  EXPECT_EQ(Rows(ListSerialPorts(roots), roots.dev), expected);
}

TEST(PortListing, IdentityFollowsTheAdapterNotTheName) {
  const auto till = Roots("till");
  const auto replugged = Roots("replugged");
  const std::string scale = "usb 0403:6001 serial A50285BI";
  struct Case {
    SysfsRoots roots;
    unsigned major, minor;
    std::string identity;
  } cases[] = {
      {till, 188, 0, scale},
      {till, 188, 1, "usb 1a86:7523 at 1-3"},  // no serial number: the socket it is in
      {till, 4, 64, "character device 4:64"},
      {replugged, 188, 0, "usb 067b:2303 serial PRN1"},  // the printer took ttyUSB0
      {replugged, 188, 1, scale},                        // the scale's adapter came back as ttyUSB1
      {till, 136, 5, "pseudo-terminal 5"},
      {till, 137, 1, "pseudo-terminal 257"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IdentifyCharDevice(c.major, c.minor, c.roots).text, c.identity) << c.major << ":" << c.minor;
  }
  // The by-id name leads to the adapter wherever it went.
  const auto ports = ListSerialPorts(replugged);
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[1].stableName, replugged.dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
  EXPECT_EQ(ports[1].name, replugged.dev + "/ttyUSB1");
}

TEST(PortListing, ALockedPortIsBusyAndItsHolderNamed) {
  const std::string path = TestSupport::AppData() + "/port-stand-in";
  std::FILE* mine = std::fopen(path.c_str(), "w");
  ASSERT_NE(mine, nullptr);
  // Open in this process without a lock: not busy (a port this process shares with nobody).
  EXPECT_EQ(CheckPortAccess(path), PortAccess::Free);
  std::FILE* other = std::fopen(path.c_str(), "r");
  ASSERT_EQ(flock(fileno(other), LOCK_EX), 0);
  EXPECT_EQ(CheckPortAccess(path), PortAccess::Busy);
  const auto holders = FindPortHolders(path);
  ASSERT_FALSE(holders.empty());
  EXPECT_EQ(holders.front().pid, static_cast<long>(getpid()));
  EXPECT_TRUE(holders.front().holdsLock);
  EXPECT_EQ(DescribeHolders(holders).rfind("process " + std::to_string(getpid()) + " (", 0), 0u);
  std::fclose(other);
  std::fclose(mine);
  EXPECT_EQ(DescribeHolders({{4711, "minicom", true}, {12, "cat", false}, {13, "", false}}),
            "process 4711 (minicom); also open in processes 12 (cat), 13 (?)");
}

}  // namespace
