// Discovery: scalesim processes on pseudo-terminals and TCP, silent lines, a held port and a
// missing one, probed in one call and reported in one table.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <sstream>
#include <vector>

#include "connection-test-support.hpp"
#include "driver/api/ponderix.h"
#include "tests/support/child-process.hpp"

namespace ConnectionTests {
namespace {

using Korvalt::Ponderix::Driver::MakeSerialPortConnection;
using TestSupport::ChildProcess;
using TestSupport::Scalesim;

std::vector<std::vector<std::string>> TableRows(const std::string& table) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(table);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
    if (!line.empty() && line.back() == '\t') fields.push_back("");
    rows.push_back(fields);
  }
  return rows;
}

TEST(Discovery, ScalesOnTerminalsAndTCPInOneTable) {
  ChildProcess pos(Scalesim({"--pty", "--protocol", "POS2MProV1", "--until-stdin-closes"}));
  ChildProcess cas(Scalesim({"--pty", "--protocol", "CAS-M", "--until-stdin-closes"}));
  ChildProcess oka(Scalesim({"--pty", "--protocol", "OKA", "--until-stdin-closes"}));
  ChildProcess tcp(Scalesim({"--tcp", "0", "--protocol", "POS2M", "--until-stdin-closes"}));
  std::vector<std::unique_ptr<ChildProcess>> silent;
  for (int i = 0; i < 4; ++i) {
    silent.push_back(std::make_unique<ChildProcess>(
        Scalesim({"--pty", "--protocol", "POS2M", "--silent", "--report-received", "--until-stdin-closes"})));
  }
  ChildProcess held(Scalesim({"--pty", "--protocol", "POS2M", "--report-received", "--until-stdin-closes"}));
  const std::string heldPath = held.ReadLine();
  ErrorCase result = ErrorCase::Correct;
  auto owner = MakeSerialPortConnection(heldPath);
  owner->Open(result);
  ASSERT_EQ(result, ErrorCase::Correct);

  std::vector<std::string> endPoints = {pos.ReadLine(), cas.ReadLine(), oka.ReadLine(),
                                        "tcp:127.0.0.1:" + tcp.ReadLine()};
  for (auto& line : silent) endPoints.push_back(line->ReadLine());
  endPoints.push_back(heldPath);
  endPoints.push_back("/dev/no-such-port");
  std::string request;
  for (const auto& endPoint : endPoints) request += endPoint + "\n";

  const auto start = std::chrono::steady_clock::now();
  std::vector<char> buffer(16 * 1024);
  size_t needed = 0;
  ASSERT_EQ(pdx_discover(request.c_str(), 0, buffer.data(), buffer.size(), &needed), PDX_OK);
  const auto tookMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  const auto rows = TableRows(buffer.data());
  ASSERT_EQ(rows.size(), endPoints.size()) << buffer.data();

  // end point, protocol or result, model, serial number, note (its start)
  const std::string timeOut = pdx_result_name(PDX_TIME_OUT);
  const std::string unableToOpen = pdx_result_name(PDX_UNABLE_TO_OPEN_SERIAL_PORT);
  const std::vector<std::vector<std::string>> expected = {
      {endPoints[0], "POS2MProV1", "T-QZ 510-15.2 III(средний)", "00012345", ""},
      {endPoints[1], "CAS-M", "", "", ""},
      {endPoints[2], "OKA", "", "", ""},
      {endPoints[3], "POS2M", "", "", ""},
      {endPoints[4], timeOut, "", "", ""},
      {endPoints[5], timeOut, "", "", ""},
      {endPoints[6], timeOut, "", "", ""},
      {endPoints[7], timeOut, "", "", ""},
      {heldPath, unableToOpen, "", "", "busy: process " + std::to_string(getpid())},
      {"/dev/no-such-port", unableToOpen, "", "", ""},
  };
  long long sumMs = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    ASSERT_EQ(rows[i].size(), 6u) << buffer.data();
    const std::vector<std::string> got = {rows[i][0], rows[i][1], rows[i][2], rows[i][3],
                                          rows[i][5].substr(0, expected[i][4].size())};
    EXPECT_EQ(got, expected[i]) << buffer.data();
    sumMs += std::stoll(rows[i][4]);
  }
  // The ports were probed side by side: the call took less than the probes one after the other.
  EXPECT_LT(tookMs, sumMs) << buffer.data();

  // The held port was left alone, and its owner still has it.
  EXPECT_TRUE(owner->IsOpen());
  owner->Close();
  // All end together rather than one after the other in the destructors.
  for (auto* scalesim : {&pos, &cas, &oka, &tcp}) scalesim->CloseInput();
  for (auto& line : silent) line->CloseInput();
  held.CloseInput();
  EXPECT_EQ(held.ReadLine(), "received 0 bytes");
}

TEST(Discovery, ATooSmallBufferAndABadTimeOut) {
  size_t needed = 0;
  char small[4];
  EXPECT_EQ(pdx_discover("/dev/no-such-port", 0, small, sizeof small, &needed), PDX_BUFFER_TOO_SMALL);
  EXPECT_GT(needed, sizeof small);
  EXPECT_EQ(pdx_discover(nullptr, -1, small, sizeof small, &needed), PDX_INCORRECT_ARGUMENTS);
  EXPECT_EQ(pdx_list_ports(nullptr, 0, &needed), PDX_BUFFER_TOO_SMALL);
  std::vector<char> table(needed);
  EXPECT_EQ(pdx_list_ports(table.data(), table.size(), &needed), PDX_OK);
}

}  // namespace
}  // namespace ConnectionTests
