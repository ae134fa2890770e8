// Result records, the results file's folder, name and content.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <boost/filesystem.hpp>
#include <boost/property_tree/json_parser.hpp>

#include "benchtap/results.hpp"
#include "platform/paths.hpp"
#include "tests/benchtap/fake-driver.hpp"
#include "tests/support/test-environment.hpp"

namespace {

using namespace Korvalt::Ponderix::Benchtap;
namespace fs = boost::filesystem;

using ResultsOutput = BenchtapFake::LibraryTest;

TEST_F(ResultsOutput, RecordSplitsInputAndOutputGroups) {
  Results::SetLastDriverCommand("SetMaxWeight");
  Results::AddRecord(" input  [ { MaxWeight : 0150 } ] output [ { MaxWeight : 0150 } { Weight :  -1.5 } ]",
                     ErrorCase::Correct);
  ASSERT_EQ(Results::Tree().size(), 1u);
  const auto& record = Results::Tree().front().second;
  EXPECT_EQ(record.get<std::string>("command"), "SetMaxWeight");
  EXPECT_EQ(record.get<std::string>("ecase"), "Correct");
  const auto& inputs = record.get_child("input-params");
  ASSERT_EQ(inputs.size(), 1u);
  EXPECT_EQ(inputs.front().second.get<std::string>("type"), "MaxWeight");
  EXPECT_EQ(inputs.front().second.get<std::string>("value"), "0150");
  const auto& outputs = record.get_child("output-params");
  ASSERT_EQ(outputs.size(), 2u);
  EXPECT_EQ(outputs.back().second.get<std::string>("type"), "Weight");
  EXPECT_EQ(outputs.back().second.get<std::string>("value"), "-1.5");
  EXPECT_EQ(Results::LastDriverCommand(), "");
}

TEST_F(ResultsOutput, NoRecordWithoutADriverCommandAndNoListsWithoutTheirWords) {
  Results::AddRecord("Hello World", ErrorCase::Correct);
  EXPECT_TRUE(Results::Tree().empty());
  Results::SetLastDriverCommand("Reboot");
  Results::AddRecord("", ErrorCase::DeviceReturnsError);
  ASSERT_EQ(Results::Tree().size(), 1u);
  const auto& record = Results::Tree().front().second;
  EXPECT_EQ(record.get<std::string>("ecase"), "DeviceReturnsError");
  EXPECT_FALSE(record.get_child_optional("input-params"));
  EXPECT_FALSE(record.get_child_optional("output-params"));
}

TEST_F(ResultsOutput, TagsAreMadeSafeForFileNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"../../x", "____x"}, {"CAS-M ProV1", "CAS-M_ProV1"}, {"a\\b:c*d", "a_b_c_d"},
      {"v1.2_x-y", "v1.2_x-y"}, {"...", "_."}, {"", ""},
  };
  for (const auto& [tag, safe] : cases) EXPECT_EQ(Results::SafeTag(tag), safe) << tag;
}

TEST_F(ResultsOutput, FileNameCarriesTheTagsThatAreSet) {
  struct Case {
    const char* protocol;
    const char* serial;
    const char* name;
  };
  const Case cases[] = {
      {"", "", "benchtap-results-2026-12-08.json"},
      {"", "ABC00010", "benchtap-results-2026-12-08-ABC00010.json"},
      {"POS2M", "", "benchtap-results-2026-12-08-POS2M.json"},
      {"POS2M", "ABC00010", "benchtap-results-2026-12-08-POS2M-ABC00010.json"},
      {"POS2M", "../../evil", "benchtap-results-2026-12-08-POS2M-____evil.json"},
  };
  for (const auto& c : cases) {
    Results::SetProtocolVersionTag(c.protocol);
    Results::SetSerialNumberTag(c.serial);
    EXPECT_EQ(Results::ResultsFileName("2026-12-08"), c.name);
  }
  Results::ClearTags();
  EXPECT_EQ(Results::ResultsFileName("2026-12-08"), "benchtap-results-2026-12-08.json");
}

TEST_F(ResultsOutput, FolderIsBesideTheLogFolder) {
  // With the platform's separator ("/" or "\\").
  const std::string s = Korvalt::Ponderix::Platform::JoinPath("x", "y").substr(1, 1);
  const std::string trelvane = s + "home" + s + "u" + s + "KORVALT" + s + "Trelvane";
  const std::pair<std::string, std::string> cases[] = {
      {trelvane + s + "logs", trelvane + s + "json-results"},
      {trelvane + s + "logs" + s + s, trelvane + s + "json-results"},
      {s + "logs", s + "json-results"},
  };
  for (const auto& [logs, results] : cases) EXPECT_EQ(Results::ResultsFolder(logs), results) << logs;
  EXPECT_EQ(Results::Quoted("C:\\a \"b\""), "\"C:\\\\a \\\"b\\\"\"");
}

TEST_F(ResultsOutput, PrepareAndWriteTheFile) {
  using Korvalt::Ponderix::Platform::JoinPath;
  const auto trelvane = JoinPath(JoinPath(TestSupport::AppData(), "KORVALT"), "Trelvane");
  const auto logs = JoinPath(trelvane, "logs");
  fs::create_directories(logs);
  BenchtapFake::TheScale().loggingPath = logs;
  Results::SetProtocolVersionTag("POS2M");

  ErrorCase ecase = ErrorCase::Unset;
  testing::internal::CaptureStdout();
  auto path = Results::PrepareResultsFile(ecase, *library_);
  std::string created = testing::internal::GetCapturedStdout();
  EXPECT_EQ(ecase, ErrorCase::Correct);
  EXPECT_EQ(fs::path(path).parent_path().string(), JoinPath(trelvane, "json-results"));
  EXPECT_EQ(fs::path(path).filename().string().rfind("benchtap-results-", 0), 0u);
  EXPECT_NE(path.find("-POS2M.json"), std::string::npos);
  EXPECT_TRUE(fs::exists(path));
  EXPECT_EQ(created, "Created empty JSON file at: " + Results::Quoted(path) + "\n");

  // An existing file is left alone until the results are written.
  testing::internal::CaptureStdout();
  EXPECT_EQ(Results::PrepareResultsFile(ecase, *library_), path);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  Results::SetLastDriverCommand("GetMaxWeight");
  Results::AddRecord(" output [ { MaxWeight : 0150 } ]", ErrorCase::Correct);
  testing::internal::CaptureStdout();
  Results::WriteResults(path, ecase);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "JSON data saved to: " + Results::Quoted(path) + "\n");
  boost::property_tree::ptree written;
  boost::property_tree::read_json(path, written);
  EXPECT_EQ(written.get<std::string>("benchtap-results..command"), "GetMaxWeight");
  EXPECT_EQ(written.get<std::string>("benchtap-results..output-params..value"), "0150");
}

TEST_F(ResultsOutput, EmptyResultsAreWrittenAsAnEmptyValue) {
  auto path = TestSupport::AppData() + "/empty.json";
  ErrorCase ecase = ErrorCase::Correct;
  testing::internal::CaptureStdout();
  Results::WriteResults(path, ecase);
  testing::internal::GetCapturedStdout();
  boost::property_tree::ptree written;
  boost::property_tree::read_json(path, written);
  EXPECT_EQ(written.get<std::string>("benchtap-results"), "");
}

TEST_F(ResultsOutput, UnwritableFileIsReported) {
  ErrorCase ecase = ErrorCase::Correct;
  testing::internal::CaptureStderr();
  Results::WriteResults(TestSupport::AppData() + "/no/such/folder/results.json", ecase);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to write JSON data to file.\n");
  EXPECT_EQ(ecase, ErrorCase::Correct);
}

}  // namespace
