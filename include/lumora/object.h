// Reference-counted automation objects and their class factories.
//
// An object class derives from Implements<I1, I2, ...> (interfaces in order; the first is
// the object's identity) and may override FinalConstruct, the construction step that runs
// after allocation and whose failure undoes the creation, and FinalRelease. Objects are
// created only through CreateObjectInstance / MakeObject or a class factory; their
// destructors are not public. Aggregation: an object created with an outer unknown
// delegates its IUnknown methods to the outer one and is controlled through its inner
// (non-delegating) unknown. Reference counts are atomic; an object is otherwise called
// only on the thread that created it.
#ifndef LUMORA_OBJECT_H_
#define LUMORA_OBJECT_H_

#include <atomic>
#include <mutex>
#include <new>
#include <type_traits>

#include "lumora/com_ptr.h"
#include "lumora/error.h"

namespace lumora {

// The lock count of one server library: live objects of its creatable classes, class
// factories held beyond their first reference, and LockServer calls.
class ModuleState {
 public:
  void Lock() noexcept { m_locks.fetch_add(1, std::memory_order_relaxed); }
  void Unlock() noexcept { m_locks.fetch_sub(1, std::memory_order_acq_rel); }
  long LockCount() const noexcept { return m_locks.load(std::memory_order_acquire); }

 private:
  std::atomic<long> m_locks{0};
};

// Interface wrappers (such as DispatchImpl<I>) name the interface they implement.
template <class T, class = void>
struct InterfaceOf {
  using type = T;
};
template <class T>
struct InterfaceOf<T, std::void_t<typename T::Interface>> {
  using type = typename T::Interface;
};

class ObjectBase {
 public:
  ObjectBase(const ObjectBase&) = delete;
  ObjectBase& operator=(const ObjectBase&) = delete;

  HRESULT InternalQueryInterface(REFIID riid, void** ppv) noexcept;
  ULONG InternalAddRef() noexcept;
  ULONG InternalRelease() noexcept;

  // Classes that refuse aggregation hide this with `false`.
  static constexpr bool kAggregatable = true;

  // The construction step, run once after allocation; a failure destroys the object
  // again. FinalRelease runs from the object's destruction in every case, also after a
  // failed FinalConstruct, so it must give back whatever a partial construction took
  // (and an object may count itself in every outcome of FinalConstruct).
  virtual HRESULT FinalConstruct() { return S_OK; }
  virtual void FinalRelease() noexcept {}

  // Used by the creation helpers only.
  void BindCreation(IUnknown* outer, ModuleState* module) noexcept;

 protected:
  ObjectBase() noexcept : m_inner(this) {}
  virtual ~ObjectBase();

  // The interface pointer for `riid` (IID_IUnknown gives the primary interface), or null.
  virtual void* FindInterface(REFIID riid) noexcept = 0;
  IUnknown* Outer() const noexcept { return m_outer; }

 private:
  // The non-delegating unknown that an aggregating outer object holds.
  struct InnerUnknown final : IUnknown {
    explicit InnerUnknown(ObjectBase* owner) : m_owner(owner) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override { return m_owner->InternalQueryInterface(riid, ppv); }
    ULONG AddRef() override { return m_owner->InternalAddRef(); }
    ULONG Release() override { return m_owner->InternalRelease(); }
    ObjectBase* m_owner;
  };

  InnerUnknown m_inner;
  std::atomic<ULONG> m_refs{0};
  IUnknown* m_outer = nullptr;
  ModuleState* m_module = nullptr;
};

template <class First, class... Rest>
class Implements : public ObjectBase, public First, public Rest... {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    return Outer() != nullptr ? Outer()->QueryInterface(riid, ppv) : InternalQueryInterface(riid, ppv);
  }
  ULONG AddRef() override { return Outer() != nullptr ? Outer()->AddRef() : InternalAddRef(); }
  ULONG Release() override { return Outer() != nullptr ? Outer()->Release() : InternalRelease(); }

 protected:
  void* FindInterface(REFIID riid) noexcept override {
    if (riid == IID_IUnknown) return static_cast<IUnknown*>(static_cast<First*>(this));
    void* found = Match<First>(riid);
    ((found = found != nullptr ? found : Match<Rest>(riid)), ...);
    if (found == nullptr && riid == IID_IDispatch) found = FirstDispatch<First, Rest...>();
    return found;
  }

 private:
  template <class W>
  void* Match(REFIID riid) noexcept {
    using I = typename InterfaceOf<W>::type;
    return riid == IidOf<I> ? static_cast<void*>(static_cast<I*>(static_cast<W*>(this))) : nullptr;
  }
  template <class W, class... More>
  void* FirstDispatch() noexcept {
    if constexpr (std::is_base_of_v<IDispatch, W>) {
      return static_cast<IDispatch*>(static_cast<W*>(this));
    } else if constexpr (sizeof...(More) > 0) {
      return FirstDispatch<More...>();
    } else {
      return nullptr;
    }
  }
};

// Allocates a T, binds it and runs its construction step. On success *object holds the
// one (internal) reference; on failure the object is gone (FinalRelease has run, so
// whatever a partial FinalConstruct took is given back) and the module is as before.
// Construction crosses the same error boundary as a public method: a framework
// exception gives its code, an allocation failure (in the constructor too)
// E_OUTOFMEMORY, anything else the trace "<Class>::FinalConstruct: unknown error" and
// E_FAIL.
template <class T>
HRESULT ConstructObject(IUnknown* outer, ModuleState* module, T** object) noexcept {
  *object = nullptr;
  T* created = nullptr;
  constexpr MethodName name{ClassNameOf<T>(), "FinalConstruct"};
  HRESULT hr = ErrorBoundary(name, [&]() -> HRESULT {
    created = new T();  // NOLINT(bugprone-unhandled-exception-at-new): the boundary maps it
    return S_OK;
  });
  if (created == nullptr) return hr;  // the constructor or the allocation failed
  ObjectBase* base = created;
  base->BindCreation(outer, module);
  base->InternalAddRef();
  hr = ErrorBoundary(name, [&] { return created->FinalConstruct(); });
  if (FAILED(hr)) {
    base->InternalRelease();
    return hr;
  }
  *object = created;
  return S_OK;
}

// Creates a T as a class factory does: refuses aggregation unless T allows it (and then
// only for IID_IUnknown), runs FinalConstruct and undoes the creation if it fails, and
// answers the interface request. `module`, if given, is locked while the object lives.
template <class T>
HRESULT CreateObjectInstance(IUnknown* outer, REFIID riid, void** ppv, ModuleState* module = nullptr) noexcept {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (outer != nullptr && (!T::kAggregatable || riid != IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  T* object = nullptr;
  HRESULT hr = ConstructObject<T>(outer, module, &object);
  if (object == nullptr) return hr;  // the construction failed and was undone
  ObjectBase* base = object;
  hr = base->InternalQueryInterface(riid, ppv);
  base->InternalRelease();  // destroys the object when the request failed
  return hr;
}

// An object made inside a library, to be handed out as an interface pointer. With a
// `module`, the object holds the library's lock count while it lives, so the library is
// not unloaded under a client that still holds it.
template <class T>
ComPtr<T> MakeObject(ModuleState* module = nullptr) {
  T* raw = nullptr;
  ThrowIfFailed(ConstructObject<T>(nullptr, module, &raw));
  ComPtr<T> owner;
  owner.attach(raw);
  return owner;
}

// Common part of the class factories: counts its own references and locks the module
// while a client holds more than the first one.
class ClassFactoryBase : public IClassFactory {
 public:
  explicit ClassFactoryBase(ModuleState& module) noexcept : m_module(module) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT LockServer(BOOL fLock) override;

 protected:
  virtual ~ClassFactoryBase() = default;
  ModuleState& m_module;

 private:
  std::atomic<ULONG> m_refs{1};
};

// One new T per creation.
template <class T>
class ClassFactory final : public ClassFactoryBase {
 public:
  using ClassFactoryBase::ClassFactoryBase;
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    return CreateObjectInstance<T>(outer, riid, ppv, &m_module);
  }
};

// Every creation answers from one process-wide T, made on first use and kept as long as
// the factory. The singleton does not lock the module; aggregation is refused.
template <class T>
class SingletonClassFactory final : public ClassFactoryBase {
 public:
  using ClassFactoryBase::ClassFactoryBase;
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    {
      std::lock_guard lock(m_mutex);
      if (!m_instance) {
        const HRESULT hr = CreateObjectInstance<T>(nullptr, IID_IUnknown, m_instance.put_void());
        if (FAILED(hr)) return hr;
      }
    }
    return m_instance->QueryInterface(riid, ppv);
  }

 private:
  std::mutex m_mutex;
  ComPtr<IUnknown> m_instance;
};

}  // namespace lumora

#endif  // LUMORA_OBJECT_H_
