// Opening a device on the simulated scale: line settings per protocol and speed, TCP end points,
// closing, and what an unusable logic device gives.
#include <gtest/gtest.h>

#include <string>

#include "tests/protocols/simulated-scale.hpp"
#include "tests/support/driver-library.hpp"

namespace ScaleTests {
namespace {

using Korvalt::Ponderix::Driver::Option;

LogicDevice Speed(const std::string& protocol, const std::string& baudRate) {
  LogicDevice settings = Settings(protocol);
  settings.baudRate = baudRate;
  return settings;
}

TEST(DeviceOpen, SerialLineSettingsFollowProtocolAndSpeed) {
  struct Case {
    std::string protocol;
    std::string baudRate;
    int expectedBaud;
    int expectedStopBits;
  } cases[] = {
      {"POS2M", "9600", 9600, 1},
      {"POS2M", "4800", 4800, 1},
      {"OKA", "4800", 4800, 2},  // 8E2 at 4800
      {"OKA", "9600", 9600, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.protocol + " " + c.baudRate);
    SimulatedScale scale;
    ASSERT_EQ(scale.Open(Line::Pty, Speed(c.protocol, c.baudRate)), ErrorCase::Correct);
    EXPECT_TRUE(scale.Device().IsOpen());
    auto line = scale.Wire().GetLineSettings();
    EXPECT_EQ(line.baud, c.expectedBaud);
    EXPECT_EQ(line.stopBits, c.expectedStopBits);
    EXPECT_EQ(scale.Device().GetProtocol(), c.protocol);
  }
}

TEST(DeviceOpen, TcpOpensClosesAndReopens) {
  SimulatedScale scale;
  int id = scale.Describe(Line::Tcp, Settings("CAS-M ProV1"));
  ErrorCase result = ErrorCase::Correct;
  scale.Device().Open(id, result);
  ASSERT_EQ(result, ErrorCase::Correct);
  EXPECT_TRUE(scale.Device().IsOpen());
  EXPECT_EQ(scale.Get(Slot::ScalesModel), "T-QZ 510-15.2 III(средний)");

  scale.Device().Close(result);
  EXPECT_FALSE(scale.Device().IsOpen());
  EXPECT_EQ(scale.Run(Command::GetMaxWeight), ErrorCase::ConnectionError);

  scale.Device().Open(id, result);
  ASSERT_EQ(result, ErrorCase::Correct);
  EXPECT_EQ(scale.Run(Command::GetMaxWeight), ErrorCase::Correct);
  EXPECT_EQ(scale.Wire().Connections(), 2);
}

TEST(DeviceOpen, ProModelIsReadOnOpenOnlyForProProtocols) {
  SimulatedScale plain;
  ASSERT_EQ(plain.Open(Line::Pty, Settings("POS2M")), ErrorCase::Correct);
  EXPECT_EQ(plain.State().RequestCount("Gmode"), 0);

  SimulatedScale pro;
  ASSERT_EQ(pro.Open(Line::Pty, Settings("POS2MProV1")), ErrorCase::Correct);
  EXPECT_EQ(pro.State().RequestCount("Gmode"), 1);
  EXPECT_EQ(pro.Get(Slot::ScalesModel), "T-QZ 510-15.2 III(средний)");
}

TEST(DeviceOpen, UnknownConnectionTypeIsRefused) {
  SimulatedScale scale;
  LogicDevice settings = Settings("POS2M");
  settings.connectionType = "USB";
  EXPECT_EQ(scale.Open(Line::Pty, settings), ErrorCase::ParamValueUnsupported);
  EXPECT_FALSE(scale.Device().IsOpen());
  EXPECT_EQ(scale.Run(Command::GetMaxWeight), ErrorCase::ConnectionError);
}

TEST(DeviceOpen, UnknownConnectionTypeLetsGoOfAnEarlierLine) {
  SimulatedScale scale;
  ASSERT_EQ(scale.Open(Line::Tcp, Settings("POS2MProV1")), ErrorCase::Correct);
  ASSERT_TRUE(scale.Device().IsOpen());

  ErrorCase result = ErrorCase::Correct;
  const int usb = scale.Device().AddLogicDevice(result);
  const std::pair<LogicDeviceParamType, std::string> params[] = {
      {LogicDeviceParamType::Name, "usb scale"},      {LogicDeviceParamType::ConnectionType, "USB"},
      {LogicDeviceParamType::EndPoint, "usb0"},       {LogicDeviceParamType::BaudRate, "9600"},
      {LogicDeviceParamType::Model, "auto"},          {LogicDeviceParamType::Protocol, "POS2M"},
  };
  for (const auto& [type, value] : params) scale.Device().SetLogicDeviceParam(usb, type, value, result);
  ASSERT_EQ(result, ErrorCase::Correct);
  scale.Device().Open(usb, result);
  EXPECT_EQ(result, ErrorCase::ParamValueUnsupported);
  // The settings now name a line the device cannot have: the old one must not carry them.
  EXPECT_FALSE(scale.Device().IsOpen());
  EXPECT_EQ(scale.Run(Command::GetMaxWeight), ErrorCase::ConnectionError);
}

TEST(DeviceOpen, AFailedModelReadLeavesTheDeviceClosed) {
  SimulatedScale scale;
  const int id = scale.Describe(Line::Pty, Settings("POS2MProV1", "510"));
  ErrorCase result = ErrorCase::Correct;
  scale.Device().Open(id, result);
  ASSERT_EQ(result, ErrorCase::Correct);
  EXPECT_EQ(scale.Run(Command::GetMaxWeight), ErrorCase::Correct);

  // The scale now refuses every part of the model query: it can no longer vouch for its model,
  // and the device is left closed rather than half open.
  scale.Configure("error-keywords", "mode,max,div");
  scale.Device().Open(id, result);
  EXPECT_EQ(result, ErrorCase::DeviceReturnsError);
  EXPECT_FALSE(scale.Device().IsOpen());
  EXPECT_EQ(scale.Run(Command::GetMaxWeight), ErrorCase::ConnectionError);

  // A later open starts clean.
  scale.Configure("error-keywords", "");
  result = ErrorCase::Correct;
  scale.Device().Open(id, result);
  ASSERT_EQ(result, ErrorCase::Correct);
  EXPECT_EQ(scale.Run(Command::GetMaxWeight), ErrorCase::Correct);
}

TEST(DeviceExports, OptionsNeedAConnection) {
  const auto& driver = TestSupport::Driver();
  Korvalt::Ponderix::Driver::DeviceHandle handle = nullptr;
  ASSERT_EQ(driver.create(handle), ErrorCase::Correct);
  std::string value = "stale";
  EXPECT_EQ(driver.get_option(handle, Option::BaudRate, value), ErrorCase::ConnectionError);
  EXPECT_EQ(value, "");
  EXPECT_EQ(driver.set_option(handle, Option::BaudRate, "9600"), ErrorCase::ConnectionError);
  EXPECT_EQ(driver.destroy(handle), ErrorCase::Correct);
}

// A new logic device with the six settings open needs, made through the exports; its identifier,
// or -1 when a call failed.
int DescribeThroughExports(Korvalt::Ponderix::Driver::DeviceHandle handle, const std::string& name,
                           const std::string& endPoint, const std::string& model, const std::string& protocol) {
  const auto& driver = TestSupport::Driver();
  int id = -1;
  if (driver.add_logic_device(handle, id) != ErrorCase::Correct) return -1;
  const std::pair<LogicDeviceParamType, std::string> params[] = {
      {LogicDeviceParamType::Name, name},        {LogicDeviceParamType::ConnectionType, "Serial Port"},
      {LogicDeviceParamType::EndPoint, endPoint}, {LogicDeviceParamType::BaudRate, "9600"},
      {LogicDeviceParamType::Model, model},      {LogicDeviceParamType::Protocol, protocol},
  };
  for (const auto& [type, value] : params) {
    if (driver.set_logic_device_param(handle, id, type, value) != ErrorCase::Correct) return -1;
  }
  return id;
}

// Through the library as an application loads it: the exports named like the C library's
// open() and close() must not capture the library's own port and socket calls.
TEST(DeviceExports, NativeCommandsOverAPseudoTerminal) {
  const auto& driver = TestSupport::Driver();
  auto state = Scalesim::MakeScaleState();
  auto simulator = Scalesim::Simulator::StartPty(
      std::shared_ptr<Scalesim::Responder>(Scalesim::MakeProtocolResponder("native", state)));
  Korvalt::Ponderix::Driver::DeviceHandle handle = nullptr;
  ASSERT_EQ(driver.create(handle), ErrorCase::Correct);
  const int id = DescribeThroughExports(handle, "bench scale", simulator->Path(), "510", "POS2MProV1");
  ASSERT_NE(id, -1);
  ASSERT_EQ(driver.open(handle, id), ErrorCase::Correct);
  bool open = false;
  EXPECT_EQ(driver.is_open(handle, open), ErrorCase::Correct);
  EXPECT_TRUE(open);

  EXPECT_EQ(driver.set_param(handle, Slot::MaxWeight, "30"), ErrorCase::Correct);
  EXPECT_EQ(driver.execute_command(handle, Command::SetMaxWeight), ErrorCase::Correct);
  EXPECT_EQ(driver.execute_command(handle, Command::GetMaxWeight), ErrorCase::Correct);
  std::string value;
  EXPECT_EQ(driver.get_param(handle, Slot::MaxWeight, value), ErrorCase::Correct);
  EXPECT_EQ(value, "30");
  std::string model;
  EXPECT_EQ(driver.get_param(handle, Slot::ScalesModel, model), ErrorCase::Correct);
  EXPECT_EQ(model, "T-QZ 510-15.2 III(средний)");

  EXPECT_EQ(driver.close(handle), ErrorCase::Correct);
  EXPECT_EQ(driver.is_open(handle, open), ErrorCase::Correct);
  EXPECT_FALSE(open);
  EXPECT_EQ(driver.destroy(handle), ErrorCase::Correct);
  simulator->Stop();
}

// The session the README shows, step by step, on a scale of unknown protocol.
TEST(DeviceExports, ReadmeSessionWorksAsWritten) {
  const auto& driver = TestSupport::Driver();
  auto state = Scalesim::MakeScaleState();
  ASSERT_TRUE(Scalesim::SetScaleValue(*state, "weight", "1250"));
  auto simulator = Scalesim::Simulator::StartPty(
      std::shared_ptr<Scalesim::Responder>(Scalesim::MakeProtocolResponder("POS2MProV1", state)));
  Korvalt::Ponderix::Driver::DeviceHandle handle = nullptr;
  ASSERT_EQ(driver.create(handle), ErrorCase::Correct);
  const int id = DescribeThroughExports(handle, "till 1", simulator->Path(), "auto", "auto");
  ASSERT_NE(id, -1);
  ASSERT_EQ(driver.open(handle, id), ErrorCase::Correct);
  ASSERT_EQ(driver.execute_command(handle, Command::StatusOfWeightChannel), ErrorCase::Correct);
  std::string weight;
  EXPECT_EQ(driver.get_param(handle, Slot::Weight, weight), ErrorCase::Correct);
  EXPECT_EQ(weight, "1250");
  EXPECT_EQ(driver.close(handle), ErrorCase::Correct);
  EXPECT_EQ(driver.destroy(handle), ErrorCase::Correct);
  simulator->Stop();
}

}  // namespace
}  // namespace ScaleTests
