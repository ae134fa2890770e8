// pdx_open_line: the same checks, detection, model read and result codes as pdx_open with a logic
// device of the same settings, and nothing written to the shared store.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "driver/api/ponderix.h"
#include "simulator/responders.hpp"
#include "simulator/simulator.hpp"
#include "tests/support/test-environment.hpp"

namespace {

std::string StoreBytes() {
  std::ifstream in(TestSupport::AppData() + "/KORVALT/Trelvane/logic-devices-connection-config.json",
                   std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

struct LineCase {
  const char* name;
  const char* connectionType;
  std::string endPoint;  // "@" stands for the simulated scale's TCP end point
  const char* protocol;
  int baud;
  const char* model;
};

// pdx_open on a saved logic device of the case's settings, then deleted again.
int OpenSaved(pdx_handle handle, const LineCase& line) {
  int id = -1;
  int code = pdx_add_logic_device(handle, &id);
  const std::pair<int, std::string> settings[] = {
      {PDX_LD_NAME, "saved"},       {PDX_LD_CONNECTION_TYPE, line.connectionType},
      {PDX_LD_END_POINT, line.endPoint}, {PDX_LD_BAUD_RATE, std::to_string(line.baud)},
      {PDX_LD_MODEL, line.model ? line.model : "auto"}, {PDX_LD_PROTOCOL, line.protocol},
  };
  for (const auto& [type, value] : settings) {
    if (code == PDX_OK && !value.empty()) code = pdx_set_logic_device_param(handle, id, type, value.c_str());
  }
  if (code == PDX_OK) code = pdx_open(handle, id);
  pdx_close(handle);
  pdx_delete_logic_device(handle, id);
  return code;
}

TEST(OpenLine, OpensAsASavedLogicDeviceAndLeavesTheStoreAlone) {
  auto state = Scalesim::MakeScaleState();
  state->SetWeight(1250);
  auto simulator = Scalesim::Simulator::StartTcp(Scalesim::MakeProtocolResponder("POS2MProV1", state));
  const std::string scale = "127.0.0.1:" + std::to_string(simulator->Port());
  const LineCase cases[] = {
      {"detected", "TCP", scale, "auto", 9600, nullptr},
      {"named protocol and model", "TCP", scale, "POS2MProV1", 9600, "510"},
      {"unknown protocol", "TCP", scale, "POS9", 9600, nullptr},
      {"unknown connection type", "USB", scale, "auto", 9600, nullptr},
      {"no end point", "TCP", "", "auto", 9600, nullptr},
      {"nobody listening", "TCP", "127.0.0.1:1", "POS2MProV1", 9600, nullptr},
      {"end point not UTF-8", "TCP", "\xff:1", "POS2MProV1", 9600, nullptr},
  };
  pdx_handle handle = 0;
  ASSERT_EQ(pdx_create(&handle), PDX_OK);
  for (const auto& line : cases) {
    SCOPED_TRACE(line.name);
    const int saved = OpenSaved(handle, line);
    const std::string store = StoreBytes();
    pdx_handle unsaved = 0;
    ASSERT_EQ(pdx_create(&unsaved), PDX_OK);
    EXPECT_EQ(pdx_open_line(unsaved, line.connectionType, line.endPoint.c_str(), line.protocol, line.baud, line.model),
              saved);
    EXPECT_EQ(StoreBytes(), store) << "pdx_open_line wrote to the store";
    int open = -1;
    EXPECT_EQ(pdx_is_open(unsaved, &open), PDX_OK);
    EXPECT_EQ(open, saved == PDX_OK ? 1 : 0);
    if (saved == PDX_OK) {
      char protocol[32] = "", model[64] = "";
      EXPECT_EQ(pdx_get_protocol(unsaved, protocol, sizeof protocol, nullptr), PDX_OK);
      EXPECT_STREQ(protocol, "POS2MProV1");
      EXPECT_EQ(pdx_get_param(unsaved, PDX_PARAM_SCALES_MODEL, model, sizeof model, nullptr), PDX_OK);
      EXPECT_NE(std::string(model).find("510"), std::string::npos) << model;
      pdx_weight weight{};
      EXPECT_EQ(pdx_read_weight(unsaved, &weight), PDX_OK);
      EXPECT_EQ(weight.weight_mg, 1250000);
    }
    pdx_destroy(unsaved);
  }
  EXPECT_EQ(pdx_open_line(handle, nullptr, scale.c_str(), "auto", 9600, nullptr), PDX_INCORRECT_ARGUMENTS);
  pdx_destroy(handle);
}

}  // namespace
