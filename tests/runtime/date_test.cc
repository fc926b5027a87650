// DATE <-> broken-down time and the locale formatting of dates.
#include <gtest/gtest.h>

#include <cstdlib>

#include "lumora/values.h"
#include "tests/store/german_locale.h"

namespace lumora {
namespace {

SYSTEMTIME Time(WORD y, WORD m, WORD d, WORD hh = 0, WORD mm = 0, WORD ss = 0) {
  SYSTEMTIME st{};
  st.wYear = y;
  st.wMonth = m;
  st.wDay = d;
  st.wHour = hh;
  st.wMinute = mm;
  st.wSecond = ss;
  return st;
}

std::string Format(DATE date, ULONG flags) {
  Bstr text;
  EXPECT_EQ(VarBstrFromDate(date, LOCALE_USER_DEFAULT, flags, text.put()), S_OK);
  return text.ToUtf8();
}

TEST(DateTest, KnownDaysAndTheNegativeFraction) {
  struct Case {
    SYSTEMTIME time;
    DATE date;
  };
  const Case cases[] = {
      {Time(1899, 12, 30), 0.0},       {Time(1900, 1, 1), 2.0},           {Time(1970, 1, 1), 25569.0},
      {Time(2000, 1, 1, 12), 36526.5}, {Time(1899, 12, 29, 6), -1.25},    {Time(100, 1, 1), -657434.0},
      {Time(9999, 12, 31), 2958465.0}, {Time(2000, 2, 29, 18), 36585.75},
  };
  for (const Case& c : cases) {
    DATE date = 0;
    ASSERT_TRUE(SystemTimeToVariantTime(&c.time, &date)) << c.date;
    EXPECT_DOUBLE_EQ(date, c.date);
    SYSTEMTIME back{};
    ASSERT_TRUE(VariantTimeToSystemTime(c.date, &back)) << c.date;
    EXPECT_EQ(back.wYear, c.time.wYear);
    EXPECT_EQ(back.wMonth, c.time.wMonth);
    EXPECT_EQ(back.wDay, c.time.wDay);
    EXPECT_EQ(back.wHour, c.time.wHour);
  }
  SYSTEMTIME saturday{};
  VariantTimeToSystemTime(0.0, &saturday);
  EXPECT_EQ(saturday.wDayOfWeek, 6);
  SYSTEMTIME almostMidnight{};
  ASSERT_TRUE(VariantTimeToSystemTime(1.0 - 0.1 / 86400.0, &almostMidnight));
  EXPECT_EQ(almostMidnight.wDay, 31) << "23:59:59.9 rounds to the next day";
  EXPECT_EQ(almostMidnight.wHour, 0);
}

TEST(DateTest, InvalidTimesAreRefused) {
  DATE date = 0;
  for (const SYSTEMTIME& bad : {Time(2001, 2, 29), Time(99, 1, 1), Time(2000, 13, 1), Time(2000, 1, 1, 24),
                                Time(10000, 1, 1), Time(2000, 4, 31)}) {
    EXPECT_FALSE(SystemTimeToVariantTime(&bad, &date)) << bad.wYear << "-" << bad.wMonth << "-" << bad.wDay;
  }
  SYSTEMTIME st{};
  EXPECT_FALSE(VariantTimeToSystemTime(2958466.0, &st));
  EXPECT_FALSE(VariantTimeToSystemTime(-657435.0, &st));
  Bstr text;
  EXPECT_EQ(VarBstrFromDate(1e9, LOCALE_USER_DEFAULT, 0, text.put()), DISP_E_OVERFLOW);
}

TEST(DateTest, FormattingShowsWhatTheValueHolds) {
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(Format(36526.5, 0), "01/01/2000 12:00:00");
  EXPECT_EQ(Format(36526.0, 0), "01/01/2000") << "midnight shows the date alone";
  EXPECT_EQ(Format(0.25, 0), "06:00:00") << "day 0 shows the time alone";
  EXPECT_EQ(Format(36526.5, VAR_DATEVALUEONLY), "01/01/2000");
  EXPECT_EQ(Format(36526.5, VAR_TIMEVALUEONLY), "12:00:00");
  EXPECT_EQ(Format(-1.25, 0), "12/29/1899 06:00:00");
  unsetenv("LC_ALL");
}

TEST(DateTest, FormattingFollowsTheUserLocale) {
  // Whatever locale the environment names, its text must parse back to the same value.
  setenv("LC_ALL", "C.UTF-8", 1);
  Bstr text;
  ASSERT_EQ(VarBstrFromDate(36526.75, LOCALE_USER_DEFAULT, 0, text.put()), S_OK);
  DATE back = 0;
  ASSERT_EQ(VarDateFromStr(text.get(), LOCALE_USER_DEFAULT, 0, &back), S_OK) << text.ToUtf8();
  EXPECT_DOUBLE_EQ(back, 36526.75);
  setenv("LC_ALL", "no_SUCH.locale", 1);
  EXPECT_EQ(Format(36526.0, 0), "01/01/2000") << "an unknown locale falls back to C";
  unsetenv("LC_ALL");
}

// Locales are kept once looked up, but a host that points LOCPATH at its own locales
// after the first date gets them from then on.
TEST(DateTest, ALocaleFoundThroughLocpathLaterIsUsed) {
  setenv("LC_ALL", testing::GermanLocale::kName, 1);
  const bool hadLocpath = std::getenv("LOCPATH") != nullptr;
  const std::string before = Format(36526.0, 0);
  {
    testing::GermanLocale german;  // makes the locale findable, through LOCPATH if need be
    if (!german.active()) GTEST_SKIP() << german.why();
    if (!hadLocpath && std::getenv("LOCPATH") != nullptr) {
      EXPECT_EQ(before, "01/01/2000") << "the machine had no such locale: C";
    }
    EXPECT_EQ(Format(36526.0, 0), "01.01.2000");
  }
  unsetenv("LC_ALL");
}

TEST(DateTest, ParsingAcceptsIsoAndLocaleForms) {
  setenv("LC_ALL", "C", 1);
  DATE date = 0;
  ASSERT_EQ(VarDateFromStr(u"2000-01-01T06:00:00", LOCALE_USER_DEFAULT, 0, &date), S_OK);
  EXPECT_DOUBLE_EQ(date, 36526.25);
  ASSERT_EQ(VarDateFromStr(u"18:00", LOCALE_USER_DEFAULT, 0, &date), S_OK);
  EXPECT_DOUBLE_EQ(date, 0.75) << "a time alone lands on day 0";
  EXPECT_EQ(VarDateFromStr(u"2001-02-29", LOCALE_USER_DEFAULT, 0, &date), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VarDateFromStr(u"2000-01-01 junk", LOCALE_USER_DEFAULT, 0, &date), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VarDateFromStr(u"", LOCALE_USER_DEFAULT, 0, &date), DISP_E_TYPEMISMATCH);
  unsetenv("LC_ALL");
}

}  // namespace
}  // namespace lumora
