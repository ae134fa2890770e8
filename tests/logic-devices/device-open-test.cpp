// The logic-device steps of opening a device: the store decides before any connection is made.
#include <gtest/gtest.h>

#include "driver/device/device.hpp"
#include "tests/logic-devices/store-files.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

using namespace LogicDeviceTests;
using P = LogicDeviceParamType;

class DeviceLogicDevices : public ::testing::Test {
 protected:
  void SetUp() override { RemoveStore(); }
};

TEST_F(DeviceLogicDevices, OpenRefusesUnknownAndIncompleteDevices) {
  Device device;
  ErrorCase result = ErrorCase::Correct;
  device.Open(9, result);
  EXPECT_EQ(result, ErrorCase::LogicDeviceNotFound);

  result = ErrorCase::Correct;
  const int id = device.AddLogicDevice(result);
  device.Open(id, result);
  EXPECT_EQ(result, ErrorCase::NotAllParamsAreSetInLogicDevice);
  EXPECT_FALSE(device.IsOpen());

  result = ErrorCase::Correct;
  EXPECT_EQ(device.GetCurrentLogicDeviceID(result), 1);
  EXPECT_EQ(result, ErrorCase::Correct);
}

TEST_F(DeviceLogicDevices, FirstOpenSelectsTheDeviceWhenNoneIsCurrent) {
  // Device 1 of this store is a TCP end point on 127.0.0.1 where nothing listens.
  WriteStoreText(StoreText({{"1", "false"}}));
  Device device;
  ErrorCase result = ErrorCase::Correct;
  EXPECT_EQ(device.GetCurrentLogicDeviceID(result), -1);

  result = ErrorCase::Correct;
  device.Open(1, result);
  // The connection fails, but not for want of a current logic device.
  EXPECT_NE(result, ErrorCase::LogicDeviceNotFound);
  EXPECT_NE(result, ErrorCase::NotAllParamsAreSetInLogicDevice);
  result = ErrorCase::Correct;
  EXPECT_EQ(device.GetCurrentLogicDeviceID(result), 1);
  EXPECT_EQ(result, ErrorCase::Correct);
}

TEST_F(DeviceLogicDevices, ADeviceCannotBeCreatedOnACorruptStore) {
  WriteStoreText("{\"devices\": {\"1\": {\"name\": \"no other keys\"}}}");
  EXPECT_THROW(Device device, LogicDeviceStoreError);
}

}  // namespace
}  // namespace Korvalt::Ponderix::Driver
