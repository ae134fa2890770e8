// Binding the exports, loading errors, and the device wrapper's creation and clean-up.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "benchtap/wrapper.hpp"
#include "tests/benchtap/fake-driver.hpp"

namespace {

using namespace Korvalt::Ponderix;
using testing::ElementsAre;

using WrapperTest = BenchtapFake::LibraryTest;

TEST_F(WrapperTest, MissingExportsAreNamed) {
  for (const std::string name : {"create", "get_current_logic_device_id", "get_protocol"}) {
    try {
      BenchtapFake::MakeLibrary(name);
      ADD_FAILURE() << name;
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(std::string(error.what()), "[wrapper]: Library::Library(), method " + name + "() not found");
    }
  }
  std::vector<std::string> asked;
  try {
    Wrapper::Library library([&asked](const std::string& name) -> void* {
      asked.push_back(name);
      return nullptr;
    });
  } catch (const std::runtime_error&) {
  }
  EXPECT_THAT(asked, ElementsAre("create"));
}

TEST_F(WrapperTest, MissingLibraryFileCarriesTheLoadersReason) {
  try {
    Wrapper::Open("/nonexistent-folder/libdriver.so");
    FAIL();
  } catch (const std::logic_error& error) {
    std::string text = error.what();
    EXPECT_EQ(text.rfind("Korvalt::Ponderix::Wrapper::wrapper, , void Open(...), Can't find library by path "
                         "{ /nonexistent-folder/libdriver.so }: ",
                         0),
              0u)
        << text;
#if defined(_WIN32)
    // FormatMessageA's text for the failure; its wording differs between Windows versions and Wine.
    EXPECT_GT(text.size(), text.find("}: ") + 3) << text;
#else
    EXPECT_NE(text.find("No such file"), std::string::npos) << text;
#endif
  }
}

TEST_F(WrapperTest, RealLibraryBindsAllExports) {
  auto library = Wrapper::Open(DRIVER_LIBRARY_PATH);
  std::string version;
  EXPECT_EQ(library->GetCurrentVersion(version), Benchtap::ErrorCase::Correct);
  EXPECT_EQ(version, "1.1.3");
}

TEST_F(WrapperTest, DeviceCreationDescribesTheConnectionAndOpensIt) {
  Benchtap::ErrorCase ecase = Benchtap::ErrorCase::Unset;
  {
    auto device = Wrapper::CreateDevice({{"ip", "10.0.0.5:5001"}, {"script", "x.json"}}, ecase, *library_);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(ecase, Benchtap::ErrorCase::Correct);
    EXPECT_THAT(BenchtapFake::Calls(),
                ElementsAre("create", "add 2", "current 2", "ldparam 2 4=10.0.0.5:5001", "ldparam 2 2=logic device",
                            "ldparam 2 3=TCP", "ldparam 2 5=9600", "ldparam 2 6=auto", "ldparam 2 7=auto", "open 2"));
    device->DeleteAddedLogicDevice(ecase);
    EXPECT_EQ(ecase, Benchtap::ErrorCase::Correct);
  }
  EXPECT_THAT(BenchtapFake::Calls(), testing::Contains("delete 2").Times(1));
  EXPECT_EQ(BenchtapFake::Calls().back(), "destroy");
}

// The serial port wins over the IP address; without either there is no device.
TEST_F(WrapperTest, ConnectionFromThePortNameElseTheIp) {
  struct Case {
    Wrapper::ArgumentMap arguments;
    std::string connectionType;  // empty: refused
    std::string endPoint;
  };
  const Case cases[] = {
      {{{"ip", "10.0.0.5"}, {"portname", "/dev/ttyUSB0"}}, "Serial Port", "/dev/ttyUSB0"},
      {{{"portname", "COM3"}}, "Serial Port", "COM3"},
      {{{"ip", "10.0.0.5"}}, "TCP", "10.0.0.5"},
      {{{"script", "x.json"}}, "", ""},
  };
  for (const auto& c : cases) {
    BenchtapFake::Reset();
    Benchtap::ErrorCase ecase = Benchtap::ErrorCase::Unset;
    testing::internal::CaptureStderr();
    auto device = Wrapper::CreateDevice(c.arguments, ecase, *library_);
    const auto err = testing::internal::GetCapturedStderr();
    if (c.connectionType.empty()) {
      EXPECT_EQ(device, nullptr);
      EXPECT_EQ(ecase, Benchtap::ErrorCase::CommandLineIncorrectArgument);
      EXPECT_NE(err.find("Please specify either a serial port"), std::string::npos) << err;
      continue;
    }
    EXPECT_EQ(ecase, Benchtap::ErrorCase::Correct) << c.endPoint;
    EXPECT_THAT(BenchtapFake::Calls(), testing::Contains("ldparam 2 3=" + c.connectionType));
    EXPECT_THAT(BenchtapFake::Calls(), testing::Contains("ldparam 2 4=" + c.endPoint));
  }
}

TEST_F(WrapperTest, FailedOpenReturnsTheDeviceAndItsLogicDeviceIsDeletedOnDestruction) {
  BenchtapFake::TheScale().openResult = Benchtap::ErrorCase::UnableToOpenSerialPort;
  Benchtap::ErrorCase ecase = Benchtap::ErrorCase::Correct;
  auto device = Wrapper::CreateDevice({{"portname", "/dev/none"}}, ecase, *library_);
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(ecase, Benchtap::ErrorCase::UnableToOpenSerialPort);
  EXPECT_EQ(BenchtapFake::TheScale().logicDevices.count(2), 1u);
  device.reset();
  EXPECT_EQ(BenchtapFake::TheScale().logicDevices.count(2), 0u);
  auto calls = BenchtapFake::Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[calls.size() - 2], "delete 2");
  EXPECT_EQ(calls.back(), "destroy");
  EXPECT_FALSE(Wrapper::DestroyFailed());
}

TEST_F(WrapperTest, FullStoreEndsCreationWithTheStoresCode) {
  BenchtapFake::TheScale().addResult = Benchtap::ErrorCase::LogicDeviceJSONError;
  Benchtap::ErrorCase ecase = Benchtap::ErrorCase::Correct;
  auto device = Wrapper::CreateDevice({{"portname", "/dev/none"}}, ecase, *library_);
  EXPECT_EQ(ecase, Benchtap::ErrorCase::LogicDeviceJSONError);
  device.reset();
  EXPECT_THAT(BenchtapFake::Calls(), ElementsAre("create", "add failed", "destroy"));
}

TEST_F(WrapperTest, FailedDestroyIsRemembered) {
  auto device = BenchtapFake::MakeDevice(*library_);
  BenchtapFake::TheScale().destroyResult = Benchtap::ErrorCase::HandleDoesNotExist;
  testing::internal::CaptureStderr();
  device.reset();
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(Wrapper::DestroyFailed());
  EXPECT_NE(err.find("HandleDoesNotExist"), std::string::npos) << err;
}

}  // namespace
