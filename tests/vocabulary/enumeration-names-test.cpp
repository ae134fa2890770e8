#include <gtest/gtest.h>

#include "driver/vocabulary/enumeration-names.hpp"

using namespace Korvalt::Ponderix::Driver;

TEST(Names, GenericAndProtocolCommandsHaveDistinctNames) {
  EXPECT_EQ(ToString(Command::SetZero), "SetZero");
  EXPECT_EQ(ToString(static_cast<Command>(58)), "POSSetZero");
  EXPECT_EQ(ToString(static_cast<Command>(65)), "OKASpecifyTare");
  EXPECT_EQ(ToString(ParamType::Cell), "Cell");
  EXPECT_EQ(ToString(Option::KeepAlive), "KeepAlive");
  EXPECT_EQ(ToJsonString(LogicDeviceParamType::ConnectionType), "connection-type");
}

TEST(Names, NumbersOutsideTheTablesThrowWithTheirMessages) {
  auto message = [](auto fn) {
    try {
      fn();
    } catch (const std::logic_error& e) {
      return std::string(e.what());
    }
    return std::string("no throw");
  };
  EXPECT_EQ(message([] { ToString(static_cast<Command>(66)); }), "Func ToString(ParamType value), value is not valid.");
  EXPECT_EQ(message([] { ToString(static_cast<ParamType>(26)); }), "Func ToString(ParamType value), value is not valid.");
  EXPECT_EQ(message([] { ToString(static_cast<Option>(8)); }), "Func ToString(Option value), value is not valid.");
  EXPECT_EQ(message([] { ToJsonString(LogicDeviceParamType::ID); }),
            "Func ToJsonString(LogicDeviceParamType value), value is not valid.");
}
