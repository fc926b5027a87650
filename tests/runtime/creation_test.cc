// Creation through the registry from a separately built server library: class and
// program identifiers, class objects registered in the process, the construction step,
// aggregation, unloading.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "lumora/object.h"
#include "lumora/registry.h"
#include "lumora/values.h"
#include "tests/runtime/server_fixture.h"
#include "tests/support/throws_code.h"

namespace lumora {
namespace {

bool ServerLoaded() {
  void* handle = dlopen(LUMORA_TEST_SERVER_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

void ServerCounts(long* constructed, long* destroyed) {
  void* handle = dlopen(LUMORA_TEST_SERVER_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(handle, nullptr);
  auto counts = reinterpret_cast<PFN_TestServerCounts>(dlsym(handle, "TestServerCounts"));
  ASSERT_NE(counts, nullptr);
  counts(constructed, destroyed);
  dlclose(handle);
}

// A local widget class, registered in-process to stand in for the server's.
class LocalWidget final : public Implements<ITestWidget> {
 public:
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
  HRESULT get_Name(BSTR* name) override {
    *name = Bstr::FromUtf8("local").detach();
    return S_OK;
  }
  HRESULT put_Name(BSTR) override { return E_NOTIMPL; }
  HRESULT Add(LONG, SHORT, LONG*) override { return E_NOTIMPL; }
  HRESULT Fail(LONG) override { return E_NOTIMPL; }
  HRESULT Describe(VARIANT, BSTR*) override { return E_NOTIMPL; }
  HRESULT Overwrite(VARIANT*) override { return E_NOTIMPL; }
  HRESULT NextDay(DATE, DATE*) override { return E_NOTIMPL; }
  HRESULT IsTrue(VARIANT_BOOL, LONG*) override { return E_NOTIMPL; }

 private:
  ~LocalWidget() override = default;
};

std::string NameOf(ITestWidget* widget) {
  Bstr name;
  EXPECT_EQ(widget->get_Name(name.put()), S_OK);
  return name.ToUtf8();
}

class CreationTest : public testing::ServerTest {};

TEST_F(CreationTest, ClassAndProgramIdentifiersReachTheServer) {
  ComPtr<ITestWidget> widget = MakeWidget();
  ASSERT_TRUE(widget);
  EXPECT_EQ(NameOf(widget.get()), "widget");

  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"Lumora.TestWidget.1", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_TestWidget);
  clsid = {};
  ASSERT_EQ(CLSIDFromProgID(u"Lumora.TestWidget", &clsid), S_OK) << "through CurVer";
  EXPECT_EQ(clsid, CLSID_TestWidget);
  ASSERT_EQ(CLSIDFromString(u"Lumora.TestLoneWidget", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_TestLoneWidget);
  EXPECT_EQ(CLSIDFromProgID(u"Lumora.Nothing", &clsid), CO_E_CLASSSTRING);

  OLECHAR text[39];
  ASSERT_EQ(StringFromGUID2(CLSID_TestWidget, text, 39), 39);
  EXPECT_EQ(std::u16string(text), u"{D78DA34F-A670-4CE4-B2AA-A99D3F5CD3A9}");
  EXPECT_EQ(StringFromGUID2(CLSID_TestWidget, text, 38), 0);
  ASSERT_EQ(CLSIDFromString(u"{d78da34f-a670-4ce4-b2aa-a99d3f5cd3a9}", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_TestWidget);
  EXPECT_EQ(CLSIDFromString(u"{D78DA34F-A670-4CE4-B2AA-A99D3F5CD3A}", &clsid), CO_E_CLASSSTRING);
  LPOLESTR progId = nullptr;
  ASSERT_EQ(ProgIDFromCLSID(CLSID_TestWidget, &progId), S_OK);
  EXPECT_EQ(std::u16string(progId), u"Lumora.TestWidget.1");
  CoTaskMemFree(progId);

  std::string threading;
  ASSERT_EQ(
      RegGetString("HKCR\\CLSID\\{D78DA34F-A670-4CE4-B2AA-A99D3F5CD3A9}\\InprocServer32", "ThreadingModel", &threading),
      S_OK);
  EXPECT_EQ(threading, "Apartment");
  EXPECT_TRUE(RegKeyExists("HKCR\\CLSID\\{D78DA34F-A670-4CE4-B2AA-A99D3F5CD3A9}\\Programmable"));
}

TEST_F(CreationTest, UnknownAndUnregisteredClassesFail) {
  ComPtr<ITestWidget> widget;
  EXPECT_EQ(CoCreateInstance(CLSID_Nobody, nullptr, CLSCTX_INPROC_SERVER, IID_ITestWidget, widget.put_void()),
            REGDB_E_CLASSNOTREG);
  ComPtr<IUnknown> unknown;
  EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_INPROC_SERVER, IID_IClassFactory, unknown.put_void()),
            E_NOINTERFACE);
  EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_REMOTE_SERVER, IID_ITestWidget, widget.put_void()),
            REGDB_E_CLASSNOTREG);
  ASSERT_EQ(RegSetString("HKCR\\CLSID\\{BE2D170F-80F9-40FF-8D45-93C3CEC89425}\\InprocServer32", "",
                         m_home->path() + "/missing.so"),
            S_OK);
  EXPECT_EQ(CoCreateInstance(CLSID_Nobody, nullptr, CLSCTX_INPROC_SERVER, IID_ITestWidget, widget.put_void()),
            HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));

  void* library = dlopen(LUMORA_TEST_SERVER_LIBRARY, RTLD_NOW);
  ASSERT_NE(library, nullptr);
  auto unregisterServer = reinterpret_cast<PFN_DllRegisterServer>(dlsym(library, "DllUnregisterServer"));
  ASSERT_EQ(unregisterServer(), S_OK);
  dlclose(library);
  EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_INPROC_SERVER, IID_ITestWidget, widget.put_void()),
            REGDB_E_CLASSNOTREG);
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(u"Lumora.TestWidget", &clsid), CO_E_CLASSSTRING);
}

TEST_F(CreationTest, ClassObjectsRegisteredInTheProcessComeFirst) {
  static ModuleState localModule;  // outlives the registration
  auto* factory = new ClassFactory<LocalWidget>(localModule);
  DWORD cookie = 0;
  ASSERT_EQ(CoRegisterClassObject(CLSID_TestWidget, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
  factory->Release();  // the registration holds it now
  EXPECT_EQ(NameOf(MakeWidget().get()), "local");
  ASSERT_EQ(CoRevokeClassObject(cookie), S_OK);
  EXPECT_EQ(CoRevokeClassObject(cookie), CO_E_OBJNOTREG);
  EXPECT_EQ(NameOf(MakeWidget().get()), "widget") << "the registry's server again";
}

TEST_F(CreationTest, AFailedConstructionUndoesTheCreation) {
  ComPtr<ITestWidget> widget;
  EXPECT_EQ(
      CoCreateInstance(CLSID_TestFailingWidget, nullptr, CLSCTX_INPROC_SERVER, IID_ITestWidget, widget.put_void()),
      E_ACCESSDENIED);
  EXPECT_FALSE(widget);
  long constructed = 0, destroyed = 0;
  ServerCounts(&constructed, &destroyed);
  EXPECT_EQ(constructed, 1);
  EXPECT_EQ(destroyed, 1);
  CoFreeUnusedLibraries();
  EXPECT_FALSE(ServerLoaded()) << "nothing holds the library after a failed creation";
}

TEST_F(CreationTest, LibrariesUnloadOnlyWhenNothingHoldsThem) {
  ComPtr<ITestWidget> widget = MakeWidget();
  CoFreeUnusedLibraries();
  EXPECT_TRUE(ServerLoaded()) << "a live object holds the library";
  widget.reset();
  CoFreeUnusedLibraries();
  EXPECT_FALSE(ServerLoaded());

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(CLSID_TestWidget, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.put_void()),
            S_OK);
  CoFreeUnusedLibraries();
  EXPECT_TRUE(ServerLoaded()) << "a class object held by a client holds the library";
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  factory.reset();
  CoFreeUnusedLibraries();
  EXPECT_TRUE(ServerLoaded()) << "a server lock holds the library";
  ASSERT_EQ(CoGetClassObject(CLSID_TestWidget, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.put_void()),
            S_OK);
  ASSERT_EQ(factory->LockServer(FALSE), S_OK);
  factory.reset();
  CoFreeUnusedLibraries();
  EXPECT_FALSE(ServerLoaded());
  EXPECT_EQ(NameOf(MakeWidget().get()), "widget") << "and loads again on demand";
}

// An outer object that aggregates a widget and counts its own references.
class Outer final : public IUnknown {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown) {
      AddRef();
      *ppv = this;
      return S_OK;
    }
    return m_inner->QueryInterface(riid, ppv);
  }
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override { return --m_refs; }
  ComPtr<IUnknown> m_inner;
  ULONG m_refs = 1;
};

TEST_F(CreationTest, AggregatedObjectsDelegateTheirIdentity) {
  Outer outer;
  ASSERT_EQ(CoCreateInstance(CLSID_TestWidget, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown, outer.m_inner.put_void()),
            S_OK);
  EXPECT_EQ(outer.m_refs, 1u) << "creating the inner object takes no reference on the outer one";
  ComPtr<ITestWidget> widget;
  ASSERT_EQ(outer.QueryInterface(IID_ITestWidget, widget.put_void()), S_OK);
  EXPECT_EQ(outer.m_refs, 2u) << "the inner object's interfaces count on the outer object";
  ComPtr<IUnknown> identity;
  ASSERT_EQ(widget->QueryInterface(IID_IUnknown, identity.put_void()), S_OK);
  EXPECT_EQ(identity.get(), static_cast<IUnknown*>(&outer));
  identity.reset();
  widget.reset();
  EXPECT_EQ(outer.m_refs, 1u);
  outer.m_inner.reset();

  ComPtr<IUnknown> refused;
  EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, &outer, CLSCTX_INPROC_SERVER, IID_ITestWidget, refused.put_void()),
            CLASS_E_NOAGGREGATION)
      << "an aggregated object must be asked for IUnknown";
  EXPECT_EQ(CoCreateInstance(CLSID_TestLoneWidget, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown, refused.put_void()),
            CLASS_E_NOAGGREGATION);
  EXPECT_FALSE(refused);
}

// A singleton class for the singleton factory.
class Single final : public Implements<IEnumVARIANT> {
 public:
  HRESULT Next(ULONG, VARIANT*, ULONG*) override { return S_FALSE; }
  HRESULT Skip(ULONG) override { return S_FALSE; }
  HRESULT Reset() override { return S_OK; }
  HRESULT Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

 private:
  ~Single() override = default;
};

TEST(ClassFactoryTest, SingletonsAndModuleLocks) {
  ModuleState module;
  {
    ComPtr<IClassFactory> factory;
    factory.attach(new SingletonClassFactory<Single>(module));
    ComPtr<IEnumVARIANT> first, second;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IEnumVARIANT, first.put_void()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IEnumVARIANT, second.put_void()), S_OK);
    EXPECT_EQ(first.get(), second.get());
    EXPECT_EQ(module.LockCount(), 0) << "the singleton does not hold the module";
    ComPtr<IUnknown> outer;
    EXPECT_EQ(factory->CreateInstance(first.get(), IID_IUnknown, outer.put_void()), CLASS_E_NOAGGREGATION);
    ComPtr<IClassFactory> extra = factory.copy();
    EXPECT_EQ(module.LockCount(), 1) << "a second reference on a class object locks the module";
  }
  EXPECT_EQ(module.LockCount(), 0);
  {
    ComPtr<IClassFactory> factory;
    factory.attach(new ClassFactory<Single>(module));
    ComPtr<IEnumVARIANT> one;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IEnumVARIANT, one.put_void()), S_OK);
    ComPtr<IDispatch> none;
    EXPECT_EQ(one.query_to(none.put()), E_NOINTERFACE);
    EXPECT_FALSE(one.try_query<IDispatch>());
    EXPECT_TRUE(testing::ThrowsCode([&] { one.query<IDispatch>(); }, E_NOINTERFACE));
    EXPECT_EQ(module.LockCount(), 1) << "a live object holds the module";
  }
  EXPECT_EQ(module.LockCount(), 0);
}

}  // namespace
}  // namespace lumora
