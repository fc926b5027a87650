// The raw value rules: parsing, writing, typed values and the string list join.
#include "store/raw_value.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "lumora/profile.h"
#include "lumora/values.h"

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
  LONG number = 41;
  VARIANT byRef;
  VariantInit(&byRef);
  byRef.vt = VT_BYREF | VT_I4;
  byRef.plVal = &number;
  EXPECT_EQ(VariantToRawString(byRef, &text), S_OK);
  EXPECT_EQ(text, "41");
  VARIANT null;
  VariantInit(&null);
  null.vt = VT_NULL;
  EXPECT_EQ(VariantToRawString(null, &text), DISP_E_TYPEMISMATCH);
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
