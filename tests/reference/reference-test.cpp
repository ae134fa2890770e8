// The reference pages printed from the library's tables.
#include "tools/reference/reference.hpp"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

namespace {

using Korvalt::Ponderix::Driver::Command;
using namespace Korvalt::Ponderix::Reference;

TEST(Reference, MarkdownRowEscapesTheCellSeparatorAndLineBreaks) {
  EXPECT_EQ(MarkdownRow({"a|b", "c\r\nd", ""}), "| a\\|b | c  d |  |\n");
}

TEST(Reference, ProtocolsOfACommandFollowTheProtocolCommandSetsAndTheMapping) {
  const std::vector<std::string> all{"POS2M", "POS2MProV1", "CAS-M", "CAS-M ProV1", "CAS-M-Active", "OKA"};
  const struct {
    Command command;
    std::vector<std::string> protocols;
  } cases[] = {
      {Command::GetMaxWeight, {"POS2MProV1", "CAS-M ProV1", "OKA"}},
      {Command::StatusOfWeightChannel, all},
      {Command::SetZero, {"POS2M", "POS2MProV1", "CAS-M", "CAS-M ProV1", "OKA"}},
      {Command::SpecifyTare, {"POS2MProV1", "OKA"}},
      {Command::CASActiveStatusOfWeightChannel, {"CAS-M-Active"}},
      {Command::GetProtocolAuto, all},
  };
  for (const auto& c : cases) EXPECT_EQ(ProtocolsOf(c.command), c.protocols) << static_cast<int>(c.command);
}

// Rows of a page's table: "| <number> | `<name>` | ...".
std::vector<std::string> Rows(const std::string& page) {
  static const std::regex row(R"(\| (\d+) \| `(\w+)` \|.*)");
  std::vector<std::string> names;
  std::istringstream lines(page);
  std::smatch match;
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_match(line, match, row)) names.push_back(match.str(1) + " " + match.str(2));
  }
  return names;
}

TEST(Reference, PagesHaveOneRowPerCommandAndPerResultCode) {
  const auto commands = Rows(CommandsPage());
  ASSERT_EQ(commands.size(), 65u);
  EXPECT_EQ(commands.front(), "1 SetScalesModel");
  EXPECT_EQ(commands.back(), "65 OKASpecifyTare");
  EXPECT_NE(CommandsPage().find("| 11 | `GetMaxWeight` | POS2MProV1, CAS-M ProV1, OKA |  | `Gmax` |  | MaxWeight |"),
            std::string::npos);
  EXPECT_NE(CommandsPage().find("| 52 | `SetZero` | POS2M, POS2MProV1, CAS-M, CAS-M ProV1, OKA | POS2M, POS2MProV1: "
                                "POSSetZero; CAS-M, CAS-M ProV1: CASSetZero; OKA: OKASetZero |"),
            std::string::npos);

  // The library's codes, then the C interface's own.
  const auto codes = Rows(ResultCodesPage());
  ASSERT_EQ(codes.size(), 39u + 8u);
  EXPECT_EQ(codes.front(), "0 Correct");
  EXPECT_EQ(codes[38], "38 NotAllParamsAreSetInLogicDevice");
  EXPECT_EQ(codes.back(), "107 NotOpen");
  EXPECT_NE(ResultCodesPage().find("| 25 | `DeviceIsNotStabilized` | `DeviceIsNotStabilized` | Device is not stabilized |"),
            std::string::npos);
  EXPECT_NE(ResultCodesPage().find("| 3 | `IncorrectArgumnts` | `IncorrectArguments` |"), std::string::npos);
  EXPECT_NE(ResultCodesPage().find("| 2 | `ErrorCaseUnknown` | `ErrorCaseUnknown` | (none) |"), std::string::npos);
}

}  // namespace
