#include <gtest/gtest.h>

#include "driver/interface/defines.hpp"
#include "tests/support/driver-library.hpp"

using namespace Korvalt::Ponderix::Driver;
using TestSupport::Driver;

namespace {
std::wstring Describe(ErrorCase ecase, int language, ErrorCase expected = ErrorCase::Correct) {
  std::wstring text = L"unchanged";
  EXPECT_EQ(Driver().get_error_case_description(ecase, language, text), expected);
  return text;
}
}  // namespace

TEST(Descriptions, KnownTextsInBothLanguages) {
  EXPECT_EQ(Describe(ErrorCase::Correct, kLanguageEnglish), L"Success");
  EXPECT_EQ(Describe(ErrorCase::Correct, kLanguageRussian), L"\u0423\u0441\u043f\u0435\u0448\u043d\u043e");
  EXPECT_EQ(Describe(ErrorCase::NotAllParamsAreSetInLogicDevice, kLanguageEnglish),
            L"Not all parameters are set in logic device");
  EXPECT_EQ(Describe(ErrorCase::HandleInvalid, kLanguageRussian),
            L"\u0422\u0435\u0445\u043d\u0438\u0447\u0435\u0441\u043a\u0430\u044f \u043f\u0440\u043e\u0431\u043b\u0435"
            L"\u043c\u0430, \u0434\u0430\u043d\u043d\u044b\u0435 \u043d\u0435\u0432\u0435\u0440\u043d\u044b: "
            L"HandleInvalid");
}

TEST(Descriptions, RussianBoostTextsKeepTheirLatinLetters) {
  // "Taйм-аут Boost-a": T, a and the final a are Latin.
  EXPECT_EQ(Describe(ErrorCase::BoostTimeOut, kLanguageRussian), L"Ta\u0439\u043c-\u0430\u0443\u0442 Boost-a");
  auto unknown = Describe(ErrorCase::BoostErrorUnknown, kLanguageRussian);
  EXPECT_EQ(unknown.back(), L'a');
  EXPECT_EQ(unknown.substr(0, 2), L"\u041d\u0435");
}

TEST(Descriptions, EveryCodeButTheUnknownOneHasTextsInBothLanguages) {
  for (int n = 0; n <= 38; ++n) {
    auto ecase = static_cast<ErrorCase>(n);
    if (ecase == ErrorCase::ErrorCaseUnknown) continue;
    EXPECT_NE(Describe(ecase, kLanguageRussian), L"unchanged") << n;
    EXPECT_NE(Describe(ecase, kLanguageEnglish), L"unchanged") << n;
  }
  EXPECT_EQ(Describe(ErrorCase::OpenCheckValuesIsNotEq, kLanguageEnglish),
            L"Unable to connect (the model or protocol may be wrong)");
}

TEST(Descriptions, FailuresLeaveTheTextAndSayWhy) {
  EXPECT_EQ(Describe(ErrorCase::ErrorCaseUnknown, kLanguageRussian, ErrorCase::ErrorCaseUnknown), L"unchanged");
  EXPECT_EQ(Describe(ErrorCase::ErrorCaseUnknown, kLanguageEnglish, ErrorCase::ErrorCaseUnknown), L"unchanged");
  EXPECT_EQ(Describe(static_cast<ErrorCase>(39), kLanguageEnglish, ErrorCase::ErrorCaseUnknown), L"unchanged");
  EXPECT_EQ(Describe(ErrorCase::Correct, 0, ErrorCase::IncorrectArgumnts), L"unchanged");
  EXPECT_EQ(Describe(ErrorCase::Correct, 3, ErrorCase::IncorrectArgumnts), L"unchanged");
  // The language is checked first.
  EXPECT_EQ(Describe(static_cast<ErrorCase>(99), 0, ErrorCase::IncorrectArgumnts), L"unchanged");
}

TEST(Descriptions, OnlyTheTwoLanguagesWithTablesAreKnown) {
  const std::pair<int, bool> languages[] = {
      {kLanguageRussian, true}, {kLanguageEnglish, true}, {0, false}, {3, false}, {-1, false},
  };
  for (const auto& [language, known] : languages) EXPECT_EQ(IsKnownLanguage(language), known) << language;
}

TEST(Names, TextNamesAndTheirFailures) {
  EXPECT_EQ(ToString(ErrorCase::IncorrectArgumnts), "IncorrectArgumnts");
  EXPECT_EQ(ToString(ErrorCase::NotAllParamsAreSetInLogicDevice), "NotAllParamsAreSetInLogicDevice");
  EXPECT_THROW(ToString(static_cast<ErrorCase>(39)), std::logic_error);
  EXPECT_THROW(Description(ErrorCase::Correct, 0), std::logic_error);
}
