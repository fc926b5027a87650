// The component library as a host loads it: its class table, what registration writes,
// when it may be unloaded, and the profile object's hold on the store.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "lumora/profile.h"
#include "lumora/registry.h"
#include "platform/database/dao_database.h"
#include "tests/store/store_fixture.h"
#include "tests/support/counting_unknown.h"

namespace lumora::testing {
namespace {

class ComponentModuleTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    ASSERT_EQ(m_home->RegisterServer(LUMORA_COMPONENT_LIBRARY), S_OK);
  }

  void TearDown() override {
    if (m_library != nullptr) dlclose(m_library);
    StoreTest::TearDown();
  }

  // An export of the component library: the same library the registry's creation loads.
  template <class F>
  F Export(const char* name) {
    if (m_library == nullptr) m_library = dlopen(LUMORA_COMPONENT_LIBRARY, RTLD_NOW);
    EXPECT_NE(m_library, nullptr);
    return m_library != nullptr ? reinterpret_cast<F>(dlsym(m_library, name)) : nullptr;
  }

  // Whether someone has the database file open: an exclusive open fails at once then.
  bool StoreInUse() {
    CDaoDatabase exclusive;
    try {
      exclusive.Open(m_path, true, false, "");
      return false;
    } catch (const CDaoException& e) {
      return e.JetError() == kJetFileInUse;
    }
  }

  void* m_library = nullptr;
};

TEST_F(ComponentModuleTest, RegistrationWritesEveryEntryOfTheProfileClass) {
  const std::string clsid = GuidToString(CLSID_PRProfile);
  std::string value;
  ASSERT_EQ(RegGetString("HKCR\\PRProfile.PRProfile.1", "", &value), S_OK);
  EXPECT_EQ(value, "PRProfile Class");
  ASSERT_EQ(RegGetString("HKCR\\PRProfile.PRProfile.1\\CLSID", "", &value), S_OK);
  EXPECT_EQ(value, clsid);
  ASSERT_EQ(RegGetString("HKCR\\PRProfile.PRProfile\\CurVer", "", &value), S_OK);
  EXPECT_EQ(value, "PRProfile.PRProfile.1");
  ASSERT_EQ(RegGetString("HKCR\\CLSID\\" + clsid + "\\ProgID", "", &value), S_OK);
  EXPECT_EQ(value, "PRProfile.PRProfile.1");
  ASSERT_EQ(RegGetString("HKCR\\CLSID\\" + clsid + "\\VersionIndependentProgID", "", &value), S_OK);
  EXPECT_EQ(value, "PRProfile.PRProfile");
  EXPECT_TRUE(RegKeyExists("HKCR\\CLSID\\" + clsid + "\\Programmable"));
  ASSERT_EQ(RegGetString("HKCR\\CLSID\\" + clsid + "\\InprocServer32", "ThreadingModel", &value), S_OK);
  EXPECT_EQ(value, "Apartment");
  ASSERT_EQ(RegGetString("HKCR\\CLSID\\" + clsid + "\\InprocServer32", "", &value), S_OK);
  EXPECT_EQ(value, ModulePathOf(reinterpret_cast<const void*>(Export<HRESULT (*)()>("DllRegisterServer"))));

  // Unregistration removes the class's entries and leaves the others' alone.
  ASSERT_EQ(RegisterServerLibrary(LUMORA_COMPONENT_LIBRARY, true), S_OK);
  EXPECT_FALSE(RegKeyExists("HKCR\\CLSID\\" + clsid));
  EXPECT_FALSE(RegKeyExists("HKCR\\PRProfile.PRProfile"));
  EXPECT_FALSE(RegKeyExists("HKCR\\PRProfile.PRProfile.1"));
  EXPECT_TRUE(RegKeyExists("HKCR\\CLSID"));
}

TEST_F(ComponentModuleTest, TheLibraryStaysWhileAnObjectOrALockLives) {
  ComPtr<IPRProfile> profile;
  ASSERT_EQ(CoCreateInstance(CLSID_PRProfile, nullptr, CLSCTX_INPROC_SERVER, IID_IPRProfile, profile.put_void()), S_OK);
  auto canUnload = Export<HRESULT (*)()>("DllCanUnloadNow");
  auto getClassObject = Export<HRESULT (*)(REFCLSID, REFIID, void**)>("DllGetClassObject");
  ASSERT_NE(canUnload, nullptr);
  EXPECT_EQ(canUnload(), S_FALSE);
  EXPECT_TRUE(StoreInUse());
  profile.reset();
  EXPECT_EQ(canUnload(), S_OK);
  EXPECT_FALSE(StoreInUse()) << "releasing the last profile object closes the store";

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(getClassObject(CLSID_PRProfile, IID_IClassFactory, factory.put_void()), S_OK);
  EXPECT_EQ(canUnload(), S_FALSE) << "a client holds the factory beyond its first reference";
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  ComPtr<IClassFactory> held = factory.copy();
  factory.reset();
  held.reset();
  EXPECT_EQ(canUnload(), S_FALSE) << "locked";
  ASSERT_EQ(getClassObject(CLSID_PRProfile, IID_IClassFactory, factory.put_void()), S_OK);
  ASSERT_EQ(factory->LockServer(FALSE), S_OK);
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPRProfile, profile.put_void()), S_OK);
  EXPECT_TRUE(StoreInUse()) << "the next creation opens the store again";
  factory.reset();
  profile.reset();
  EXPECT_EQ(canUnload(), S_OK);

  void* item = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject(CLSID_PRKeyAttr, IID_IClassFactory, &item), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(item, nullptr);
}

TEST_F(ComponentModuleTest, TheProfileObjectCanBeAggregatedAndHasNoConnectionPoints) {
  CountingUnknown outer;
  ComPtr<IUnknown> inner;
  ASSERT_EQ(CoCreateInstance(CLSID_PRProfile, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown, inner.put_void()), S_OK);
  ComPtr<IPRProfile> viaInner = inner.query<IPRProfile>();
  EXPECT_GT(outer.held(), 0) << "the aggregated object's interfaces count on the outer object";
  viaInner.reset();
  inner.reset();
  EXPECT_EQ(outer.held(), 0);

  ComPtr<IPRProfile> profile;
  ASSERT_EQ(CoCreateInstance(CLSID_PRProfile, nullptr, CLSCTX_INPROC_SERVER, IID_IPRProfile, profile.put_void()), S_OK);
  ComPtr<IConnectionPointContainer> container = profile.query<IConnectionPointContainer>();
  IConnectionPoint* point = reinterpret_cast<IConnectionPoint*>(1);
  EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, &point), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point, nullptr);
  ComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(container->EnumConnectionPoints(points.put()), S_OK);
  ULONG fetched = 7;
  EXPECT_EQ(points->Next(1, &point, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  ComPtr<IDispatch> dispatch = profile.query<IDispatch>();
  EXPECT_EQ(static_cast<void*>(dispatch.get()), static_cast<void*>(static_cast<IDispatch*>(profile.get())))
      << "IDispatch answers with the dual interface itself";
}

}  // namespace
}  // namespace lumora::testing
