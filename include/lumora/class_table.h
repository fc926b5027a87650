// The class table of one server library: which classes it serves, how each class object
// is made (lazily, once, under the table's lock), and what registration writes. A
// library keeps one ClassTable for its lifetime and forwards its DllGetClassObject,
// DllCanUnloadNow, DllRegisterServer and DllUnregisterServer exports to it.
#ifndef LUMORA_CLASS_TABLE_H_
#define LUMORA_CLASS_TABLE_H_

#include <mutex>
#include <span>
#include <vector>

#include "lumora/error.h"
#include "lumora/object.h"
#include "lumora/registry.h"

namespace lumora {

struct ClassEntry {
  ClassRegistration registration;
  // Makes the class object, holding one reference.
  IClassFactory* (*makeFactory)(ModuleState& module);
};

template <class Factory>
IClassFactory* MakeFactory(ModuleState& module) {
  return new (std::nothrow) Factory(module);
}

class ClassTable {
 public:
  ClassTable(ModuleState& module, std::span<const ClassEntry> entries);
  ~ClassTable();
  ClassTable(const ClassTable&) = delete;
  ClassTable& operator=(const ClassTable&) = delete;

  // CLASS_E_CLASSNOTAVAILABLE for a class not in the table.
  HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv);
  // S_OK when nothing holds the library, else S_FALSE.
  HRESULT CanUnloadNow() const;
  // Registers every class in table order with `modulePath` as its server, stopping at
  // the first failure.
  HRESULT RegisterServer(const std::string& modulePath) const;
  // Removes every class's entries; returns the first failure, having tried them all.
  HRESULT UnregisterServer() const;

 private:
  ModuleState& m_module;
  std::span<const ClassEntry> m_entries;
  std::mutex m_mutex;
  std::vector<IClassFactory*> m_factories;  // owned references, made on first request
};

}  // namespace lumora

// Defines a server library's four exports over `table`, an expression giving its
// ClassTable&. Registration names the library's own file as the server. Each export is
// an error boundary: nothing thrown while the table is made or the path is found
// reaches the host.
#define LUMORA_DEFINE_SERVER_EXPORTS(table)                                                                     \
  extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid,     \
                                                                              void** ppv) {                     \
    return LUMORA_ERROR_BOUNDARY([&] { return (table).GetClassObject(rclsid, riid, ppv); });                    \
  }                                                                                                             \
  extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {                                 \
    return LUMORA_ERROR_BOUNDARY([&] { return (table).CanUnloadNow(); });                                       \
  }                                                                                                             \
  extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer() {                               \
    return LUMORA_ERROR_BOUNDARY([&] {                                                                          \
      return (table).RegisterServer(::lumora::ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer))); \
    });                                                                                                         \
  }                                                                                                             \
  extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer() {                             \
    return LUMORA_ERROR_BOUNDARY([&] { return (table).UnregisterServer(); });                                   \
  }

#endif  // LUMORA_CLASS_TABLE_H_
