// Benchtap run as a process against the simulated scale on a pseudo-terminal and on TCP: console
// lines, exit status, results file, and the store left as it was found.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <signal.h>
#include <chrono>
#include <thread>
#include <string>

#include <boost/filesystem.hpp>
#include <boost/property_tree/json_parser.hpp>

#include "simulator/responders.hpp"
#include "simulator/simulator.hpp"
#include "tests/benchtap/run-program.hpp"
#include "tests/support/test-environment.hpp"

namespace {

using BenchtapTest::Lines;
using BenchtapTest::RunBenchtap;
namespace fs = boost::filesystem;
namespace pt = boost::property_tree;

std::string Script(const std::string& json) {
  static int count = 0;
  return BenchtapTest::WriteScript("script-" + std::to_string(++count) + ".json", json);
}

// Each test gets an application-data folder of its own, inherited by the Benchtap it runs.
std::string g_appData;

std::string DataFolder() { return g_appData + "/KORVALT/Trelvane"; }

std::string Today() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16] = {};
  std::strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

// Lines of the run after the four banner lines.
std::vector<std::string> RunLines(const BenchtapTest::Outcome& run) {
  auto lines = Lines(run.out);
  if (lines.size() < 4) return {};
  return {lines.begin() + 4, lines.end()};
}

// Names of the logic devices left in the store.
std::vector<std::string> StoredDeviceNames() {
  pt::ptree store;
  pt::read_json(DataFolder() + "/logic-devices-connection-config.json", store);
  std::vector<std::string> names;
  for (const auto& [id, device] : store.get_child("devices")) names.push_back(device.get<std::string>("name"));
  return names;
}

class BenchtapOnScale : public testing::Test {
 protected:
  void SetUp() override {
    g_appData = TestSupport::AppData() + "/" + testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directories(g_appData);
    setenv("APPDATA", g_appData.c_str(), 1);
    state_ = Scalesim::MakeScaleState();
  }
  void TearDown() override { setenv("APPDATA", TestSupport::AppData().c_str(), 1); }

  std::shared_ptr<Scalesim::Responder> Responder(const std::string& protocol) {
    return std::shared_ptr<Scalesim::Responder>(Scalesim::MakeProtocolResponder(protocol, state_));
  }

  std::shared_ptr<Scalesim::ScaleState> state_;
};

TEST_F(BenchtapOnScale, ScriptOnAPseudoTerminalPrintsEveryCommand) {
  Scalesim::SetScaleValue(*state_, "weight", "-1.25");
  Scalesim::SetScaleValue(*state_, "sern", "SN0042");
  auto simulator = Scalesim::Simulator::StartPty(Responder("POS2MProV1"));
  auto script = Script(R"([
    { "command": "hello-world" },
    { "command": "set-max-weight", "input-params": [ { "type": "max-weight", "value": "150" } ] },
    { "command": "get-max-weight", "output-params": [ { "type": "max-weight" } ] },
    { "command": "getSerialNumber" },
    { "command": "loop-weight", "count": "2", "period": "1" },
    { "command": "error-case-handler", "count": "3", "period": "1",
      "executable": { "command": "status-of-weight-channel" } },
    { "command": "command-list", "list": [ { "command": "set-zero" } ] }
  ])");
  auto run = RunBenchtap({simulator->Path(), script});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  std::string back(8, '\b');
  auto lines = RunLines(run);
  // The state bits of the POS answer are the protocol's business; the line up to them is Benchtap's.
  ASSERT_EQ(lines.size(), 11u) << run.out;
  EXPECT_EQ(lines[8].rfind("StatusOfWeightChannel:     ecase [Correct] returns [ output [ { Weight : -1250 } "
                           "{ WeightState : ", 0),
            0u)
      << lines[8];
  lines[8].clear();
  EXPECT_EQ(lines, (std::vector<std::string>{
                               "Hello World",
                               "hello-world:               ecase [Correct] returns [Hello World]",
                               "SetMaxWeight:              ecase [Correct] returns [ input  [ { MaxWeight : 0150 } ]]",
                               "GetMaxWeight:              ecase [Correct] returns [ output [ { MaxWeight : 0150 } ]]",
                               "GetSerialNumber:           ecase [Correct] returns [ output [ { SerialNumber : SN0042 } ]]",
                               "Weight: 00000000" + back + "000-1250" + back + "000-1250",
                               "loop-weight:               ecase [Correct] returns []",
                               "1",
                               "",
                               "SetZero:                   ecase [Correct] returns []",
                               "command-list:              ecase [Correct] returns []",
                           }))
      << run.out;
  EXPECT_EQ(state_->NativeValue("max"), "0150");
  EXPECT_EQ(state_->RequestCount("pos-zero"), 1);
  EXPECT_FALSE(fs::exists(DataFolder() + "/json-results")) << "console mode touches no results";
  EXPECT_EQ(StoredDeviceNames(), std::vector<std::string>{"default name"});
}

TEST_F(BenchtapOnScale, TcpRunWritesTheResultsFileNamedAfterTheTags) {
  Scalesim::SetScaleValue(*state_, "sern", "../../x");
  auto simulator = Scalesim::Simulator::StartTcp(Responder("POS2MProV1"));
  auto script = Script(R"([
    { "command": "hello-world" },
    { "command": "get-protocol-auto" },
    { "command": "get-serial-number" },
    { "command": "set-max-weight", "input-params": [ { "value": "30" } ] },
    { "command": "get-max-weight", "output-params": [ { "type": "MaxWeight" } ] }
  ])");
  auto run = RunBenchtap({"--ip", "127.0.0.1", "--port", std::to_string(simulator->Port()), "--script", script,
                          "--output", "json"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.out.find("ecase ["), std::string::npos) << "json mode prints no command lines";
  EXPECT_NE(run.out.find("Hello World"), std::string::npos);

  auto folder = DataFolder() + "/json-results";
  auto file = folder + "/benchtap-results-" + Today() + "-POS2MProV1-____x.json";
  ASSERT_TRUE(fs::exists(file)) << run.out;
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  EXPECT_NE(run.out.find("Created empty JSON file at: \"" + file + "\"\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("JSON data saved to: \"" + file + "\"\n"), std::string::npos) << run.out;

  pt::ptree results;
  pt::read_json(file, results);
  const auto& records = results.get_child("benchtap-results");
  ASSERT_EQ(records.size(), 4u);
  auto record = records.begin();
  EXPECT_EQ(record->second.get<std::string>("command"), "GetProtocolAuto");
  EXPECT_EQ(record->second.get<std::string>("output-params..value"), "POS2MProV1");
  ++record;
  EXPECT_EQ(record->second.get<std::string>("output-params..value"), "../../x");
  ++record;
  EXPECT_EQ(record->second.get<std::string>("command"), "SetMaxWeight");
  EXPECT_EQ(record->second.get<std::string>("ecase"), "Correct");
  EXPECT_EQ(record->second.get<std::string>("input-params..type"), "MaxWeight");
  EXPECT_EQ(record->second.get<std::string>("input-params..value"), "0030");
  EXPECT_FALSE(record->second.get_child_optional("output-params"));
  ++record;
  EXPECT_EQ(record->second.get<std::string>("command"), "GetMaxWeight");
  EXPECT_EQ(record->second.get<std::string>("output-params..value"), "0030");
  EXPECT_EQ(StoredDeviceNames(), std::vector<std::string>{"default name"});
}

TEST_F(BenchtapOnScale, BothModePrintsAndWritesAndAFailedCommandIsNoFailedRun) {
  Scalesim::SetScaleValue(*state_, "error-keywords", "max");
  auto simulator = Scalesim::Simulator::StartPty(Responder("POS2MProV1"));
  auto run = RunBenchtap({"--portname", simulator->Path(), "--script", Script(R"([
    { "command": "hello-world" }, { "command": "get-max-weight" } ])"), "--output", "both"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  auto lines = RunLines(run);
  ASSERT_EQ(lines.size(), 5u) << run.out;
  EXPECT_EQ(lines[2], "GetMaxWeight:              ecase [DeviceReturnsError] returns []");
  auto file = DataFolder() + "/json-results/benchtap-results-" + Today() + ".json";
  EXPECT_EQ(lines[3], "Created empty JSON file at: \"" + file + "\"");
  EXPECT_EQ(lines[4], "JSON data saved to: \"" + file + "\"");
  pt::ptree results;
  pt::read_json(file, results);
  EXPECT_EQ(results.get<std::string>("benchtap-results..command"), "GetMaxWeight");
  EXPECT_EQ(results.get<std::string>("benchtap-results..ecase"), "DeviceReturnsError");
}

TEST_F(BenchtapOnScale, FailedOpensLeaveNoLogicDeviceBehind) {
  auto script = Script(R"([ { "command": "hello-world" } ])");
  for (int run = 0; run < 3; ++run) {
    auto outcome = RunBenchtap({"--portname", TestSupport::AppData() + "/no-such-port", "--script", script});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(Lines(outcome.out).back(),
              "Catch exception, type is std::exception, message is \"CLIManager::ExecuteCLArgs(), ErrorCase: "
              "UnableToOpenSerialPort\"");
    EXPECT_EQ(outcome.out.find("Hello World"), std::string::npos);
  }
  EXPECT_EQ(StoredDeviceNames(), std::vector<std::string>{"default name"});
}

TEST_F(BenchtapOnScale, EmptyScriptOnlyOpensAndReleasesTheDevice) {
  auto simulator = Scalesim::Simulator::StartTcp(Responder("POS2M"));
  auto run = RunBenchtap({"--ip", "127.0.0.1:" + std::to_string(simulator->Port()), "--script", Script("[]")});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_TRUE(RunLines(run).empty()) << run.out;
  EXPECT_EQ(simulator->Connections(), 1);
  EXPECT_EQ(StoredDeviceNames(), std::vector<std::string>{"default name"});
}

TEST_F(BenchtapOnScale, InterruptedRunDeletesItsLogicDevice) {
  auto simulator = Scalesim::Simulator::StartTcp(Responder("POS2M"));
  auto script = Script(R"([ { "command": "loop-weight", "count": "100000", "period": "5" } ])");
  BenchtapTest::Process running(BenchtapTest::BenchtapPath(),
                                {"--ip", "127.0.0.1:" + std::to_string(simulator->Port()), "--script", script});
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (running.Out().find("Weight: ") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(StoredDeviceNames(), (std::vector<std::string>{"default name", "logic device"}));
  running.Signal(SIGINT);
  auto run = running.Wait();
  EXPECT_EQ(run.status, 128 + SIGINT) << run.out << run.err;
  EXPECT_NE(run.err.find("Interrupted"), std::string::npos) << run.err;
  EXPECT_EQ(StoredDeviceNames(), std::vector<std::string>{"default name"});
}

}  // namespace
