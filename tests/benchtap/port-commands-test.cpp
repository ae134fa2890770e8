// Benchtap --list-ports and --discover as a process: the tables, exit status 0, and no store,
// script or results touched.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include "benchtap/port-commands.hpp"
#include "simulator/responders.hpp"
#include "simulator/simulator.hpp"
#include "tests/benchtap/run-program.hpp"
#include "tests/support/test-environment.hpp"

namespace {

using BenchtapTest::RunBenchtap;

TEST(BenchtapPorts, ListAndDiscoverPrintTablesAndTouchNothing) {
  auto pos = Scalesim::Simulator::StartPty(std::shared_ptr<Scalesim::Responder>(
      Scalesim::MakeProtocolResponder("POS2MProV1", Scalesim::MakeScaleState())));
  auto oka = Scalesim::Simulator::StartTcp(std::shared_ptr<Scalesim::Responder>(
      Scalesim::MakeProtocolResponder("OKA", Scalesim::MakeScaleState())));

  // What the runs must leave as it is: the store and the results folder.
  const std::string data = TestSupport::AppData() + "/KORVALT/Trelvane";
  auto snapshot = [&data] {
    std::string state;
    for (const char* name : {"/logic-devices-connection-config.json", "/json-results"}) {
      const boost::filesystem::path path = data + name;
      state += boost::filesystem::exists(path) ? std::to_string(boost::filesystem::last_write_time(path)) : "-";
      state += ",";
    }
    return state;
  };
  const std::string before = snapshot();

  auto listed = RunBenchtap({"--list-ports"});
  EXPECT_EQ(listed.status, 0) << listed.out;
  EXPECT_EQ(listed.out.rfind("Serial ports:\n", 0), 0u) << listed.out;

  const std::string tcp = "tcp:127.0.0.1:" + std::to_string(oka->Port());
  auto found = RunBenchtap({"--discover", pos->Path(), tcp, "--timeout", "5000"});
  EXPECT_EQ(found.status, 0) << found.out;
  const auto lines = BenchtapTest::Lines(found.out);
  ASSERT_EQ(lines.size(), 4u) << found.out;
  EXPECT_EQ(lines[0], "Scales found:");
  EXPECT_EQ(lines[1].rfind("end point", 0), 0u);
  EXPECT_EQ(lines[2].rfind(pos->Path() + " ", 0), 0u);
  EXPECT_NE(lines[2].find(" POS2MProV1 "), std::string::npos) << lines[2];
  EXPECT_EQ(lines[3].rfind(tcp + "  OKA ", 0), 0u) << lines[3];

  EXPECT_EQ(snapshot(), before);

  auto refused = RunBenchtap({"--discover", "--output", "json"});
  EXPECT_EQ(refused.status, 2) << refused.out;
}

TEST(BenchtapPorts, TablesAreAlignedByCharacters) {
  using Korvalt::Ponderix::Benchtap::AlignTable;
  EXPECT_EQ(AlignTable({"port", "model", "ms"}, "/dev/pts/3\tT-QZ 510(средний)\t89\nCOM10\t\t1302\n"),
            "port        model              ms\n"
            "/dev/pts/3  T-QZ 510(средний)  89\n"
            "COM10       -                  1302\n");
}

}  // namespace
