// The Benchtap program run as a process: banner, command line, library loading, exit statuses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>

#include <boost/filesystem.hpp>

#include "tests/benchtap/run-program.hpp"
#include "tests/support/test-environment.hpp"

namespace {

using BenchtapTest::Lines;
using BenchtapTest::RunBenchtap;
namespace fs = boost::filesystem;

const std::string kRefused =
    "Catch exception, type is std::exception, message is \"CLIManager::ExecuteCLArgs(), ErrorCase: "
    "CommandLineIncorrectArgument\"";

using BenchtapTest::WriteScript;

TEST(BenchtapCommandLine, HelpPrintsBannerOptionsAndEndsWithStatus1) {
  auto run = RunBenchtap({"--help"});
  EXPECT_EQ(run.status, 1);
  auto lines = Lines(run.out);
  ASSERT_GE(lines.size(), 6u) << run.out;
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(Runed:                     [A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4})")))
      << lines[0];
  EXPECT_EQ(lines[1], "Driver Logging Path:       " + TestSupport::AppData() + "/KORVALT/Trelvane/logs");
  EXPECT_EQ(lines[2], "Driver Current Version:    1.1.3");
  EXPECT_EQ(lines[3], "Benchtap Current Version: 1.1.3");
  EXPECT_EQ(lines[4], "Allowed options:");
  for (const char* option : {"--help", "--portname", "--script", "--ip", "--port", "--output"}) {
    EXPECT_NE(run.out.find(option), std::string::npos) << option;
  }
  EXPECT_NE(run.out.find("Print usage information and exit"), std::string::npos);
  EXPECT_EQ(lines.back(), kRefused);
}

TEST(BenchtapCommandLine, RefusedCommandLines) {
  auto script = WriteScript("s.json", "[]");
  struct Case {
    std::vector<std::string> arguments;
    std::string message;
  };
  const Case cases[] = {
      {{"--script", script},
       "Please specify either the portname using --portname or both the IP and port using --ip and --port."},
      {{"--portname", "/dev/null"}, "Please specify script path using --script."},
      {{"--portname", "/dev/null", "--script", script, "--output", "JSON"},
       "Invalid output type. Allowed values: 'console', 'json', 'both'."},
      {{"--portname", "/dev/null", "--script", script, "--port", "5001"}, "The option --port needs --ip."},
      {{"--ip", "127.0.0.1", "--script", script, "--port", "70000"},
       "Invalid port number 70000. Allowed values: 1 to 65535."},
      {{"--ip", "127.0.0.1:5001", "--script", script, "--port", "5002"},
       "The address 127.0.0.1:5001 already names a port; give the port either there or with --port."},
  };
  for (const auto& c : cases) {
    auto run = RunBenchtap(c.arguments);
    EXPECT_EQ(run.status, 1) << c.message;
    auto lines = Lines(run.out);
    ASSERT_GE(lines.size(), 2u) << run.out;
    EXPECT_EQ(lines[lines.size() - 2], c.message);
    EXPECT_EQ(lines.back(), kRefused);
  }
}

TEST(BenchtapCommandLine, OptionParserErrorsEndWithStatus1) {
  auto script = WriteScript("s.json", "[]");
  struct Case {
    std::vector<std::string> arguments;
    std::string shown;  // in the line of the standard-exception handler
  };
  const Case cases[] = {
      {{"--portname", "/dev/null", "--script", script, "--bogus", "1"}, "\"unrecognised option '--bogus'\""},
      // The first bare argument is the port name, so --portname again is given twice.
      {{"/dev/null", "--portname", "/dev/null", "--script", script}, "portname"},
      {{"--ip", "127.0.0.1", "--port", "x", "--script", script}, "--port"},
  };
  for (const auto& c : cases) {
    auto run = RunBenchtap(c.arguments);
    EXPECT_EQ(run.status, 1) << c.shown;
    const auto lines = Lines(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("Catch exception, type is std::exception, message is ", 0), 0u) << run.out;
    EXPECT_NE(lines.back().find(c.shown), std::string::npos) << run.out;
  }
}

TEST(BenchtapCommandLine, ScriptErrorsEndTheRunBeforeTheDevice) {
  auto wrongExtension = RunBenchtap({"/dev/null", WriteScript("s.JSON", "[]")});
  EXPECT_EQ(wrongExtension.status, 1);
  EXPECT_EQ(Lines(wrongExtension.out).back(),
            "Catch exception, type is std::exception, message is \"CLIManager::ExecuteCLArgs(), ErrorCase: "
            "JSONAnotherFileExtension\"");

  auto unknownKind =
      RunBenchtap({"/dev/null", WriteScript("k.json", R"([{"command":"hello-world"},{"command":"Dialog"}])")});
  EXPECT_EQ(unknownKind.status, 1);
  EXPECT_EQ(unknownKind.out.find("Hello World"), std::string::npos) << "nothing runs";
  EXPECT_NE(unknownKind.err.find("entry #2 \"Dialog\""), std::string::npos) << unknownKind.err;
  EXPECT_NE(unknownKind.out.find("ErrorCase: CommandUnsupported"), std::string::npos);

  auto badType = RunBenchtap(
      {"/dev/null", WriteScript("t.json", R"([{"command":"get-max-weight","output-params":[{"type":"colour"}]}])")});
  EXPECT_EQ(badType.status, 1);
  EXPECT_NE(badType.out.find("Func StringToEnumParamType(strvalue: Colour), strvalue is not valid., in script entry "
                             "#1 \"get-max-weight\""),
            std::string::npos)
      << badType.out;
}

// A copy of Benchtap in a folder of its own, with or without a library beside it.
std::string LonelyBenchtap(const std::string& name) {
  auto folder = fs::path(TestSupport::AppData()) / name;
  fs::create_directories(folder);
  fs::copy_file(BenchtapTest::BenchtapPath(), folder / "Benchtap", fs::copy_options::overwrite_existing);
  return folder.string();
}

TEST(BenchtapLibrary, MissingLibraryIsReportedBeforeTheBanner) {
  auto folder = LonelyBenchtap("no-library");
  auto run = BenchtapTest::RunProgram(folder + "/Benchtap", {"--help"}, folder);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out.find("Runed:"), std::string::npos);
  EXPECT_NE(run.out.find("Catch exception, type is std::exception, message is \"Korvalt::Ponderix::Wrapper::wrapper, "
                         ", void Open(...), Can't find library by path { libdriver.so.1 }: libdriver.so.1"),
            std::string::npos)
      << run.out;
}

TEST(BenchtapLibrary, LibraryWithoutOneExportIsRefused) {
  const char* compiler = std::getenv("CC");
  std::string cc = compiler ? compiler : "cc";
  if (std::system((cc + " --version > /dev/null 2>&1").c_str()) != 0) GTEST_SKIP() << "no C compiler to build the stub";
  auto folder = LonelyBenchtap("stub-library");
  std::string source = folder + "/stub.c";
  {
    std::ofstream stub(source);
    for (const char* name :
         {"create", "destroy", "open", "is_open", "close", "set_param", "get_param", "get_input_param", "set_option",
          "get_option", "execute_command", "get_error_case_description", "change_logging_config_file",
          "get_data_from_log_config_file", "LoggingSetMode", "GetLoggingPath", "GetCurrentVersion",
          "add_logic_device", "delete_logic_device", "set_logic_device_param", "get_logic_device_param",
          "get_current_logic_device_id", "set_current_logic_device", "get_all_sorted_logic_device_id"}) {
      stub << "int " << name << "(void) { return 0; }\n";
    }
  }
  std::string build = cc + " -shared -fPIC -fno-builtin -o " + folder + "/libdriver.so.1 " + source;
  ASSERT_EQ(std::system(build.c_str()), 0) << build;
  auto run = BenchtapTest::RunProgram(folder + "/Benchtap", {"--help"}, folder);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out.find("Runed:"), std::string::npos);
  EXPECT_EQ(run.out,
            "Catch exception, type is std::exception, message is \"[wrapper]: Library::Library(), method get_protocol() "
            "not found\"\n");
}

}  // namespace
