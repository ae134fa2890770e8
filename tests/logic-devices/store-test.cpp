// The logic-device store on its own: file layout, identifiers, the current device, the
// completeness check, and what happens to unusable files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "driver/logic-devices/logic-devices.hpp"
#include "platform/paths.hpp"
#include "tests/logic-devices/store-files.hpp"
#include "tests/support/test-environment.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

using namespace LogicDeviceTests;
using P = LogicDeviceParamType;

class LogicDeviceStore : public ::testing::Test {
 protected:
  void SetUp() override { RemoveStore(); }

  static std::vector<int> Ids(LogicDeviceManager& store) {
    ErrorCase result = ErrorCase::Correct;
    auto ids = store.GetAllSortedID(result);
    EXPECT_EQ(result, ErrorCase::Correct);
    return ids;
  }

  static int Add(LogicDeviceManager& store) {
    ErrorCase result = ErrorCase::Correct;
    int id = store.AddLogicDevice(result);
    EXPECT_EQ(result, ErrorCase::Correct);
    return id;
  }

  static void Set(LogicDeviceManager& store, int id, P type, const std::string& value) {
    ErrorCase result = ErrorCase::Correct;
    store.SetLogicDeviceParam(id, type, value, result);
    EXPECT_EQ(result, ErrorCase::Correct) << "setting device " << id;
  }

  static std::string Get(LogicDeviceManager& store, int id, P type, ErrorCase expected = ErrorCase::Correct) {
    ErrorCase result = ErrorCase::Correct;
    auto value = store.GetLogicDeviceParam(id, type, result);
    EXPECT_EQ(result, expected) << "getting from device " << id;
    return value;
  }

  static int Current(LogicDeviceManager& store, ErrorCase expected = ErrorCase::Correct) {
    ErrorCase result = ErrorCase::Correct;
    int id = store.GetCurrentLogicDeviceID(result);
    EXPECT_EQ(result, expected);
    return id;
  }
};

// Boost's JSON writer escapes "/" as "\/"; any reader of JSON takes both forms.
std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '/' || c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

TEST_F(LogicDeviceStore, MissingFileIsCreatedWithTheDefaultDevice) {
  LogicDeviceManager store;
  EXPECT_EQ(store.JsonPath(), StorePath());
  const std::string expected =
      "{\n"
      "    \"devices\": {\n"
      "        \"1\": {\n"
      "            \"is-current\": \"true\",\n"
      "            \"name\": \"default name\",\n"
      "            \"connection-type\": \"Serial Port\",\n"
      "            \"end-point\": \"" +
      Escaped(Platform::FirstSerialPort()) +
      "\",\n"
      "            \"baud-rate\": \"9600\",\n"
      "            \"model\": \"auto\",\n"
      "            \"protocol\": \"auto\"\n"
      "        }\n"
      "    }\n"
      "}\n";
  EXPECT_EQ(ReadFile(StorePath()), expected);
  EXPECT_EQ(Ids(store), std::vector<int>{1});
  EXPECT_EQ(Current(store), 1);
  EXPECT_EQ(Get(store, 1, P::EndPoint), Platform::FirstSerialPort());
  EXPECT_EQ(Get(store, 1, P::ID), "1");
  ErrorCase result = ErrorCase::Correct;
  store.AreAllParametersSet(1, result);
  EXPECT_EQ(result, ErrorCase::Correct);
}

TEST_F(LogicDeviceStore, ExistingFileIsLoadedAsItIs) {
  const auto text = StoreText({{"1", "false"}, {"4", "true"}});
  WriteStoreText(text);
  LogicDeviceManager store;
  EXPECT_EQ(Ids(store), (std::vector<int>{1, 4}));
  EXPECT_EQ(Current(store), 4);
  EXPECT_EQ(Get(store, 4, P::Name), "scale 4");
  EXPECT_EQ(ReadFile(StorePath()), text);  // reading never rewrites
}

TEST_F(LogicDeviceStore, AddedDeviceStartsEmptyAndIsAppended) {
  LogicDeviceManager store;
  EXPECT_EQ(Add(store), 2);
  const auto text = ReadFile(StorePath());
  EXPECT_NE(text.find("        \"2\": {\n"
                      "            \"is-current\": \"false\",\n"
                      "            \"name\": \"\",\n"
                      "            \"connection-type\": \"\",\n"
                      "            \"end-point\": \"\",\n"
                      "            \"baud-rate\": \"\",\n"
                      "            \"model\": \"\",\n"
                      "            \"protocol\": \"\"\n"
                      "        }\n"
                      "    }\n"
                      "}\n"),
            std::string::npos)
      << text;
  EXPECT_LT(text.find("\"1\""), text.find("\"2\""));
  EXPECT_EQ(Get(store, 2, P::Name, ErrorCase::ParamTypeIsNotSetToGet), "");
  EXPECT_EQ(Get(store, 2, P::ID), "2");
  EXPECT_EQ(Get(store, 2, P::IsCurrent), "false");
}

TEST_F(LogicDeviceStore, IdentifiersFillGapsBeforeGrowing) {
  {
    LogicDeviceManager store;
    EXPECT_EQ(Add(store), 2);
    EXPECT_EQ(Add(store), 3);
    ErrorCase result = ErrorCase::Correct;
    store.DeleteLogicDevice(2, result);
    EXPECT_EQ(result, ErrorCase::Correct);
    EXPECT_EQ(Ids(store), (std::vector<int>{1, 3}));
    EXPECT_EQ(Add(store), 2);
    EXPECT_EQ(Add(store), 4);
  }
  WriteStoreText(StoreText({{"3", "true"}, {"7", "false"}}));
  LogicDeviceManager store;
  std::vector<int> added;
  for (int i = 0; i < 6; ++i) added.push_back(Add(store));
  EXPECT_EQ(added, (std::vector<int>{1, 2, 4, 5, 6, 8}));
  EXPECT_EQ(Ids(store), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(LogicDeviceStore, HoldsAtMost101Devices) {
  LogicDeviceManager store;
  for (int expected = 2; expected <= 101; ++expected) ASSERT_EQ(Add(store), expected);
  const auto full = ReadFile(StorePath());
  ErrorCase result = ErrorCase::Correct;
  store.AddLogicDevice(result);
  EXPECT_EQ(result, ErrorCase::LogicDeviceJSONError);
  EXPECT_EQ(ReadFile(StorePath()), full);
  EXPECT_EQ(Ids(store).size(), 101u);

  result = ErrorCase::Correct;
  store.DeleteLogicDevice(50, result);
  ASSERT_EQ(result, ErrorCase::Correct);
  EXPECT_EQ(Add(store), 50);
}

TEST_F(LogicDeviceStore, DeleteRefusesTheLastAndUnknownDevices) {
  LogicDeviceManager store;
  const auto before = ReadFile(StorePath());
  ErrorCase result = ErrorCase::Correct;
  store.DeleteLogicDevice(1, result);
  EXPECT_EQ(result, ErrorCase::LogicDeviceJSONError);
  EXPECT_EQ(ReadFile(StorePath()), before);

  Add(store);
  const auto two = ReadFile(StorePath());
  for (int unknown : {0, -1, 3, 1000}) {
    result = ErrorCase::Correct;
    store.DeleteLogicDevice(unknown, result);
    EXPECT_EQ(result, ErrorCase::LogicDeviceJSONError) << unknown;
  }
  EXPECT_EQ(ReadFile(StorePath()), two);
}

TEST_F(LogicDeviceStore, SwitchingTheCurrentDeviceChangesFileAndMemory) {
  LogicDeviceManager store;
  Add(store);
  ErrorCase result = ErrorCase::Correct;
  store.SetCurrentLogicDevice(2, result);
  EXPECT_EQ(result, ErrorCase::Correct);
  EXPECT_EQ(Current(store), 2);
  EXPECT_EQ(Get(store, 1, P::IsCurrent), "false");
  EXPECT_EQ(Get(store, 2, P::IsCurrent), "true");
  ErrorCase held = ErrorCase::Correct;
  EXPECT_EQ(store.GetLogicDevice(2, held)->GetParam(P::IsCurrent, held), "true");

  const auto text = ReadFile(StorePath());
  auto one = text.find("\"1\": {\n            \"is-current\": \"false\"");
  auto two = text.find("\"2\": {\n            \"is-current\": \"true\"");
  EXPECT_NE(one, std::string::npos) << text;
  EXPECT_NE(two, std::string::npos) << text;

  // Selecting the current device again changes nothing.
  store.SetCurrentLogicDevice(2, result);
  EXPECT_EQ(result, ErrorCase::Correct);
  EXPECT_EQ(ReadFile(StorePath()), text);

  LogicDeviceManager other;
  EXPECT_EQ(Current(other), 2);
}

TEST_F(LogicDeviceStore, SwitchingToAnUnknownDeviceChangesNothing) {
  LogicDeviceManager store;
  const auto before = ReadFile(StorePath());
  ErrorCase result = ErrorCase::Correct;
  store.SetCurrentLogicDevice(7, result);
  EXPECT_EQ(result, ErrorCase::LogicDeviceNotFound);
  EXPECT_EQ(ReadFile(StorePath()), before);
  EXPECT_EQ(Current(store), 1);
  EXPECT_EQ(Get(store, 1, P::IsCurrent), "true");
}

TEST_F(LogicDeviceStore, SwitchingSucceedsWhenNoDeviceIsCurrent) {
  WriteStoreText(StoreText({{"1", "false"}, {"2", "false"}}));
  LogicDeviceManager store;
  EXPECT_EQ(Current(store, ErrorCase::LogicDeviceNotFound), -1);
  ErrorCase result = ErrorCase::Correct;
  store.SetCurrentLogicDevice(2, result);
  EXPECT_EQ(result, ErrorCase::Correct);
  EXPECT_EQ(Current(store), 2);
  EXPECT_EQ(Get(store, 2, P::IsCurrent), "true");
}

TEST_F(LogicDeviceStore, SwitchingLeavesExactlyOneDeviceCurrent) {
  // Written by hand or by an older version: two devices claim to be current.
  WriteStoreText(StoreText({{"1", "true"}, {"2", "true"}, {"3", "false"}}));
  LogicDeviceManager store;
  EXPECT_EQ(Current(store), 2);
  ErrorCase result = ErrorCase::Correct;
  store.SetCurrentLogicDevice(3, result);
  EXPECT_EQ(result, ErrorCase::Correct);
  EXPECT_EQ(Get(store, 1, P::IsCurrent), "false");
  EXPECT_EQ(Get(store, 2, P::IsCurrent), "false");
  EXPECT_EQ(Current(store), 3);
}

TEST_F(LogicDeviceStore, SettingIsCurrentMovesTheCurrentDevice) {
  LogicDeviceManager store;
  Add(store);
  Add(store);
  Set(store, 2, P::IsCurrent, "true");
  EXPECT_EQ(Current(store), 2);
  EXPECT_EQ(Get(store, 1, P::IsCurrent), "false");
  Set(store, 2, P::IsCurrent, "false");
  EXPECT_EQ(Current(store, ErrorCase::LogicDeviceNotFound), -1);
}

TEST_F(LogicDeviceStore, DeletingTheCurrentDeviceLeavesNoneCurrent) {
  LogicDeviceManager store;
  Add(store);
  ErrorCase result = ErrorCase::Correct;
  store.SetCurrentLogicDevice(2, result);
  store.DeleteLogicDevice(2, result);
  ASSERT_EQ(result, ErrorCase::Correct);
  EXPECT_EQ(Current(store, ErrorCase::LogicDeviceNotFound), -1);
  EXPECT_EQ(Get(store, 1, P::IsCurrent), "false");
  LogicDeviceManager other;
  EXPECT_EQ(Current(other, ErrorCase::LogicDeviceNotFound), -1);
}

TEST_F(LogicDeviceStore, DeletingTheCurrentDeviceLeavesNoneCurrentEvenWhenTwoClaimedIt) {
  WriteStoreText(StoreText({{"1", "true"}, {"2", "true"}, {"3", "false"}}));
  LogicDeviceManager store;
  ASSERT_EQ(Current(store), 2);
  ErrorCase result = ErrorCase::Correct;
  store.DeleteLogicDevice(2, result);
  ASSERT_EQ(result, ErrorCase::Correct);
  EXPECT_EQ(Current(store, ErrorCase::LogicDeviceNotFound), -1);
  EXPECT_EQ(Get(store, 1, P::IsCurrent), "false");
}

TEST_F(LogicDeviceStore, EmptyDevicesObjectCanGrowAgain) {
  WriteStoreText(StoreText({}));
  LogicDeviceManager store;
  EXPECT_TRUE(Ids(store).empty());
  EXPECT_EQ(Current(store, ErrorCase::LogicDeviceNotFound), -1);
  EXPECT_EQ(Add(store), 1);
  EXPECT_EQ(Add(store), 2);
  EXPECT_EQ(Ids(store), (std::vector<int>{1, 2}));
}

TEST_F(LogicDeviceStore, CompletenessCheckLooksAtEverySetting) {
  LogicDeviceManager store;
  const int id = Add(store);
  auto check = [&](int which) {
    ErrorCase result = ErrorCase::Correct;
    store.AreAllParametersSet(which, result);
    return result;
  };
  EXPECT_EQ(check(id), ErrorCase::NotAllParamsAreSetInLogicDevice);
  EXPECT_EQ(check(42), ErrorCase::NotAllParamsAreSetInLogicDevice);

  const std::pair<P, const char*> settings[] = {
      {P::Name, "bench"}, {P::ConnectionType, "TCP"}, {P::EndPoint, "127.0.0.1"},
      {P::BaudRate, "9600"}, {P::Model, "auto"},      {P::Protocol, "auto"},
  };
  for (const auto& [type, value] : settings) {
    EXPECT_EQ(check(id), ErrorCase::NotAllParamsAreSetInLogicDevice) << "before " << value;
    Set(store, id, type, value);
  }
  EXPECT_EQ(check(id), ErrorCase::Correct);

  // An empty text counts as not set, in the check and when read.
  Set(store, id, P::Model, "");
  EXPECT_EQ(check(id), ErrorCase::NotAllParamsAreSetInLogicDevice);
  EXPECT_EQ(Get(store, id, P::Model, ErrorCase::ParamTypeIsNotSetToGet), "");

  ErrorCase result = ErrorCase::Correct;
  store.CheckIfParamIsSet(id, P::Name, result);
  EXPECT_EQ(result, ErrorCase::Correct);
  store.CheckIfParamIsSet(id, P::Model, result);
  EXPECT_EQ(result, ErrorCase::NotAllParamsAreSetInLogicDevice);
}

TEST_F(LogicDeviceStore, SettingsAreWrittenAtOnceAndRoundTrip) {
  LogicDeviceManager store;
  const std::string name = "Counter \"A\" \\ back/slash \xd0\x92\xd0\xb5\xd1\x81\xd1\x8b tab\tend";
  Set(store, 1, P::Name, name);
  EXPECT_NE(ReadFile(StorePath()).find("\"name\": \"Counter \\\"A\\\" \\\\ back\\/slash"), std::string::npos);
  LogicDeviceManager other;
  EXPECT_EQ(Get(other, 1, P::Name), name);
  EXPECT_EQ(Get(store, 1, P::Name), name);
}

TEST_F(LogicDeviceStore, SettingRefusesIdentifierAndUnknownDevice) {
  LogicDeviceManager store;
  const auto before = ReadFile(StorePath());
  ErrorCase result = ErrorCase::Correct;
  store.SetLogicDeviceParam(1, P::ID, "5", result);
  EXPECT_EQ(result, ErrorCase::LogicDeviceJSONError);
  result = ErrorCase::Correct;
  store.SetLogicDeviceParam(9, P::Name, "x", result);
  EXPECT_EQ(result, ErrorCase::LogicDeviceNotFound);
  EXPECT_EQ(Get(store, 9, P::Name, ErrorCase::LogicDeviceNotFound), "");
  result = ErrorCase::Correct;
  EXPECT_EQ(store.GetLogicDevice(9, result), nullptr);
  EXPECT_EQ(result, ErrorCase::LogicDeviceNotFound);
  EXPECT_EQ(ReadFile(StorePath()), before);
}

TEST_F(LogicDeviceStore, AFailedOperationDoesNotChangeAnIncomingResult) {
  LogicDeviceManager store;
  ErrorCase result = ErrorCase::ParamTypeUnknown;
  EXPECT_EQ(store.GetAllSortedID(result), std::vector<int>{1});
  EXPECT_EQ(result, ErrorCase::ParamTypeUnknown);
}

// ---- files that are not a store: never overwritten, always refused ----

struct CorruptCase {
  const char* name;
  std::string text;
};

void PrintTo(const CorruptCase& file, std::ostream* out) { *out << file.name; }

class CorruptStore : public LogicDeviceStore, public ::testing::WithParamInterface<CorruptCase> {};

TEST_P(CorruptStore, ConstructionFailsAndTheFileIsKept) {
  WriteStoreText(GetParam().text);
  EXPECT_THROW(LogicDeviceManager store, LogicDeviceStoreError);
  EXPECT_EQ(ReadFile(StorePath()), GetParam().text);
}

TEST_P(CorruptStore, OperationsFailWhenTheFileIsSpoiledLater) {
  LogicDeviceManager store;
  Add(store);
  WriteStoreText(GetParam().text);

  ErrorCase result = ErrorCase::Correct;
  store.AddLogicDevice(result);
  EXPECT_EQ(result, ErrorCase::LogicDeviceJSONError);
  result = ErrorCase::Correct;
  store.SetLogicDeviceParam(1, P::Name, "x", result);
  EXPECT_EQ(result, ErrorCase::LogicDeviceJSONError);
  result = ErrorCase::Correct;
  store.GetLogicDeviceParam(1, P::Name, result);
  EXPECT_EQ(result, ErrorCase::LogicDeviceJSONError);
  result = ErrorCase::Correct;
  EXPECT_EQ(store.GetCurrentLogicDeviceID(result), -1);
  EXPECT_EQ(result, ErrorCase::LogicDeviceJSONError);
  EXPECT_EQ(ReadFile(StorePath()), GetParam().text);

  // Repaired by hand: the store is usable again.
  WriteStoreText(StoreText({{"5", "true"}}));
  EXPECT_EQ(Ids(store), std::vector<int>{5});
  EXPECT_EQ(Current(store), 5);
}

std::string WithoutKey(const std::string& key) {
  auto text = StoreText({{"1", "true"}, {"2", "false"}});
  auto at = text.rfind("\"" + key + "\"");
  auto end = text.find('\n', at);
  text.erase(at, end - at + 1);  // never the last key of a device: the JSON stays valid
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Files, CorruptStore,
    ::testing::Values(CorruptCase{"Truncated", StoreText({{"1", "true"}}).substr(0, 60)},
                      CorruptCase{"EmptyFile", ""},
                      CorruptCase{"EmptyObject", "{}"},
                      CorruptCase{"NoDevices", "{\"scales\": {}}"},
                      CorruptCase{"DeviceMissingAKey", WithoutKey("model")},
                      CorruptCase{"NonNumericKey", StoreText({{"1", "true"}, {"two", "false"}})},
                      CorruptCase{"ZeroKey", StoreText({{"0", "true"}})},
                      CorruptCase{"LeadingZeroKey", StoreText({{"01", "true"}})},
                      CorruptCase{"KeyBeyondInt", StoreText({{"4294967297", "true"}})},
                      CorruptCase{"RepeatedKey", StoreText({{"1", "true"}, {"1", "false"}})},
                      CorruptCase{"SettingIsAnObject",
                                  "{\"devices\": {\"1\": {\"is-current\": \"true\", \"name\": {\"a\": \"b\"}, "
                                  "\"connection-type\": \"TCP\", \"end-point\": \"x\", \"baud-rate\": \"9600\", "
                                  "\"model\": \"auto\", \"protocol\": \"auto\"}}}"},
                      CorruptCase{"NotJson", "devices = 1\n"},
                      // The parser alone would skip any three bytes behind a leading 0xEF.
                      CorruptCase{"StrayPrefixLikeAByteOrderMark", "\xEF  " + StoreText({{"1", "true"}})},
                      CorruptCase{"TwoByteOrderMarks", "\xEF\xBB\xBF\xEF\xBB\xBF" + StoreText({{"1", "true"}})},
                      CorruptCase{"NameNotUtf8", "{\"devices\": {\"1\": {\"is-current\": \"true\", \"name\": "
                                                 "\"\xC2\xE5\xF1\xFB\", \"connection-type\": \"TCP\", "
                                                 "\"end-point\": \"x\", \"baud-rate\": \"9600\", \"model\": "
                                                 "\"auto\", \"protocol\": \"auto\"}}}"},
                      CorruptCase{"NestedTooDeep", std::string(200000, '[')},
                      CorruptCase{"NestedTooDeepBesideTheDevices",
                                  StoreText({{"1", "true"}}).insert(2, "\"x\": " + std::string(100, '[') +
                                                                           std::string(100, ']') + ",")}),
    [](const ::testing::TestParamInfo<CorruptCase>& info) { return std::string(info.param.name); });

TEST_F(LogicDeviceStore, AByteOrderMarkIsSkipped) {
  WriteStoreText("\xEF\xBB\xBF" + StoreText({{"3", "true"}}));
  LogicDeviceManager store;
  EXPECT_EQ(Ids(store), std::vector<int>{3});
}

// A Windows-1251 name, as a program on Windows passes it, would make the file unreadable.
TEST_F(LogicDeviceStore, TextThatIsNotUtf8IsRefusedAndTheFileKept) {
  LogicDeviceManager store;
  const auto before = ReadFile(StorePath());
  for (const char* value : {"\xC2\xE5\xF1\xFB", "ok\xFF", "\xED\xA0\x80", "\xC0\xAF", "\xE2\x82"}) {
    ErrorCase result = ErrorCase::Correct;
    store.SetLogicDeviceParam(1, P::Name, value, result);
    EXPECT_EQ(result, ErrorCase::ParamValueUnsupported) << value;
  }
  EXPECT_EQ(ReadFile(StorePath()), before);
  Set(store, 1, P::Name, "Весы №1 \xF0\x9F\x8D\x8E");
  LogicDeviceManager other;
  EXPECT_EQ(Get(other, 1, P::Name), "Весы №1 \xF0\x9F\x8D\x8E");
}

// A writer killed between creating its temporary file and renaming it leaves the file behind.
TEST_F(LogicDeviceStore, TemporariesOfDeadWritersGoAtTheNextChange) {
  LogicDeviceManager store;
  const std::vector<std::string> abandoned{".4242.0.tmp", ".1.17.tmp"};
  const std::vector<std::string> foreign{".tmp", ".x.1.tmp", ".12.tmp", ".1.2.tmp.bak", ".1..tmp"};
  for (const auto& names : {abandoned, foreign}) {
    for (const auto& suffix : names) std::ofstream(StorePath() + suffix) << "{";
  }
  Ids(store);  // reading leaves them
  EXPECT_TRUE(boost::filesystem::exists(StorePath() + abandoned[0]));
  Add(store);
  for (const auto& suffix : abandoned) EXPECT_FALSE(boost::filesystem::exists(StorePath() + suffix)) << suffix;
  for (const auto& suffix : foreign) EXPECT_TRUE(boost::filesystem::exists(StorePath() + suffix)) << suffix;
}

TEST_F(LogicDeviceStore, AFileRemovedLaterIsReplacedByTheDefault) {
  LogicDeviceManager store;
  Add(store);
  boost::filesystem::remove(StorePath());
  EXPECT_EQ(Ids(store), std::vector<int>{1});
  EXPECT_EQ(Current(store), 1);
}

// Points APPDATA at a folder of its own for one test.
class ScopedAppData {
 public:
  explicit ScopedAppData(const std::string& root) : saved_(TestSupport::AppData()) {
    setenv("APPDATA", root.c_str(), 1);
  }
  ~ScopedAppData() { setenv("APPDATA", saved_.c_str(), 1); }

 private:
  std::string saved_;
};

TEST_F(LogicDeviceStore, DataFolderIsCreatedWhenMissing) {
  ScopedAppData appData(TestSupport::AppData() + "/fresh");
  LogicDeviceManager store;
  EXPECT_TRUE(boost::filesystem::is_regular_file(TestSupport::AppData() +
                                                 "/fresh/KORVALT/Trelvane/logic-devices-connection-config.json"));
}

TEST_F(LogicDeviceStore, AFolderThatCannotBeMadeFailsConstruction) {
  const auto root = TestSupport::AppData() + "/blocked";
  boost::filesystem::create_directories(root);
  std::ofstream(root + "/KORVALT") << "not a folder";
  ScopedAppData appData(root);
  EXPECT_THROW(LogicDeviceManager store, LogicDeviceStoreError);
  EXPECT_EQ(ReadFile(root + "/KORVALT"), "not a folder");
}

}  // namespace
}  // namespace Korvalt::Ponderix::Driver
