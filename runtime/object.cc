// Reference counting, identity and aggregation for ObjectBase; the shared part of the
// class factories.
#include "lumora/object.h"

namespace lumora {

ObjectBase::~ObjectBase() {
  if (m_module != nullptr) m_module->Unlock();
}

void ObjectBase::BindCreation(IUnknown* outer, ModuleState* module) noexcept {
  m_outer = outer;
  m_module = module;
  if (m_module != nullptr) m_module->Lock();
}

HRESULT ObjectBase::InternalQueryInterface(REFIID riid, void** ppv) noexcept {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  IUnknown* found = nullptr;
  if (riid == IID_IUnknown && m_outer != nullptr) {
    found = &m_inner;  // the outer object controls us through the inner unknown
  } else {
    found = static_cast<IUnknown*>(FindInterface(riid));
  }
  if (found == nullptr) return E_NOINTERFACE;
  found->AddRef();
  *ppv = found;
  return S_OK;
}

ULONG ObjectBase::InternalAddRef() noexcept { return m_refs.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG ObjectBase::InternalRelease() noexcept {
  const ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) {
    // Keep the count above zero while the object tears down, in case FinalRelease
    // hands a reference out and takes it back.
    m_refs.store(1, std::memory_order_relaxed);
    FinalRelease();
    delete this;
  }
  return left;
}

HRESULT ClassFactoryBase::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
  AddRef();
  *ppv = static_cast<IClassFactory*>(this);
  return S_OK;
}

ULONG ClassFactoryBase::AddRef() {
  const ULONG count = m_refs.fetch_add(1, std::memory_order_relaxed) + 1;
  if (count == 2) m_module.Lock();
  return count;
}

ULONG ClassFactoryBase::Release() {
  const ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 1) m_module.Unlock();
  if (left == 0) delete this;
  return left;
}

HRESULT ClassFactoryBase::LockServer(BOOL fLock) {
  if (fLock) {
    m_module.Lock();
  } else {
    m_module.Unlock();
  }
  return S_OK;
}

}  // namespace lumora
