// The raw value rules: parsing, writing, typed values and the string list join.
#include "store/raw_value.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "lumora/profile.h"
#include "lumora/values.h"
#include "tests/store/german_locale.h"

namespace lumora {
namespace {

TEST(RawValueTest, IntegerParse) {
  LONG value = 99;
  EXPECT_EQ(ParseRawInteger("12abc", &value), S_OK);
  EXPECT_EQ(value, 12);
  EXPECT_EQ(ParseRawInteger("  -7", &value), S_OK);
  EXPECT_EQ(value, -7);
  EXPECT_EQ(ParseRawInteger("abc", &value), eErrorProfileTypeMismatch);
  EXPECT_EQ(value, 0);
  value = 99;
  EXPECT_EQ(ParseRawInteger("", &value), E_INVALIDARG);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(ParseRawInteger(kNotSetMarker, &value), E_INVALIDARG);
  EXPECT_EQ(ParseRawInteger("99999999999", &value), S_OK);
  EXPECT_EQ(value, INT32_MAX) << "beyond 32 bits saturates";
}

TEST(RawValueTest, DateTimeAndBooleanParse) {
  DATE date = 5;
  EXPECT_EQ(ParseRawDate("0.", &date), S_OK);
  EXPECT_EQ(date, 0.0);
  EXPECT_EQ(ParseRawDate("00.000", &date), S_OK);
  date = 5;
  EXPECT_EQ(ParseRawDate("x", &date), eErrorProfileTypeMismatch);
  EXPECT_EQ(date, 5.0) << "left alone";
  EXPECT_EQ(ParseRawDate("", &date), E_INVALIDARG);
  EXPECT_EQ(date, 0.0);
  EXPECT_EQ(ParseRawDate("36526.5abc", &date), S_OK);
  EXPECT_EQ(date, 36526.5);
  EXPECT_EQ(ParseRawDateOnly("36526.5", &date), eErrorProfileTypeMismatch);
  EXPECT_EQ(ParseRawDateOnly("36526", &date), S_OK);
  EXPECT_EQ(ParseRawTime("1.25", &date), eErrorProfileTypeMismatch);
  EXPECT_EQ(ParseRawTime("0.25", &date), S_OK);
  EXPECT_EQ(date, 0.25);

  VARIANT_BOOL flag = 0;
  EXPECT_EQ(ParseRawBoolean("True", &flag), S_OK);
  EXPECT_EQ(flag, VARIANT_TRUE);
  EXPECT_EQ(ParseRawBoolean("1", &flag), S_OK);
  EXPECT_EQ(ParseRawBoolean("False", &flag), S_OK);
  EXPECT_EQ(flag, VARIANT_FALSE);
  EXPECT_EQ(ParseRawBoolean("0", &flag), S_OK);
  EXPECT_EQ(ParseRawBoolean("true", &flag), eErrorProfileTypeMismatch) << "only capital T";
  EXPECT_EQ(ParseRawBoolean(kNotSetMarker, &flag), eErrorProfileTypeMismatch);
  EXPECT_EQ(ParseRawBoolean("", &flag), E_INVALIDARG);
}

TEST(RawValueTest, WritingAndAutomationValues) {
  EXPECT_EQ(FormatRawDate(36526.75), "36526.750000");
  EXPECT_EQ(FormatRawInteger(-5), "-5");
  std::string text;
  EXPECT_EQ(VariantToRawString(*Variant::R8(3.0).get(), &text), S_OK);
  EXPECT_EQ(text, "3");
  EXPECT_EQ(VariantToRawString(*Variant::R8(2.5).get(), &text), S_OK);
  EXPECT_EQ(text, "2.500000");
  EXPECT_EQ(VariantToRawString(*Variant::Bool(true).get(), &text), S_OK);
  EXPECT_EQ(text, "1");
  EXPECT_EQ(VariantToRawString(*Variant::Date(36526.0).get(), &text), S_OK);
  EXPECT_EQ(text, "36526");
  EXPECT_EQ(VariantToRawString(*Variant::I2(-3).get(), &text), S_OK);
  EXPECT_EQ(text, "-3");
  EXPECT_EQ(VariantToRawString(*Variant::R8(4294967296.0).get(), &text), S_OK);
  EXPECT_EQ(text, "4294967296.000000") << "a whole number beyond 32 bits is no integer";
  EXPECT_EQ(VariantToRawString(*Variant::Utf8("as it is").get(), &text), S_OK);
  EXPECT_EQ(text, "as it is");
  VARIANT null;
  VariantInit(&null);
  null.vt = VT_NULL;
  EXPECT_EQ(VariantToRawString(null, &text), DISP_E_TYPEMISMATCH);
}

// A number passed by reference is no VT_I4 or VT_R8: it is written as the platform's
// text of it, like any other type, and not by the number rule ("%ld" / "%f").
TEST(RawValueTest, NumbersByReferenceGoThroughThePlatformConversion) {
  std::string text;
  LONG integer = 41;
  double real = 2.5;
  double whole = 3.0;
  SHORT small = -7;
  VARIANT_BOOL flag = VARIANT_TRUE;
  VARIANT byRef;
  VariantInit(&byRef);
  byRef.vt = VT_BYREF | VT_I4;
  byRef.plVal = &integer;
  EXPECT_EQ(VariantToRawString(byRef, &text), S_OK);
  EXPECT_EQ(text, "41");
  byRef.vt = VT_BYREF | VT_R8;
  byRef.pdblVal = &real;
  EXPECT_EQ(VariantToRawString(byRef, &text), S_OK);
  EXPECT_EQ(text, "2.5") << "by value it would be 2.500000";
  byRef.pdblVal = &whole;
  EXPECT_EQ(VariantToRawString(byRef, &text), S_OK);
  EXPECT_EQ(text, "3");
  byRef.vt = VT_BYREF | VT_I2;
  byRef.piVal = &small;
  EXPECT_EQ(VariantToRawString(byRef, &text), S_OK);
  EXPECT_EQ(text, "-7");
  byRef.vt = VT_BYREF | VT_BOOL;
  byRef.pboolVal = &flag;
  EXPECT_EQ(VariantToRawString(byRef, &text), S_OK);
  Variant platform;
  ASSERT_EQ(VariantChangeType(platform.get(), Variant::Bool(true).get(), 0, VT_BSTR), S_OK);
  EXPECT_EQ(text, Bstr::ToUtf8(platform->bstrVal)) << "a boolean by reference is the platform's text";
  EXPECT_NE(text, "1");
}

TEST(RawValueTest, OnlyALeadingDecimalNumberIsADate) {
  DATE date = 7;
  for (const char* notDecimal : {"0x10", "0X10", "0x1p4", " 0x10", "inf", "-inf", "INF", "nan", "NaN", "infinity", "-.",
                                 "+", "e5", ".e1", "1e400", "-1e400"}) {
    date = 7;
    EXPECT_EQ(ParseRawDate(notDecimal, &date), eErrorProfileTypeMismatch) << notDecimal;
    EXPECT_EQ(date, 7.0) << notDecimal;
  }
  EXPECT_EQ(ParseRawTime("0x5", &date), eErrorProfileTypeMismatch) << "not five days";
  EXPECT_EQ(ParseRawDateOnly("0x10", &date), eErrorProfileTypeMismatch);
  const std::pair<const char*, double> decimals[] = {
      {"1e3", 1000.0},  {"+5", 5.0},     {"  12.5xyz", 12.5}, {".5", 0.5},    {"5.", 5.0},
      {"-2.25", -2.25}, {"1e", 1.0},     {"1e+", 1.0},        {"2E-1", 0.2},  {"36526,75", 36526.0},
      {"\t\n7", 7.0},   {"12x34", 12.0}, {"0.", 0.0},         {"00.000", 0.0}};
  for (const auto& [text, expected] : decimals) {
    date = 7;
    EXPECT_EQ(ParseRawDate(text, &date), S_OK) << text;
    EXPECT_DOUBLE_EQ(date, expected) << text;
  }
}

// Found by the raw value fuzzer: the date -6.2e-61 was written "-0.000000", which the date
// parse refuses, so a date the store wrote could not be read back.
TEST(RawValueTest, RegressionFuzzNegativeDateRoundingToZeroReadsBack) {
  DATE date = 0;
  ASSERT_EQ(ParseRawDate("-62e-62", &date), S_OK);
  EXPECT_LT(date, 0.0);
  EXPECT_EQ(FormatRawDate(date), "0.000000");
  DATE again = 5;
  EXPECT_EQ(ParseRawDate(FormatRawDate(date), &again), S_OK);
  EXPECT_EQ(again, 0.0);
  for (const double tiny : {-1e-7, -4.9e-7, -0.0, -1e-300}) {
    EXPECT_EQ(FormatRawDate(tiny), "0.000000") << tiny;
  }
  EXPECT_EQ(FormatRawDate(-6e-7), "-0.000001") << "one that rounds away from zero keeps its sign";
  std::string text;
  EXPECT_EQ(VariantToRawString(*Variant::R8(-1e-7).get(), &text), S_OK);
  EXPECT_EQ(text, "0.000000");
  EXPECT_EQ(VariantToRawString(*Variant::R8(-0.0).get(), &text), S_OK);
  EXPECT_EQ(text, "0");
}

// Every host that calls setlocale (each Qt program does) must still read and write the
// same raw numbers: they are C-locale texts. Only display text follows the locale.
TEST(RawValueTest, RawNumbersStayInTheCLocaleUnderAGermanLocale) {
  testing::GermanLocale german;
  if (!german.active()) GTEST_SKIP() << german.why();
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 2.5);
  ASSERT_STREQ(probe, "2,5") << "the locale in force writes a decimal comma";

  EXPECT_EQ(FormatRawDate(36526.75), "36526.750000");
  DATE date = 0;
  EXPECT_EQ(ParseRawDate("36526.75", &date), S_OK);
  EXPECT_EQ(date, 36526.75);
  EXPECT_EQ(ParseRawDate("36526,75", &date), S_OK);
  EXPECT_EQ(date, 36526.0) << "a comma ends the number";
  EXPECT_EQ(ParseRawTime("0.25", &date), S_OK);
  EXPECT_EQ(date, 0.25);
  EXPECT_EQ(ParseRawDateOnly("36526.5", &date), eErrorProfileTypeMismatch);
  LONG number = 0;
  EXPECT_EQ(ParseRawInteger("-1234", &number), S_OK);
  EXPECT_EQ(number, -1234);

  std::string text;
  EXPECT_EQ(VariantToRawString(*Variant::R8(2.5).get(), &text), S_OK);
  EXPECT_EQ(text, "2.500000");
  EXPECT_EQ(VariantToRawString(*Variant::Date(36526.75).get(), &text), S_OK);
  EXPECT_EQ(text, "36526.750000");
  VARIANT single;
  VariantInit(&single);
  single.vt = VT_R4;
  single.fltVal = 0.5F;
  EXPECT_EQ(VariantToRawString(single, &text), S_OK);
  EXPECT_EQ(text, "0.500000");
  double real = 2.5;
  VARIANT byRef;
  VariantInit(&byRef);
  byRef.vt = VT_BYREF | VT_R8;
  byRef.pdblVal = &real;
  EXPECT_EQ(VariantToRawString(byRef, &text), S_OK);
  EXPECT_EQ(text, "2.5") << "the platform's conversion of numbers is locale-neutral too";
  Variant typed;
  EXPECT_EQ(TypedValueOfRaw("36526.75", eTypeDateTime, typed.put()), S_OK);
  EXPECT_EQ(typed->date, 36526.75);
}

TEST(RawValueTest, TypedValuesAndValidation) {
  Variant value;
  EXPECT_EQ(TypedValueOfRaw("42", eTypeInt32, value.put()), S_OK);
  EXPECT_EQ(value.vt(), VT_I4);
  EXPECT_EQ(value->lVal, 42);
  EXPECT_EQ(TypedValueOfRaw("x", eTypeInt32, value.put()), eErrorProfileTypeMismatch);
  EXPECT_EQ(value.vt(), VT_I4) << "the target type stays after a failure";
  EXPECT_EQ(value->lVal, 0);
  EXPECT_EQ(TypedValueOfRaw("36526.5", eTypeDateTime, value.put()), S_OK);
  EXPECT_EQ(value.vt(), VT_DATE);
  EXPECT_EQ(TypedValueOfRaw("36526.5", eTypeDate, value.put()), eErrorProfileTypeMismatch);
  EXPECT_EQ(TypedValueOfRaw("a\x01"
                            "b",
                            eTypeStringList, value.put()),
            S_OK);
  EXPECT_EQ(value.vt(), VT_BSTR);
  EXPECT_EQ(TypedValueOfRaw("T", eTypeBoolean, value.put()), S_OK);
  EXPECT_EQ(value->boolVal, VARIANT_TRUE);
  EXPECT_EQ(TypedValueOfRaw("70000", eTypeEnumOfStrings, value.put()), S_OK);
  EXPECT_EQ(value.vt(), VT_I2);
  EXPECT_EQ(value->iVal, static_cast<SHORT>(70000)) << "cut to 16 bits";
  EXPECT_EQ(TypedValueOfRaw("x", eTypeArrayOfStrings, value.put()), eErrorProfileTypeMismatch);
  EXPECT_EQ(value.vt(), VT_EMPTY);
  EXPECT_EQ(TypedValueOfRaw("x", 42, value.put()), eErrorProfileTypeMismatch);

  EXPECT_EQ(ValidateRawValue(kNotSetMarker, eTypeInt32), S_OK);
  EXPECT_EQ(ValidateRawValue("anything", eTypeArrayOfStrings), S_OK);
  EXPECT_EQ(ValidateRawValue("abc", eTypeInt32), eErrorProfileTypeMismatch);
  EXPECT_EQ(ValidateRawValue("", eTypeString), S_OK);
  EXPECT_EQ(ValidateRawValue("", eTypeBoolean), E_INVALIDARG);
}

TEST(RawValueTest, StringListJoinStopsAtTheFirstEmptyItem) {
  EXPECT_EQ(StringListDisplayJoin("a\x01"
                                  "b\x01\x01"
                                  "c"),
            "a, b");
  EXPECT_EQ(StringListDisplayJoin("only"), "only");
  EXPECT_EQ(StringListDisplayJoin(""), "");
  EXPECT_EQ(StringListDisplayJoin("\x01"
                                  "a"),
            "");
  EXPECT_EQ(StringListDisplayJoin("a\x01"), "a");
}

class TimeZone {
 public:
  explicit TimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) m_old = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TimeZone() {
    if (m_old.empty()) {
      unsetenv("TZ");
    } else {
      setenv("TZ", m_old.c_str(), 1);
    }
    tzset();
  }

 private:
  std::string m_old;
};

TEST(RawValueTest, SecondsSince1970ReadTheDateAsLocalTime) {
  LONG seconds = 7;
  {
    TimeZone utc("UTC");
    EXPECT_EQ(RawDateToSecondsSince1970("25569", &seconds), S_OK);
    EXPECT_EQ(seconds, 0);
    EXPECT_EQ(RawDateToSecondsSince1970("25569.5", &seconds), S_OK);
    EXPECT_EQ(seconds, 43200);
    EXPECT_EQ(RawDateToSecondsSince1970("2958465", &seconds), S_OK);
    EXPECT_EQ(seconds, -1) << "the year 9999 does not fit 32 bits";
    EXPECT_EQ(RawDateToSecondsSince1970("x", &seconds), eErrorProfileTypeMismatch);
  }
  {
    TimeZone eastern("EST5");
    EXPECT_EQ(RawDateToSecondsSince1970("25569", &seconds), S_OK);
    EXPECT_EQ(seconds, 5 * 3600) << "midnight in UTC-5 is five hours after midnight UTC";
  }
}

}  // namespace
}  // namespace lumora
