// Object construction: every way a construction step can fail, what the creator is told,
// and that a failed construction leaves nothing behind: no object, no module lock, no
// reference on anything it touched.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "lumora/class_table.h"
#include "lumora/object.h"
#include "lumora/profile.h"
#include "platform/database/dao_exception.h"
#include "tests/support/counting_unknown.h"
#include "tests/support/throws_code.h"

namespace lumora {
namespace {

using testing::CountingUnknown;

// How the next Fragile construction ends.
enum class Ending {
  kSucceeds,
  kReturnsFailure,
  kThrowsDatabase,
  kThrowsFramework,
  kThrowsAllocation,
  kThrowsUnknown,
  kConstructorThrowsAllocation,
  kConstructorThrowsUnknown,
};

struct Plan {
  Ending ending = Ending::kSucceeds;
  CountingUnknown* resource = nullptr;  // what FinalConstruct takes a reference on first
  int built = 0;
  int destroyed = 0;
  int finalReleases = 0;
};
Plan g_plan;

// An object that takes references the way a real one does (a shared resource, and its
// controlling outer object when aggregated) before its construction step ends as planned.
class Fragile final : public Implements<IEnumVARIANT> {
 public:
  Fragile() {
    if (g_plan.ending == Ending::kConstructorThrowsAllocation) throw std::bad_alloc();
    if (g_plan.ending == Ending::kConstructorThrowsUnknown) throw std::runtime_error("constructor");
    ++g_plan.built;
  }

  HRESULT FinalConstruct() override {
    if (g_plan.resource != nullptr) m_resource = ComPtr<IUnknown>(g_plan.resource);
    if (Outer() != nullptr) m_outer = ComPtr<IUnknown>(Outer());
    switch (g_plan.ending) {
      case Ending::kReturnsFailure:
        return eErrorCipherInitializingFailed;
      case Ending::kThrowsDatabase:
        AfxThrowDaoException(kJetBadPassword, "not a valid password");
      case Ending::kThrowsFramework:
        ThrowHResult(eErrorBadKey);
      case Ending::kThrowsAllocation:
        throw std::bad_alloc();
      case Ending::kThrowsUnknown:
        throw std::logic_error("unknown");
      default:
        return S_OK;
    }
  }
  // Gives back what a construction took, whether it succeeded or not.
  void FinalRelease() noexcept override {
    ++g_plan.finalReleases;
    m_resource.reset();
    m_outer.reset();
  }

  HRESULT Next(ULONG, VARIANT*, ULONG*) override { return S_FALSE; }
  HRESULT Skip(ULONG) override { return S_FALSE; }
  HRESULT Reset() override { return S_OK; }
  HRESULT Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

 private:
  ~Fragile() override { ++g_plan.destroyed; }
  ComPtr<IUnknown> m_resource;
  ComPtr<IUnknown> m_outer;
};

class ObjectConstructionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_plan = Plan{};
    g_plan.resource = &m_resource;
    m_previousSink =
        SetTraceSink([](const char* text, void* traced) { static_cast<Texts*>(traced)->push_back(text); }, &m_traced);
  }
  void TearDown() override {
    SetTraceSink(m_previousSink, nullptr);
    EXPECT_EQ(g_plan.built, g_plan.destroyed) << "every object built is gone";
    EXPECT_EQ(m_module.LockCount(), 0) << "nothing holds the module";
    EXPECT_EQ(m_resource.held(), 0);
    EXPECT_EQ(m_outer.held(), 0);
  }

  using Texts = std::vector<std::string>;
  CountingUnknown m_resource;
  CountingUnknown m_outer;
  ModuleState m_module;
  Texts m_traced;
  TraceSink m_previousSink = nullptr;
};

// What each ending gives the creator; the codes differ, so a mapping swapped for
// another is caught.
struct Outcome {
  Ending ending;
  HRESULT result;
  const char* trace;  // or nullptr
};
const Outcome kOutcomes[] = {
    {Ending::kReturnsFailure, eErrorCipherInitializingFailed, nullptr},
    {Ending::kThrowsDatabase, CDaoException::ScodeOf(kJetBadPassword), nullptr},
    {Ending::kThrowsFramework, eErrorBadKey, nullptr},
    {Ending::kThrowsAllocation, E_OUTOFMEMORY, nullptr},
    {Ending::kThrowsUnknown, E_FAIL, "Fragile::FinalConstruct: unknown error"},
    {Ending::kConstructorThrowsAllocation, E_OUTOFMEMORY, nullptr},
    {Ending::kConstructorThrowsUnknown, E_FAIL, "Fragile::FinalConstruct: unknown error"},
};

TEST_F(ObjectConstructionTest, AFailedConstructionReportsItsCauseAndLeavesNothingBehind) {
  for (const Outcome& outcome : kOutcomes) {
    for (IUnknown* outer : {static_cast<IUnknown*>(nullptr), static_cast<IUnknown*>(&m_outer)}) {
      SCOPED_TRACE(::testing::Message() << "ending " << static_cast<int>(outcome.ending)
                                        << (outer != nullptr ? ", aggregated" : ""));
      g_plan.ending = outcome.ending;
      const int releasesBefore = g_plan.finalReleases;
      const bool built =
          outcome.ending != Ending::kConstructorThrowsAllocation && outcome.ending != Ending::kConstructorThrowsUnknown;

      ComPtr<IUnknown> object;
      EXPECT_EQ(CreateObjectInstance<Fragile>(outer, IID_IUnknown, object.put_void(), &m_module), outcome.result);
      EXPECT_FALSE(object);
      EXPECT_EQ(g_plan.built, g_plan.destroyed);
      EXPECT_EQ(g_plan.finalReleases - releasesBefore, built ? 1 : 0)
          << "FinalRelease gives back what a partial construction took";
      EXPECT_EQ(m_module.LockCount(), 0);
      EXPECT_EQ(m_resource.held(), 0);
      EXPECT_EQ(m_outer.held(), 0);
      EXPECT_EQ(m_traced, outcome.trace != nullptr ? Texts{outcome.trace} : Texts{});
      m_traced.clear();
    }
  }
}

TEST_F(ObjectConstructionTest, ConstructedObjectsHoldWhatTheyTookUntilReleased) {
  ComPtr<IEnumVARIANT> object;
  ASSERT_EQ(CreateObjectInstance<Fragile>(nullptr, IID_IEnumVARIANT, object.put_void(), &m_module), S_OK);
  EXPECT_EQ(m_resource.held(), 1);
  EXPECT_EQ(m_module.LockCount(), 1);
  EXPECT_EQ(g_plan.finalReleases, 0);
  object.reset();
  EXPECT_EQ(g_plan.finalReleases, 1);

  ComPtr<IUnknown> inner;
  ASSERT_EQ(CreateObjectInstance<Fragile>(&m_outer, IID_IUnknown, inner.put_void(), &m_module), S_OK);
  EXPECT_EQ(m_outer.held(), 1) << "the aggregated object's own reference on its outer object";
  inner.reset();

  ComPtr<IDispatch> refused;
  EXPECT_EQ(CreateObjectInstance<Fragile>(nullptr, IID_IDispatch, refused.put_void(), &m_module), E_NOINTERFACE);
  EXPECT_EQ(g_plan.finalReleases, 3) << "an object nobody could be given is destroyed at once";
}

TEST_F(ObjectConstructionTest, FactoriesAndMakeObjectPassTheFailureOn) {
  g_plan.ending = Ending::kThrowsAllocation;
  EXPECT_TRUE(testing::ThrowsCode([] { MakeObject<Fragile>(); }, E_OUTOFMEMORY));

  ComPtr<IClassFactory> factory;
  factory.attach(new ClassFactory<Fragile>(m_module));
  ComPtr<IUnknown> object;
  g_plan.ending = Ending::kThrowsDatabase;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, object.put_void()), CDaoException::ScodeOf(kJetBadPassword));

  ComPtr<IClassFactory> singleton;
  singleton.attach(new SingletonClassFactory<Fragile>(m_module));
  g_plan.ending = Ending::kThrowsFramework;
  EXPECT_EQ(singleton->CreateInstance(nullptr, IID_IUnknown, object.put_void()), eErrorBadKey);
  g_plan.ending = Ending::kSucceeds;
  ASSERT_EQ(singleton->CreateInstance(nullptr, IID_IUnknown, object.put_void()), S_OK)
      << "a failed first creation is not kept: the next one tries again";
  object.reset();
  singleton.reset();
  factory.reset();
}

// The class table stands behind a library's exports: a class object that cannot be
// made fails that one request, says why, and is tried again on the next.
const CLSID kFragileClass = {0x5B0C7E11, 0x2D4A, 0x4E5F, {0x9A, 0x61, 0x0C, 0x3E, 0x7B, 0x21, 0x44, 0x90}};
int g_factoryAttempts = 0;

IClassFactory* MakeFactoryAfterTwoFailures(ModuleState& module) {
  switch (++g_factoryAttempts) {
    case 1:
      throw std::bad_alloc();
    case 2:
      throw std::runtime_error("factory");
    case 3:
      return nullptr;
    default:
      return MakeFactory<ClassFactory<Fragile>>(module);
  }
}

TEST_F(ObjectConstructionTest, AClassObjectThatCannotBeMadeFailsOnlyThatRequest) {
  const ClassEntry entries[] = {{{&kFragileClass, "Lumora.Fragile.1", "Lumora.Fragile", "Fragile Class", "Apartment"},
                                 &MakeFactoryAfterTwoFailures}};
  ClassTable table(m_module, entries);
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(table.GetClassObject(kFragileClass, IID_IClassFactory, factory.put_void()), E_OUTOFMEMORY);
  EXPECT_EQ(table.GetClassObject(kFragileClass, IID_IClassFactory, factory.put_void()), E_FAIL);
  EXPECT_EQ(m_traced, Texts{"ClassTable::GetClassObject: unknown error"});
  EXPECT_EQ(table.GetClassObject(kFragileClass, IID_IClassFactory, factory.put_void()), E_OUTOFMEMORY);
  EXPECT_FALSE(factory);
  ASSERT_EQ(table.GetClassObject(kFragileClass, IID_IClassFactory, factory.put_void()), S_OK);
  ComPtr<IEnumVARIANT> object;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IEnumVARIANT, object.put_void()), S_OK);
  EXPECT_EQ(table.CanUnloadNow(), S_FALSE);
  object.reset();
  factory.reset();
  EXPECT_EQ(table.CanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace lumora
