// ComPtr<T>: the owner of one reference on an interface pointer. Move-only; speaks the
// owners' vocabulary (get, put, reset, attach, detach) and asks for other interfaces in
// three ways: query (throws HResultException), try_query (empty on failure) and query_to
// (returns the HRESULT). Interface identifiers come from InterfaceId<I>, declared for each
// interface with LUMORA_INTERFACE_ID at global scope.
#ifndef LUMORA_COM_PTR_H_
#define LUMORA_COM_PTR_H_

#include <cstddef>
#include <utility>

#include "lumora/automation.h"
#include "lumora/error.h"

namespace lumora {

template <class I>
struct InterfaceId;

template <class I>
inline constexpr const IID& IidOf = InterfaceId<I>::value;

}  // namespace lumora

#define LUMORA_INTERFACE_ID(Interface, iid)  \
  namespace lumora {                         \
  template <>                                \
  struct InterfaceId<Interface> {            \
    static constexpr const IID& value = iid; \
  };                                         \
  }

LUMORA_INTERFACE_ID(IUnknown, IID_IUnknown)
LUMORA_INTERFACE_ID(IDispatch, IID_IDispatch)
LUMORA_INTERFACE_ID(IClassFactory, IID_IClassFactory)
LUMORA_INTERFACE_ID(IEnumVARIANT, IID_IEnumVARIANT)
LUMORA_INTERFACE_ID(IConnectionPointContainer, IID_IConnectionPointContainer)
LUMORA_INTERFACE_ID(IConnectionPoint, IID_IConnectionPoint)
LUMORA_INTERFACE_ID(IEnumConnectionPoints, IID_IEnumConnectionPoints)
LUMORA_INTERFACE_ID(IEnumConnections, IID_IEnumConnections)

namespace lumora {

template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}  // NOLINT(google-explicit-constructor)
  // Takes a new reference on `p` (the caller keeps its own).
  explicit ComPtr(T* p) noexcept : m_p(p) {
    if (m_p != nullptr) m_p->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : m_p(other.detach()) {}
  template <class U>
  ComPtr(ComPtr<U>&& other) noexcept : m_p(other.detach()) {}  // NOLINT(google-explicit-constructor)
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) reset(other.detach()), void();
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { reset(); }

  T* get() const noexcept { return m_p; }
  T* operator->() const noexcept { return m_p; }
  explicit operator bool() const noexcept { return m_p != nullptr; }

  // Releases the held reference and hands out the slot for an out parameter.
  T** put() noexcept {
    reset();
    return &m_p;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

  // Releases the held reference and takes ownership of `p` (no AddRef).
  ComPtr& reset(T* p = nullptr) noexcept {
    T* old = m_p;
    m_p = p;
    if (old != nullptr) old->Release();
    return *this;
  }
  void attach(T* p) noexcept { reset(p); }
  [[nodiscard]] T* detach() noexcept { return std::exchange(m_p, nullptr); }

  // Another owner of the same object.
  ComPtr copy() const noexcept { return ComPtr(m_p); }
  // Hands out one new reference through an out parameter.
  HRESULT copy_to(T** out) const noexcept {
    if (out == nullptr) return E_POINTER;
    *out = m_p;
    if (m_p != nullptr) m_p->AddRef();
    return S_OK;
  }

  template <class U>
  HRESULT query_to(U** out) const noexcept {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (m_p == nullptr) return E_POINTER;
    return m_p->QueryInterface(IidOf<U>, reinterpret_cast<void**>(out));
  }
  template <class U>
  ComPtr<U> try_query() const noexcept {
    ComPtr<U> result;
    (void)query_to(result.put());
    return result;
  }
  template <class U>
  ComPtr<U> query() const {
    ComPtr<U> result;
    ThrowIfFailed(query_to(result.put()));
    return result;
  }

 private:
  T* m_p = nullptr;
};

}  // namespace lumora

#endif  // LUMORA_COM_PTR_H_
