// Weighing for a sale through the device against the simulated scale of each protocol family.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/protocols/simulated-scale.hpp"

namespace ScaleTests {
namespace {

struct Family {
  const char* protocol;
  Line line;
  bool reportsUnderZero;  // a signed weight
  // How the scale is driven beyond its range: its overload flag, or a weight past the maximum
  // it reports.
  const char* overloadKey;
  const char* overloadValue;
  bool specifiesTare;
};

void PrintTo(const Family& family, std::ostream* out) { *out << family.protocol; }

const Family kFamilies[] = {
    {"POS2MProV1", Line::Pty, true, "weight", "15100", true},  // 15 kg maximum, 2 g division
    {"CAS-M", Line::Tcp, true, "overload", "1", false},
    {"OKA", Line::Tcp, false, "overload", "1", true},  // no sign: a weight below zero reads as settling
};

class SaleWeightTest : public ::testing::TestWithParam<Family> {
 protected:
  SaleWeightTest() : scale(GetParam().protocol, GetParam().line) {}
  void SetUp() override {
    ASSERT_EQ(scale.Open(GetParam().protocol), ErrorCase::Correct);
    Place("1250");
  }
  void Place(const char* weight, const char* stable = "1") {
    scale.Configure("weight", weight);
    scale.Configure("stable", stable);
  }
  SaleRefusal Sell(int timeoutMs = 1000) {
    SaleRefusal refusal = SaleRefusal::None;
    EXPECT_EQ(Books().ReadSaleWeight(scale.Device(), timeoutMs, "bench", sale, refusal), ErrorCase::Correct);
    return refusal;
  }
  ReadingStatus Status() {
    ReadingStatus status = ReadingStatus::NotReady;
    WeightReading reading;
    EXPECT_EQ(Books().GetStatus(scale.Device(), status, reading), ErrorCase::Correct);
    return status;
  }
  Weighing& Books() { return scale.Device().GetWeighing(); }

  SimulatedScale scale;
  SaleWeight sale;
};

TEST_P(SaleWeightTest, OneSalePerLoadUntilThePlatformIsEmptied) {
  ASSERT_EQ(Sell(), SaleRefusal::None);
  EXPECT_EQ(sale.sequence, 1u);
  EXPECT_EQ(sale.reading.weightMg, 1250000);
  EXPECT_EQ(sale.status, ReadingStatus::Stable);
  EXPECT_GT(sale.takenAtMs, 0);

  EXPECT_EQ(Sell(), SaleRefusal::SameWeight);
  EXPECT_EQ(sale.sequence, 0u);
  EXPECT_EQ(sale.reading.weightMg, 1250000);

  Place("0");
  EXPECT_EQ(Status(), ReadingStatus::Zero);  // seen by any call, the platform emptied
  Place("800");
  ASSERT_EQ(Sell(), SaleRefusal::None);
  EXPECT_EQ(sale.sequence, 2u);

  EXPECT_EQ(Books().Statistics().saleWeights, 2u);
  EXPECT_EQ(Books().Statistics().refused.at(SaleRefusal::SameWeight), 1u);
}

TEST(SaleWeight, AZeroCommandReleasesTheInterlock) {
  // POS answers its zero command, so the scale has zeroed when the command returns.
  SimulatedScale scale("POS2M", Line::Pty);
  ASSERT_EQ(scale.Open("POS2M"), ErrorCase::Correct);
  scale.Configure("weight", "800");
  Weighing& books = scale.Device().GetWeighing();
  SaleWeight sale;
  SaleRefusal refusal = SaleRefusal::None;
  ASSERT_EQ(books.ReadSaleWeight(scale.Device(), 0, "bench", sale, refusal), ErrorCase::Correct);
  ASSERT_EQ(refusal, SaleRefusal::None);
  books.ReadSaleWeight(scale.Device(), 0, "bench", sale, refusal);
  EXPECT_EQ(refusal, SaleRefusal::SameWeight);
  ASSERT_EQ(scale.Run(Command::SetZero), ErrorCase::Correct);
  scale.Configure("weight", "800");
  books.ReadSaleWeight(scale.Device(), 0, "bench", sale, refusal);
  EXPECT_EQ(refusal, SaleRefusal::None);
  EXPECT_EQ(sale.sequence, 2u);
}

TEST_P(SaleWeightTest, EachRefusalTheScaleCanShow) {
  Place("1250", "0");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Sell(300), SaleRefusal::Unstable);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300 + 1000));
  EXPECT_EQ(sale.status, ReadingStatus::Unstable);

  if (GetParam().reportsUnderZero) {
    Place("-50");
    EXPECT_EQ(Sell(), SaleRefusal::UnderZero);
    Place("1250");
  }
  scale.Configure(GetParam().overloadKey, GetParam().overloadValue);
  EXPECT_EQ(Sell(), SaleRefusal::Overload);
  EXPECT_EQ(sale.status, ReadingStatus::Overload);
  scale.Configure("overload", "0");

  ErrorCase result = ErrorCase::Correct;
  Books().SetLimits({100000, 0, 0}, result);
  ASSERT_EQ(result, ErrorCase::Correct);
  Place("50");
  EXPECT_EQ(Sell(), SaleRefusal::BelowMinimum);
  EXPECT_EQ(sale.status, ReadingStatus::Underweight);
  Place("0");
  EXPECT_EQ(Sell(), SaleRefusal::Zero);
}

TEST_P(SaleWeightTest, WaitStatusSeesTheLoadComeOff) {
  EXPECT_EQ(Status(), ReadingStatus::Stable);
  std::thread remover([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    Place("0");
  });
  ReadingStatus status = ReadingStatus::NotReady;
  WeightReading reading;
  EXPECT_EQ(Books().WaitStatus(scale.Device(), 11, 3000, status, reading), ErrorCase::Correct);
  remover.join();
  EXPECT_EQ(status, ReadingStatus::Zero);
  EXPECT_EQ(Books().WaitStatus(scale.Device(), 13, 200, status, reading), ErrorCase::BoostTimeOut);
  EXPECT_EQ(status, ReadingStatus::Zero);
}

TEST_P(SaleWeightTest, TareInMilligramsOnEveryProtocol) {
  ASSERT_EQ(Sell(), SaleRefusal::None);  // the limits the scale reports are known from here on
  struct Case {
    std::int64_t tareMg;
    ErrorCase result;
  } cases[] = {{300000, ErrorCase::Correct}, {-1000, ErrorCase::ParamValueUnsupported},
               {300500, ErrorCase::ParamValueUnsupported}};
  for (const auto& c : cases) {
    ErrorCase result = ErrorCase::Correct;
    Books().SpecifyTare(scale.Device(), c.tareMg, result);
    EXPECT_EQ(result, GetParam().specifiesTare ? c.result : ErrorCase::CommandUnsupported) << c.tareMg;
  }
  if (!GetParam().specifiesTare) return;
  ASSERT_TRUE(scale.WaitForCount(GetParam().protocol == std::string("OKA") ? "oka-tare" : "pos-specify-tare", 1));
  EXPECT_EQ(scale.State().GetReadings().tare, 300);
  if (Books().Limits().divisionMg == 2000) {  // not a whole number of the scale's divisions
    ErrorCase result = ErrorCase::Correct;
    Books().SpecifyTare(scale.Device(), 301000, result);
    EXPECT_EQ(result, ErrorCase::ParamValueUnsupported);
  }
}

INSTANTIATE_TEST_SUITE_P(Families, SaleWeightTest, ::testing::ValuesIn(kFamilies));

}  // namespace
}  // namespace ScaleTests
