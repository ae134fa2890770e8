// Which command a protocol runs, which it refuses, and when the chosen model matches the scale.
#include <gtest/gtest.h>

#include "driver/device/device.hpp"
#include "driver/protocols/protocol-table.hpp"

using namespace Korvalt::Ponderix::Driver;

namespace {
Command Effective(Command generic, const std::string& protocol) {
  auto command = MapToProtocol(generic, protocol);
  return IsCommandAllowed(command, protocol) ? command : Command::Unset;
}
}  // namespace

TEST(CommandMapping, GenericWeighingCommandsBecomeTheProtocolsOwn) {
  EXPECT_EQ(Effective(Command::StatusOfWeightChannel, "POS2M"), Command::POSStatusOfWeightChannel);
  EXPECT_EQ(Effective(Command::StatusOfWeightChannel, "CAS-M-Active"), Command::CASActiveStatusOfWeightChannel);
  EXPECT_EQ(Effective(Command::StatusOfWeightChannel, "OKA"), Command::OKAStatusOfWeightChannel);
  EXPECT_EQ(Effective(Command::SetZero, "OKA"), Command::OKASetZero);
  EXPECT_EQ(Effective(Command::SetZero, "CAS-M ProV1"), Command::CASSetZero);
  EXPECT_EQ(Effective(Command::SetTare, "POS2MProV1"), Command::POSSetTare);
  EXPECT_EQ(Effective(Command::SpecifyTare, "POS2MProV1"), Command::POSSpecifyTare);
  EXPECT_EQ(Effective(Command::SpecifyTare, "OKA"), Command::OKASpecifyTare);
}

TEST(CommandMapping, CommandsOutsideAProtocolsSetAreRefused) {
  EXPECT_EQ(Effective(Command::GetScalesModel, "POS2M"), Command::Unset);
  EXPECT_EQ(Effective(Command::SpecifyTare, "POS2M"), Command::Unset);
  EXPECT_EQ(Effective(Command::SetTare, "OKA"), Command::Unset);
  EXPECT_EQ(Effective(Command::SetZero, "CAS-M-Active"), Command::Unset);
  EXPECT_EQ(Effective(Command::Unset, "OKA"), Command::Unset);
  EXPECT_EQ(Effective(Command::GetMaxWeight, "something else"), Command::Unset);
  EXPECT_TRUE(IsCommandAllowed(Command::Unset, "POS2MProV1"));
  EXPECT_TRUE(IsCommandAllowed(Command::GetProtocolAuto, "CAS-M-Active"));
}

TEST(CommandMapping, AutoRunsEveryKnownCommandUnchanged) {
  for (int n = 0; n <= 65; ++n) {
    auto command = static_cast<Command>(n);
    EXPECT_EQ(MapToProtocol(command, "auto"), command);
    EXPECT_TRUE(IsCommandAllowed(command, "auto"));
  }
  EXPECT_FALSE(IsCommandAllowed(static_cast<Command>(66), "auto"));
}

TEST(ModelCheck, FirstRunOfDigitsDecides) {
  EXPECT_TRUE(Device::IsModelMatching("auto", "anything 511"));
  EXPECT_TRUE(Device::IsModelMatching("A15", "X15 rev B"));
  EXPECT_FALSE(Device::IsModelMatching("510", "511"));
  EXPECT_TRUE(Device::IsModelMatching("POS scale", "Not Pro model"));
  EXPECT_FALSE(Device::IsModelMatching("M15", "Not Pro model"));
}
