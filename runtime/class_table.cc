// ClassTable: lazy, locked creation of class objects and table-driven registration. Its
// methods stand behind a library's exported functions, so nothing they meet (an
// allocation failure, a file system error while registering) may escape into the host.
#include "lumora/class_table.h"

#include "lumora/error.h"

namespace lumora {

ClassTable::ClassTable(ModuleState& module, std::span<const ClassEntry> entries)
    : m_module(module), m_entries(entries), m_factories(entries.size(), nullptr) {}

ClassTable::~ClassTable() {
  for (IClassFactory* factory : m_factories) {
    if (factory != nullptr) factory->Release();
  }
}

HRESULT ClassTable::GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  return LUMORA_ERROR_BOUNDARY([&]() -> HRESULT {
    for (size_t i = 0; i < m_entries.size(); ++i) {
      if (*m_entries[i].registration.clsid != clsid) continue;
      IClassFactory* factory = nullptr;
      {
        std::lock_guard lock(m_mutex);
        if (m_factories[i] == nullptr) m_factories[i] = m_entries[i].makeFactory(m_module);
        factory = m_factories[i];
      }
      if (factory == nullptr) return E_OUTOFMEMORY;
      return factory->QueryInterface(riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
  });
}

HRESULT ClassTable::CanUnloadNow() const { return m_module.LockCount() == 0 ? S_OK : S_FALSE; }

HRESULT ClassTable::RegisterServer(const std::string& modulePath) const {
  return LUMORA_ERROR_BOUNDARY([&]() -> HRESULT {
    for (const ClassEntry& entry : m_entries) {
      const HRESULT hr = RegisterClass(entry.registration, modulePath);
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  });
}

HRESULT ClassTable::UnregisterServer() const {
  return LUMORA_ERROR_BOUNDARY([&]() -> HRESULT {
    HRESULT first = S_OK;
    for (const ClassEntry& entry : m_entries) {
      const HRESULT hr = UnregisterClass(entry.registration);
      if (FAILED(hr) && SUCCEEDED(first)) first = hr;
    }
    return first;
  });
}

}  // namespace lumora
