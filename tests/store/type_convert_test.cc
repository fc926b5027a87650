// PRTypeConvert as clients meet it: from the component library through the registry or
// DllGetClassObject, through its table of functions and through IDispatch.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "lumora/profile.h"
#include "lumora/values.h"
#include "store/type_convert.h"
#include "tests/store/german_locale.h"
#include "tests/support/temp_home.h"

namespace lumora {
namespace {

class TypeConvertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_home = std::make_unique<testing::TempHome>();
    ASSERT_EQ(m_home->RegisterServer(LUMORA_COMPONENT_LIBRARY), S_OK);
    ASSERT_EQ(
        CoCreateInstance(CLSID_PRTypeConvert, nullptr, CLSCTX_INPROC_SERVER, IID_IPRTypeConvert, m_convert.put_void()),
        S_OK);
  }
  void TearDown() override {
    m_convert.reset();
    CoFreeUnusedLibraries();
    m_home.reset();
  }
  std::unique_ptr<testing::TempHome> m_home;
  ComPtr<IPRTypeConvert> m_convert;
};

Bstr B(const char* text) { return Bstr::FromUtf8(text); }

TEST_F(TypeConvertTest, EveryMethodFollowsTheRawValueRules) {
  DATE date = -1;
  EXPECT_EQ(m_convert->ConvertRawStringToDate(B("36526.5").get(), &date), eErrorProfileTypeMismatch);
  EXPECT_EQ(m_convert->ConvertRawStringToDate(B("36526").get(), &date), S_OK);
  EXPECT_EQ(date, 36526.0);
  Bstr text;
  EXPECT_EQ(m_convert->ConvertDateToRawString(36526.75, text.put()), S_OK);
  EXPECT_EQ(text.ToUtf8(), "36526.750000") << "not truncated to the date";
  VARIANT_BOOL flag = 0;
  EXPECT_EQ(m_convert->ConvertRawStringToBoolean(B("True").get(), &flag), S_OK);
  EXPECT_EQ(flag, VARIANT_TRUE);
  EXPECT_EQ(m_convert->ConvertBooleanToRawString(1, text.put()), S_OK);
  EXPECT_EQ(text.ToUtf8(), "0") << "only VARIANT_TRUE is true";
  EXPECT_EQ(m_convert->ConvertBooleanToRawString(VARIANT_TRUE, text.put()), S_OK);
  EXPECT_EQ(text.ToUtf8(), "1");
  LONG number = 0;
  EXPECT_EQ(m_convert->ConvertRawStringToInt32(B("12abc").get(), &number), S_OK);
  EXPECT_EQ(number, 12);
  EXPECT_EQ(m_convert->ConvertRawStringToInt32(B("abc").get(), &number), eErrorProfileTypeMismatch);
  EXPECT_EQ(m_convert->ConvertRawStringToInt32(nullptr, &number), E_INVALIDARG) << "a null BSTR is empty";
  EXPECT_EQ(m_convert->ConvertInt32ToRawString(-42, text.put()), S_OK);
  EXPECT_EQ(text.ToUtf8(), "-42");
  EXPECT_EQ(m_convert->ConvertEnumToRawString(-2, text.put()), S_OK);
  EXPECT_EQ(text.ToUtf8(), "-2") << "sign-extended";
  SHORT option = 0;
  EXPECT_EQ(m_convert->ConvertRawStringToEnum(B("65537").get(), &option), S_OK);
  EXPECT_EQ(option, 1) << "cut to 16 bits";
  EXPECT_EQ(m_convert->ConvertRawStringToDateTime(B("0.").get(), &date), S_OK);
  EXPECT_EQ(date, 0.0);
  EXPECT_EQ(m_convert->ConvertRawStringToDateTime(B("x").get(), &date), eErrorProfileTypeMismatch);
  EXPECT_EQ(m_convert->ConvertRawStringToDateTime(B("").get(), &date), E_INVALIDARG);
  EXPECT_EQ(m_convert->ConvertRawStringToTime(B("1.25").get(), &date), eErrorProfileTypeMismatch);
  EXPECT_EQ(m_convert->ConvertRawStringToTime(B("0.25").get(), &date), S_OK);
  EXPECT_EQ(date, 0.25);
  EXPECT_EQ(m_convert->ConvertTimeToRawString(1.25, text.put()), S_OK);
  EXPECT_EQ(text.ToUtf8(), "1.250000") << "not reduced to the time";
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(m_convert->ConvertRawStringToMillisecsAfter1970(B("25569").get(), &number), S_OK);
  EXPECT_EQ(number, 0);
  unsetenv("TZ");
  tzset();
  EXPECT_EQ(m_convert->ConvertRawStringToInt32(B("1").get(), nullptr), E_POINTER);
}

TEST_F(TypeConvertTest, DatesAreDecimalCLocaleTextsUnderAnyLocale) {
  testing::GermanLocale german;
  if (!german.active()) GTEST_SKIP() << german.why();
  Bstr text;
  EXPECT_EQ(m_convert->ConvertDateTimeToRawString(36526.75, text.put()), S_OK);
  EXPECT_EQ(text.ToUtf8(), "36526.750000") << "not 36526,750000";
  DATE date = 0;
  EXPECT_EQ(m_convert->ConvertRawStringToDateTime(text.get(), &date), S_OK);
  EXPECT_EQ(date, 36526.75) << "not cut at the point";
  EXPECT_EQ(m_convert->ConvertTimeToRawString(0.5, text.put()), S_OK);
  EXPECT_EQ(text.ToUtf8(), "0.500000");
  date = 3;
  EXPECT_EQ(m_convert->ConvertRawStringToDateTime(B("0x10").get(), &date), eErrorProfileTypeMismatch);
  EXPECT_EQ(m_convert->ConvertRawStringToTime(B("0x5").get(), &date), eErrorProfileTypeMismatch);
  EXPECT_EQ(m_convert->ConvertRawStringToDateTime(B("inf").get(), &date), eErrorProfileTypeMismatch);
  LONG seconds = 0;
  EXPECT_EQ(m_convert->ConvertRawStringToMillisecsAfter1970(B("nan").get(), &seconds), eErrorProfileTypeMismatch);
  EXPECT_EQ(date, 3.0) << "left alone";
  EXPECT_EQ(m_convert->ConvertDateTimeToRawString(-1e-7, text.put()), S_OK);
  EXPECT_EQ(text.ToUtf8(), "0.000000");
  EXPECT_EQ(m_convert->ConvertRawStringToDateTime(text.get(), &date), S_OK) << "what is written reads back";
  text = Bstr::FromUtf8("kept");
  BSTR out = text.get();
  EXPECT_EQ(m_convert->ConvertDateTimeToRawString(std::nan(""), &out), E_INVALIDARG);
  EXPECT_EQ(m_convert->ConvertDateToRawString(-HUGE_VAL, &out), E_INVALIDARG);
  EXPECT_EQ(out, text.get()) << "nothing is written for a date that is no number";
}

TEST_F(TypeConvertTest, OneObjectForEveryCreation) {
  ComPtr<IPRTypeConvert> second;
  ASSERT_EQ(CoCreateInstance(CLSID_PRTypeConvert, nullptr, CLSCTX_INPROC_SERVER, IID_IPRTypeConvert, second.put_void()),
            S_OK);
  EXPECT_EQ(second.get(), m_convert.get());
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"PRTypeConvert.PRTypeConvert", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_PRTypeConvert);

  void* library = dlopen(LUMORA_COMPONENT_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(library, nullptr);
  auto getClassObject = reinterpret_cast<PFN_DllGetClassObject>(dlsym(library, "DllGetClassObject"));
  auto canUnload = reinterpret_cast<PFN_DllCanUnloadNow>(dlsym(library, "DllCanUnloadNow"));
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(getClassObject(CLSID_PRTypeConvert, IID_IClassFactory, factory.put_void()), S_OK);
  ComPtr<IPRTypeConvert> third;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPRTypeConvert, third.put_void()), S_OK);
  EXPECT_EQ(third.get(), m_convert.get());
  ComPtr<IUnknown> none;
  EXPECT_EQ(getClassObject(IID_IPRTypeConvert, IID_IClassFactory, none.put_void()), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(getClassObject(CLSID_PRTypeConvert, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(canUnload(), S_FALSE) << "a client holds the class object";
  factory.reset();
  EXPECT_EQ(canUnload(), S_OK) << "the singleton itself does not hold the library";
  dlclose(library);
}

TEST_F(TypeConvertTest, LateBindingByNameAndDispid) {
  ComPtr<IDispatch> dispatch = m_convert.query<IDispatch>();
  LPOLESTR names[] = {const_cast<LPOLESTR>(u"convertrawstringtomillisecsafter1970")};
  DISPID id = 0;
  ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
  EXPECT_EQ(id, 13);
  for (DISPID expected = 1; expected <= 13; ++expected) {
    const char* name = DispatchTable<IPRTypeConvert>::Get()[static_cast<size_t>(expected - 1)].name;
    const std::u16string wide(name, name + std::char_traits<char>::length(name));
    LPOLESTR lookup[] = {const_cast<LPOLESTR>(wide.c_str())};
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, lookup, 1, 0, &id), S_OK) << name;
    EXPECT_EQ(id, expected) << name << " sits at slot " << expected;
  }
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_I4;
  arg.lVal = 36526;  // coerced to the DATE parameter
  DISPPARAMS params{&arg, nullptr, 1, 0};
  Variant result;
  ASSERT_EQ(dispatch->Invoke(11, IID_NULL, 0, DISPATCH_METHOD, &params, result.get(), nullptr, nullptr), S_OK);
  EXPECT_EQ(Bstr::ToUtf8(result->bstrVal), "36526.000000");
  Variant text = Variant::Utf8("abc");
  DISPPARAMS parse{text.get(), nullptr, 1, 0};
  EXCEPINFO info{};
  EXPECT_EQ(dispatch->Invoke(5, IID_NULL, 0, DISPATCH_METHOD, &parse, result.put(), &info, nullptr), DISP_E_EXCEPTION);
  EXPECT_EQ(info.scode, eErrorProfileTypeMismatch);
  EXPECT_EQ(dispatch->Invoke(14, IID_NULL, 0, DISPATCH_METHOD, &parse, result.put(), nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
}

}  // namespace
}  // namespace lumora
