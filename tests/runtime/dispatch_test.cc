// Late binding through the declarative dispatch table, on an object of a separately built
// server library.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "lumora/values.h"
#include "tests/runtime/server_fixture.h"

namespace lumora {
namespace {

class DispatchTest : public testing::ServerTest {
 protected:
  // Invokes with the arguments in call order (they are reversed for the call).
  HRESULT Call(DISPID dispid, WORD flags, std::vector<Variant>& args, Variant* result, EXCEPINFO* info = nullptr,
               UINT* argErr = nullptr) {
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it->get());
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), flags == DISPATCH_PROPERTYPUT ? &named : nullptr,
                      static_cast<UINT>(reversed.size()), flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
    return m_dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                              result != nullptr ? result->get() : nullptr, info, argErr);
  }

  void SetUp() override {
    ServerTest::SetUp();
    m_widget = MakeWidget();
    ASSERT_TRUE(m_widget);
    m_dispatch = m_widget.query<IDispatch>();
  }
  void TearDown() override {
    m_dispatch.reset();
    m_widget.reset();
    ServerTest::TearDown();
  }

  ComPtr<ITestWidget> m_widget;
  ComPtr<IDispatch> m_dispatch;
};

TEST_F(DispatchTest, NamesResolveWithoutRegardToCase) {
  for (const char16_t* name : {u"Add", u"add", u"ADD"}) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    ASSERT_EQ(m_dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 1);
  }
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(u"Addition")};
  DISPID id = 0;
  EXPECT_EQ(m_dispatch->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
  LPOLESTR withParameter[] = {const_cast<LPOLESTR>(u"Add"), const_cast<LPOLESTR>(u"a")};
  DISPID ids[2] = {};
  EXPECT_EQ(m_dispatch->GetIDsOfNames(IID_NULL, withParameter, 2, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);
  UINT count = 9;
  EXPECT_EQ(m_dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
}

// A script engine hands over arguments by reference; a hostile caller can make one lead
// back to itself. The call is refused as a type mismatch, never followed for ever.
TEST_F(DispatchTest, ByReferenceArgumentsThatLeadBackToThemselvesAreRefused) {
  VARIANT args[2];  // Add(a, b), arguments last first
  VariantInit(&args[0]);
  VariantInit(&args[1]);
  args[1].vt = VT_I4;
  args[1].lVal = 1;
  args[0].vt = VT_BYREF | VT_VARIANT;
  args[0].pvarVal = &args[0];
  DISPPARAMS params{args, nullptr, 2, 0};
  Variant result;
  UINT argErr = 99;
  EXPECT_EQ(
      m_dispatch->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.get(), nullptr, &argErr),
      DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 0u);

  VARIANT other;
  VariantInit(&other);
  other.vt = VT_BYREF | VT_VARIANT;
  other.pvarVal = &args[0];
  args[0].pvarVal = &other;
  EXPECT_EQ(
      m_dispatch->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.get(), nullptr, &argErr),
      DISP_E_TYPEMISMATCH);
}

TEST_F(DispatchTest, ArgumentsArriveInOrderAndAreCoerced) {
  std::vector<Variant> args;
  args.push_back(Variant::Utf8("40000"));  // a: LONG, from text
  args.push_back(Variant::I4(1));          // b: SHORT, from I4
  Variant result;
  ASSERT_EQ(Call(1, DISPATCH_METHOD, args, &result), S_OK);
  EXPECT_EQ(result.vt(), VT_I4);
  EXPECT_EQ(result->lVal, 40001) << "had the order been reversed, 40000 would not fit b";

  std::vector<Variant> overflow;
  overflow.push_back(Variant::I4(1));
  overflow.push_back(Variant::I4(40000));
  UINT argErr = 99;
  EXPECT_EQ(Call(1, DISPATCH_METHOD, overflow, &result, nullptr, &argErr), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 0u) << "b is the last argument, so it stands first";

  std::vector<Variant> text;
  text.push_back(Variant::Utf8("one"));
  text.push_back(Variant::I2(1));
  EXPECT_EQ(Call(1, DISPATCH_METHOD, text, &result, nullptr, &argErr), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 1u);

  std::vector<Variant> date;
  setenv("LC_ALL", "C", 1);
  date.push_back(Variant::Utf8("2000-01-01"));
  ASSERT_EQ(Call(5, DISPATCH_METHOD, date, &result), S_OK);
  EXPECT_EQ(result.vt(), VT_DATE);
  EXPECT_DOUBLE_EQ(result->date, 36527.0);
  unsetenv("LC_ALL");

  std::vector<Variant> flag;
  flag.push_back(Variant::I4(5));
  ASSERT_EQ(Call(6, DISPATCH_METHOD, flag, &result), S_OK);
  EXPECT_EQ(result->lVal, 1) << "5 coerces to VARIANT_TRUE";
}

TEST_F(DispatchTest, MembersAndCountsAreChecked) {
  std::vector<Variant> none;
  Variant result;
  EXPECT_EQ(Call(99, DISPATCH_METHOD, none, &result), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(1, DISPATCH_METHOD, none, &result), DISP_E_BADPARAMCOUNT);
  std::vector<Variant> three;
  for (int i = 0; i < 3; ++i) three.push_back(Variant::I4(i));
  EXPECT_EQ(Call(1, DISPATCH_METHOD, three, &result), DISP_E_BADPARAMCOUNT);
  std::vector<Variant> one;
  one.push_back(Variant::I4(1));
  EXPECT_EQ(Call(1, DISPATCH_PROPERTYPUT, one, &result), DISP_E_MEMBERNOTFOUND) << "Add is no property";
  DISPPARAMS params{nullptr, nullptr, 0, 0};
  EXPECT_EQ(m_dispatch->Invoke(0, IID_IDispatch, 0, DISPATCH_PROPERTYGET, &params, nullptr, nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
}

TEST_F(DispatchTest, PropertiesGetAndPut) {
  std::vector<Variant> none;
  Variant result = Variant::Utf8("stale");  // replaced, not leaked
  ASSERT_EQ(Call(DISPID_VALUE, DISPATCH_PROPERTYGET, none, &result), S_OK);
  EXPECT_EQ(Bstr::ToUtf8(result->bstrVal), "widget");
  std::vector<Variant> value;
  value.push_back(Variant::I4(12));  // coerced to the property's BSTR
  ASSERT_EQ(Call(DISPID_VALUE, DISPATCH_PROPERTYPUT, value, nullptr), S_OK);
  ASSERT_EQ(Call(DISPID_VALUE, DISPATCH_PROPERTYGET | DISPATCH_METHOD, none, &result), S_OK);
  EXPECT_EQ(Bstr::ToUtf8(result->bstrVal), "12");
  Bstr direct;
  ASSERT_EQ(m_widget->get_Name(direct.put()), S_OK);
  EXPECT_EQ(direct.ToUtf8(), "12");
}

TEST_F(DispatchTest, FailuresTravelInTheExceptionInfo) {
  std::vector<Variant> code;
  code.push_back(Variant::I4(static_cast<LONG>(0x8004E302)));
  EXCEPINFO info{};
  EXPECT_EQ(Call(2, DISPATCH_METHOD, code, nullptr, &info), DISP_E_EXCEPTION);
  EXPECT_EQ(info.scode, static_cast<SCODE>(0x8004E302));
  EXPECT_EQ(Call(2, DISPATCH_METHOD, code, nullptr), static_cast<HRESULT>(0x8004E302));
  std::vector<Variant> warning;
  warning.push_back(Variant::I4(0x0004E303));
  EXPECT_EQ(Call(2, DISPATCH_METHOD, warning, nullptr, &info), 0x0004E303) << "a warning is a success";
}

TEST_F(DispatchTest, VariantParametersByValueAndByReference) {
  LONG seven = 7;
  Variant byRef;
  byRef->vt = VT_BYREF | VT_I4;
  byRef->plVal = &seven;
  std::vector<Variant> args;
  args.push_back(std::move(byRef));
  Variant result;
  ASSERT_EQ(Call(3, DISPATCH_METHOD, args, &result), S_OK);
  EXPECT_EQ(Bstr::ToUtf8(result->bstrVal), "16387:7") << "the method sees the reference as given";

  Variant target = Variant::Utf8("replace me");
  Variant reference;
  reference->vt = VT_BYREF | VT_VARIANT;
  reference->pvarVal = target.get();
  std::vector<Variant> out;
  out.push_back(std::move(reference));
  ASSERT_EQ(Call(4, DISPATCH_METHOD, out, nullptr), S_OK);
  EXPECT_EQ(target.vt(), VT_I4);
  EXPECT_EQ(target->lVal, 42);
}

}  // namespace
}  // namespace lumora
