// The test server library: serves TestWidget (per creation, aggregatable),
// TestFailingWidget (construction step fails) and TestLoneWidget (no aggregation).
#include <atomic>
#include <cstdio>
#include <string>

#include "lumora/class_table.h"
#include "lumora/dispatch.h"
#include "lumora/values.h"
#include "test_widget.h"

namespace lumora {

template <>
struct DispatchTable<ITestWidget> {
  static std::span<const DispEntry> Get() {
    using I = ITestWidget;
    static constexpr DispEntry kTable[] = {
        Disp<&I::get_Name, VT_BSTR>(0, "Name", DISPATCH_PROPERTYGET),
        Disp<&I::put_Name, VT_EMPTY, VT_BSTR>(0, "Name", DISPATCH_PROPERTYPUT),
        Disp<&I::Add, VT_I4, VT_I4, VT_I2>(1, "Add"),
        Disp<&I::Fail, VT_EMPTY, VT_I4>(2, "Fail"),
        Disp<&I::Describe, VT_BSTR, VT_VARIANT>(3, "Describe"),
        Disp<&I::Overwrite, VT_EMPTY, kVariantRef>(4, "Overwrite"),
        Disp<&I::NextDay, VT_DATE, VT_DATE>(5, "NextDay"),
        Disp<&I::IsTrue, VT_I4, VT_BOOL>(6, "IsTrue"),
    };
    return kTable;
  }
};

}  // namespace lumora

namespace {

using namespace lumora;

std::atomic<long> g_constructed{0};
std::atomic<long> g_destroyed{0};
ModuleState g_module;

class TestWidget : public Implements<DispatchImpl<ITestWidget>> {
 public:
  TestWidget() { ++g_constructed; }

  HRESULT get_Name(BSTR* name) override {
    if (name == nullptr) return E_POINTER;
    *name = Bstr::FromUtf8(m_name).detach();
    return S_OK;
  }
  HRESULT put_Name(BSTR name) override {
    m_name = Bstr::ToUtf8(name);
    return S_OK;
  }
  HRESULT Add(LONG a, SHORT b, LONG* sum) override {
    *sum = a + b;
    return S_OK;
  }
  HRESULT Fail(LONG code) override { return static_cast<HRESULT>(code); }
  HRESULT Describe(VARIANT value, BSTR* text) override {
    Variant asText;
    std::string shown = std::to_string(value.vt) + ":";
    if (SUCCEEDED(VariantChangeType(asText.get(), &value, 0, VT_BSTR))) shown += Bstr::ToUtf8(asText->bstrVal);
    *text = Bstr::FromUtf8(shown).detach();
    return S_OK;
  }
  HRESULT Overwrite(VARIANT* value) override {
    VariantClear(value);
    value->vt = VT_I4;
    value->lVal = 42;
    return S_OK;
  }
  HRESULT NextDay(DATE when, DATE* later) override {
    *later = when + 1.0;
    return S_OK;
  }
  HRESULT IsTrue(VARIANT_BOOL flag, LONG* answer) override {
    *answer = flag == VARIANT_TRUE ? 1 : 0;
    return S_OK;
  }

 protected:
  ~TestWidget() override { ++g_destroyed; }

 private:
  std::string m_name = "widget";
};

class TestFailingWidget final : public TestWidget {
 public:
  HRESULT FinalConstruct() override { return E_ACCESSDENIED; }
};

class TestLoneWidget final : public TestWidget {
 public:
  static constexpr bool kAggregatable = false;
};

const ClassEntry kClasses[] = {
    {{&CLSID_TestWidget, "Lumora.TestWidget.1", "Lumora.TestWidget", "TestWidget Class", "Apartment"},
     &MakeFactory<ClassFactory<TestWidget>>},
    {{&CLSID_TestFailingWidget, "Lumora.TestFailingWidget.1", "Lumora.TestFailingWidget", "TestFailingWidget Class",
      "Apartment"},
     &MakeFactory<ClassFactory<TestFailingWidget>>},
    {{&CLSID_TestLoneWidget, "Lumora.TestLoneWidget.1", "Lumora.TestLoneWidget", "TestLoneWidget Class", "Apartment"},
     &MakeFactory<ClassFactory<TestLoneWidget>>},
};

ClassTable& Table() {
  static ClassTable table(g_module, kClasses);
  return table;
}

}  // namespace

LUMORA_DEFINE_SERVER_EXPORTS(Table())

extern "C" __attribute__((visibility("default"))) void TestServerCounts(long* constructed, long* destroyed) {
  *constructed = g_constructed;
  *destroyed = g_destroyed;
}
