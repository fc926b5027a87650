// VARIANT life cycle and VariantChangeType between the types the system uses.
#include <gtest/gtest.h>

#include <cstdlib>

#include "lumora/values.h"
#include "tests/support/counting_unknown.h"

namespace lumora {
namespace {

struct Outcome {
  HRESULT hr;
  Variant value;
};

Outcome Change(const VARIANT& source, VARTYPE vt, USHORT flags = 0) {
  Outcome outcome{S_OK, Variant()};
  outcome.hr = VariantChangeType(outcome.value.get(), &source, flags, vt);
  return outcome;
}

std::string AsText(const Variant& v) { return Bstr::ToUtf8(v->bstrVal); }

class VariantTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("LC_ALL", "C", 1); }
  void TearDown() override { unsetenv("LC_ALL"); }
};

TEST_F(VariantTest, IntegersRangeCheckAndRoundHalfToEven) {
  EXPECT_EQ(Change(*Variant::I4(40000).get(), VT_I2).hr, DISP_E_OVERFLOW);
  EXPECT_EQ(Change(*Variant::I4(-32768).get(), VT_I2).value->iVal, -32768);
  EXPECT_EQ(Change(*Variant::I4(-32769).get(), VT_I2).hr, DISP_E_OVERFLOW);
  EXPECT_EQ(Change(*Variant::R8(2.5).get(), VT_I4).value->lVal, 2);
  EXPECT_EQ(Change(*Variant::R8(3.5).get(), VT_I4).value->lVal, 4);
  EXPECT_EQ(Change(*Variant::R8(-2.5).get(), VT_I4).value->lVal, -2);
  EXPECT_EQ(Change(*Variant::R8(2147483648.0).get(), VT_I4).hr, DISP_E_OVERFLOW);
  EXPECT_EQ(Change(*Variant::I2(-7).get(), VT_I4).value->lVal, -7);
  const Outcome fromI2 = Change(*Variant::I2(300).get(), VT_R8);
  EXPECT_EQ(fromI2.value.vt(), VT_R8);
  EXPECT_EQ(fromI2.value->dblVal, 300.0);
}

TEST_F(VariantTest, StringsParseAsWholeNumbersOnly) {
  EXPECT_EQ(Change(*Variant::Utf8("12").get(), VT_I4).value->lVal, 12);
  EXPECT_EQ(Change(*Variant::Utf8("  -7 ").get(), VT_I4).value->lVal, -7);
  EXPECT_EQ(Change(*Variant::Utf8("1e3").get(), VT_I4).value->lVal, 1000);
  EXPECT_EQ(Change(*Variant::Utf8("2.5").get(), VT_R8).value->dblVal, 2.5);
  for (const char* bad : {"12abc", "", "  ", "abc", "0x10", "inf", "nan", "1,5"}) {
    EXPECT_EQ(Change(*Variant::Utf8(bad).get(), VT_I4).hr, DISP_E_TYPEMISMATCH) << '"' << bad << '"';
  }
  EXPECT_EQ(Change(*Variant::Utf8("70000").get(), VT_I2).hr, DISP_E_OVERFLOW);
  EXPECT_EQ(Change(*Variant::Utf8("1e400").get(), VT_R8).hr, DISP_E_OVERFLOW);
}

TEST_F(VariantTest, BooleansFollowThePlatformRules) {
  EXPECT_EQ(Change(*Variant::Utf8("True").get(), VT_BOOL).value->boolVal, VARIANT_TRUE);
  EXPECT_EQ(Change(*Variant::Utf8(" false ").get(), VT_BOOL).value->boolVal, VARIANT_FALSE);
  EXPECT_EQ(Change(*Variant::Utf8("2").get(), VT_BOOL).value->boolVal, VARIANT_TRUE);
  EXPECT_EQ(Change(*Variant::Utf8("0").get(), VT_BOOL).value->boolVal, VARIANT_FALSE);
  EXPECT_EQ(Change(*Variant::Utf8("yes").get(), VT_BOOL).hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Change(*Variant::Bool(true).get(), VT_I4).value->lVal, -1);
  EXPECT_EQ(Change(*Variant::I4(5).get(), VT_BOOL).value->boolVal, VARIANT_TRUE);
  EXPECT_EQ(AsText(Change(*Variant::Bool(true).get(), VT_BSTR).value), "-1");
  EXPECT_EQ(AsText(Change(*Variant::Bool(false).get(), VT_BSTR).value), "0");
  EXPECT_EQ(AsText(Change(*Variant::Bool(true).get(), VT_BSTR, VARIANT_ALPHABOOL).value), "True");
}

TEST_F(VariantTest, NumbersFormatWithoutNeedlessDigits) {
  EXPECT_EQ(AsText(Change(*Variant::R8(2.5).get(), VT_BSTR).value), "2.5");
  EXPECT_EQ(AsText(Change(*Variant::R8(3.0).get(), VT_BSTR).value), "3");
  EXPECT_EQ(AsText(Change(*Variant::R8(0.1).get(), VT_BSTR).value), "0.1");
  EXPECT_EQ(AsText(Change(*Variant::I4(-2147483647 - 1).get(), VT_BSTR).value), "-2147483648");
  EXPECT_EQ(AsText(Change(*Variant::I2(12).get(), VT_BSTR).value), "12");
}

TEST_F(VariantTest, DatesConvertAsDayCountsAndLocaleText) {
  EXPECT_EQ(AsText(Change(*Variant::Date(36526.5).get(), VT_BSTR).value), "01/01/2000 12:00:00");
  EXPECT_EQ(AsText(Change(*Variant::Date(36526.0).get(), VT_BSTR).value), "01/01/2000");
  const Outcome parsed = Change(*Variant::Utf8("2000-01-01 12:00:00").get(), VT_DATE);
  ASSERT_EQ(parsed.hr, S_OK);
  EXPECT_EQ(parsed.value.vt(), VT_DATE);
  EXPECT_DOUBLE_EQ(parsed.value->date, 36526.5);
  EXPECT_DOUBLE_EQ(Change(*Variant::Utf8("01/01/2000").get(), VT_DATE).value->date, 36526.0);
  EXPECT_EQ(Change(*Variant::Utf8("yesterday").get(), VT_DATE).hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Change(*Variant::Date(36526.5).get(), VT_I4).value->lVal, 36526) << "half rounds to even";
  EXPECT_DOUBLE_EQ(Change(*Variant::I4(36526).get(), VT_DATE).value->date, 36526.0);
  EXPECT_EQ(Change(*Variant::I4(3000000).get(), VT_DATE).hr, DISP_E_OVERFLOW);
}

TEST_F(VariantTest, ByReferenceSourcesAreFollowed) {
  LONG number = 5;
  VARIANT refI4;
  VariantInit(&refI4);
  refI4.vt = VT_BYREF | VT_I4;
  refI4.plVal = &number;
  EXPECT_EQ(AsText(Change(refI4, VT_BSTR).value), "5");

  Bstr text = Bstr::FromUtf8("41");
  BSTR raw = text.get();
  VARIANT refBstr;
  VariantInit(&refBstr);
  refBstr.vt = VT_BYREF | VT_BSTR;
  refBstr.pbstrVal = &raw;
  EXPECT_EQ(Change(refBstr, VT_I2).value->iVal, 41);

  VARIANT_BOOL flag = VARIANT_TRUE;
  VARIANT refBool;
  VariantInit(&refBool);
  refBool.vt = VT_BYREF | VT_BOOL;
  refBool.pboolVal = &flag;
  VARIANT refVariant;
  VariantInit(&refVariant);
  refVariant.vt = VT_BYREF | VT_VARIANT;
  refVariant.pvarVal = &refBool;
  EXPECT_EQ(Change(refVariant, VT_I4).value->lVal, -1);

  DATE when = 2.25;
  VARIANT refDate;
  VariantInit(&refDate);
  refDate.vt = VT_BYREF | VT_DATE;
  refDate.pdate = &when;
  EXPECT_DOUBLE_EQ(Change(refDate, VT_R8).value->dblVal, 2.25);

  VARIANT broken;
  VariantInit(&broken);
  broken.vt = VT_BYREF | VT_I4;
  broken.plVal = nullptr;
  EXPECT_EQ(Change(broken, VT_BSTR).hr, E_INVALIDARG);
  EXPECT_EQ(Change(*Variant::I4(1).get(), VT_BYREF | VT_I4).hr, DISP_E_TYPEMISMATCH) << "no by-reference targets";
}

// A by-reference VARIANT leads to a value, never to another by-reference VARIANT: a chain,
// and above all one that leads back to itself, is refused instead of followed for ever.
TEST_F(VariantTest, ByReferenceVariantsThatLeadToOthersAreRefused) {
  VARIANT self;
  VariantInit(&self);
  self.vt = VT_BYREF | VT_VARIANT;
  self.pvarVal = &self;
  EXPECT_EQ(Change(self, VT_BSTR).hr, E_INVALIDARG);

  VARIANT first;
  VARIANT second;
  VariantInit(&first);
  VariantInit(&second);
  first.vt = second.vt = VT_BYREF | VT_VARIANT;
  first.pvarVal = &second;
  second.pvarVal = &first;
  EXPECT_EQ(Change(first, VT_I4).hr, E_INVALIDARG);
  Variant copy;
  EXPECT_EQ(VariantCopyInd(copy.get(), &first), E_INVALIDARG);
}

TEST_F(VariantTest, EmptyNullAndBadTypes) {
  Variant empty;
  EXPECT_EQ(Change(*empty.get(), VT_I4).value->lVal, 0);
  EXPECT_EQ(AsText(Change(*empty.get(), VT_BSTR).value), "");
  VARIANT null;
  VariantInit(&null);
  null.vt = VT_NULL;
  EXPECT_EQ(Change(null, VT_I4).hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Change(null, VT_BSTR).hr, DISP_E_TYPEMISMATCH);
  VARIANT bogus;
  VariantInit(&bogus);
  bogus.vt = 0x00FF;
  EXPECT_EQ(Change(bogus, VT_I4).hr, DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantClear(&bogus), DISP_E_BADVARTYPE);
  EXPECT_EQ(Change(*Variant::I4(1).get(), 0x00FF).hr, DISP_E_BADVARTYPE);
}

TEST_F(VariantTest, FailedConversionLeavesTheDestinationAlone) {
  Variant dest = Variant::Utf8("kept");
  Variant source = Variant::Utf8("not a number");
  EXPECT_EQ(VariantChangeType(dest.get(), source.get(), 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(dest.vt(), VT_BSTR);
  EXPECT_EQ(AsText(dest), "kept");
}

TEST_F(VariantTest, InPlaceConversionReleasesTheOldValue) {
  Variant v = Variant::Utf8("123");
  ASSERT_EQ(VariantChangeType(v.get(), v.get(), 0, VT_I4), S_OK);  // the string must not leak
  EXPECT_EQ(v.vt(), VT_I4);
  EXPECT_EQ(v->lVal, 123);
}

TEST_F(VariantTest, CopyIsDeepAndClearReleases) {
  testing::CountingUnknown unknown;
  {
    Variant held;
    held->vt = VT_UNKNOWN;
    held->punkVal = &unknown;
    unknown.AddRef();
    Variant copy = Variant::Copy(*held.get());
    EXPECT_EQ(unknown.held(), 2);
    Variant overwritten = Variant::Utf8("old");
    ASSERT_EQ(VariantCopy(overwritten.get(), held.get()), S_OK);  // frees "old"
    EXPECT_EQ(unknown.held(), 3);
  }
  EXPECT_EQ(unknown.held(), 0);

  Variant binary;
  binary->vt = VT_BSTR;
  binary->bstrVal = SysAllocStringByteLen("a\0b", 3);
  Variant copy = Variant::Copy(*binary.get());
  EXPECT_NE(copy->bstrVal, binary->bstrVal);
  EXPECT_EQ(SysStringByteLen(copy->bstrVal), 3u) << "the odd byte length survives a copy";

  LONG target = 9;
  VARIANT byRef;
  VariantInit(&byRef);
  byRef.vt = VT_BYREF | VT_I4;
  byRef.plVal = &target;
  Variant shallow;
  ASSERT_EQ(VariantCopy(shallow.get(), &byRef), S_OK);
  EXPECT_EQ(shallow->plVal, &target) << "a by-reference value copies the reference";
  Variant deep;
  ASSERT_EQ(VariantCopyInd(deep.get(), &byRef), S_OK);
  EXPECT_EQ(deep.vt(), VT_I4);
  EXPECT_EQ(deep->lVal, 9);
}

}  // namespace
}  // namespace lumora
