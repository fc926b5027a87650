// Object creation: class objects registered in this process come first, then the machine
// registry's in-process servers, loaded with dlopen and asked through DllGetClassObject.
// Loaded server libraries stay loaded until CoFreeUnusedLibraries finds that their
// DllCanUnloadNow allows unloading. All tables here are guarded by one mutex, which is
// never held while calling into a server library.
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "lumora/automation.h"
#include "lumora/registry.h"
#include "lumora/utf.h"

namespace {

struct RegisteredClass {
  DWORD cookie;
  CLSID clsid;
  DWORD context;
  IUnknown* object;  // one reference held until revoked
};

struct LoadedLibrary {
  std::string path;
  void* handle;
};

struct CreationState {
  std::mutex mutex;
  std::vector<RegisteredClass> registered;
  std::vector<LoadedLibrary> libraries;
  DWORD nextCookie = 1;
};

CreationState& State() {
  static CreationState* state = new CreationState;  // never destroyed: servers may outlive exit order
  return *state;
}

std::string ClassKey(REFCLSID clsid) { return "HKEY_CLASSES_ROOT\\CLSID\\" + lumora::GuidToString(clsid); }

// Returns the loaded library for `path`, loading it on first use.
HRESULT LoadServer(const std::string& path, void** handle) {
  CreationState& state = State();
  {
    std::lock_guard lock(state.mutex);
    for (const LoadedLibrary& library : state.libraries) {
      if (library.path == path) {
        *handle = library.handle;
        return S_OK;
      }
    }
  }
  void* loaded = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (loaded == nullptr) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  std::lock_guard lock(state.mutex);
  for (const LoadedLibrary& library : state.libraries) {
    if (library.path == path) {  // another thread won the race; drop our extra handle
      dlclose(loaded);
      *handle = library.handle;
      return S_OK;
    }
  }
  state.libraries.push_back({path, loaded});
  *handle = loaded;
  return S_OK;
}

}  // namespace

extern "C" {

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
  const std::string text = lumora::GuidToString(rguid);
  if (lpsz == nullptr || cchMax < static_cast<int>(text.size()) + 1) return 0;
  for (size_t i = 0; i < text.size(); ++i) lpsz[i] = static_cast<OLECHAR>(text[i]);
  lpsz[text.size()] = 0;
  return static_cast<int>(text.size()) + 1;
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid) {
  if (lpsz == nullptr || pclsid == nullptr) return E_INVALIDARG;
  if (lpsz[0] != u'{') return CLSIDFromProgID(lpsz, pclsid);
  const std::string text = lumora::Utf16ToUtf8(lpsz);
  if (!lumora::GuidFromString(text, pclsid)) {
    std::memset(pclsid, 0, sizeof *pclsid);
    return CO_E_CLASSSTRING;
  }
  return S_OK;
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid) {
  if (lpszProgID == nullptr || lpclsid == nullptr) return E_INVALIDARG;
  std::string progId = lumora::Utf16ToUtf8(lpszProgID);
  if (progId.empty() || progId.find('\\') != std::string::npos) return CO_E_CLASSSTRING;
  // A version-independent identifier leads to the current version through CurVer.
  for (int hops = 0; hops < 4; ++hops) {
    std::string text;
    if (SUCCEEDED(lumora::RegGetString("HKEY_CLASSES_ROOT\\" + progId + "\\CLSID", "", &text))) {
      return lumora::GuidFromString(text, lpclsid) ? S_OK : CO_E_CLASSSTRING;
    }
    std::string current;
    if (FAILED(lumora::RegGetString("HKEY_CLASSES_ROOT\\" + progId + "\\CurVer", "", &current)) || current == progId) {
      break;
    }
    progId = current;
  }
  return CO_E_CLASSSTRING;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
  if (lplpszProgID == nullptr) return E_INVALIDARG;
  *lplpszProgID = nullptr;
  std::string progId;
  if (FAILED(lumora::RegGetString(ClassKey(clsid) + "\\ProgID", "", &progId))) return REGDB_E_CLASSNOTREG;
  const std::u16string wide = lumora::Utf8ToUtf16(progId);
  auto* out = static_cast<OLECHAR*>(std::malloc((wide.size() + 1) * sizeof(OLECHAR)));
  if (out == nullptr) return E_OUTOFMEMORY;
  std::memcpy(out, wide.c_str(), (wide.size() + 1) * sizeof(OLECHAR));
  *lplpszProgID = out;
  return S_OK;
}

void CoTaskMemFree(void* pv) { std::free(pv); }

HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown* pUnk, DWORD dwClsContext, DWORD /*flags*/,
                              DWORD* lpdwRegister) {
  if (pUnk == nullptr || lpdwRegister == nullptr) return E_INVALIDARG;
  CreationState& state = State();
  pUnk->AddRef();
  std::lock_guard lock(state.mutex);
  const DWORD cookie = state.nextCookie++;
  state.registered.push_back({cookie, rclsid, dwClsContext, pUnk});
  *lpdwRegister = cookie;
  return S_OK;
}

HRESULT CoRevokeClassObject(DWORD dwRegister) {
  CreationState& state = State();
  IUnknown* object = nullptr;
  {
    std::lock_guard lock(state.mutex);
    for (auto it = state.registered.begin(); it != state.registered.end(); ++it) {
      if (it->cookie == dwRegister) {
        object = it->object;
        state.registered.erase(it);
        break;
      }
    }
  }
  if (object == nullptr) return CO_E_OBJNOTREG;
  object->Release();
  return S_OK;
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void* /*pvReserved*/, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  CreationState& state = State();
  IUnknown* registered = nullptr;
  {
    std::lock_guard lock(state.mutex);
    // The latest registration wins, so a test can stack a double over a host's object.
    for (auto it = state.registered.rbegin(); it != state.registered.rend(); ++it) {
      if (it->clsid == rclsid && (it->context & dwClsContext) != 0) {
        registered = it->object;
        registered->AddRef();
        break;
      }
    }
  }
  if (registered != nullptr) {
    const HRESULT hr = registered->QueryInterface(riid, ppv);
    registered->Release();
    return hr;
  }
  if ((dwClsContext & (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER)) == 0) return REGDB_E_CLASSNOTREG;
  std::string path;
  if (FAILED(lumora::RegGetString(ClassKey(rclsid) + "\\InprocServer32", "", &path)) || path.empty()) {
    return REGDB_E_CLASSNOTREG;
  }
  void* handle = nullptr;
  const HRESULT loaded = LoadServer(path, &handle);
  if (FAILED(loaded)) return loaded;
  auto getClassObject = reinterpret_cast<PFN_DllGetClassObject>(dlsym(handle, "DllGetClassObject"));
  if (getClassObject == nullptr) return CO_E_ERRORINDLL;
  return getClassObject(rclsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(pUnkOuter, riid, ppv);
  factory->Release();
  return hr;
}

void CoFreeUnusedLibraries() {
  CreationState& state = State();
  std::vector<LoadedLibrary> candidates;
  {
    std::lock_guard lock(state.mutex);
    candidates = state.libraries;
  }
  for (const LoadedLibrary& library : candidates) {
    auto canUnload = reinterpret_cast<PFN_DllCanUnloadNow>(dlsym(library.handle, "DllCanUnloadNow"));
    if (canUnload == nullptr || canUnload() != S_OK) continue;
    {
      std::lock_guard lock(state.mutex);
      for (auto it = state.libraries.begin(); it != state.libraries.end(); ++it) {
        if (it->handle == library.handle) {
          state.libraries.erase(it);
          break;
        }
      }
    }
    dlclose(library.handle);
  }
}

}  // extern "C"

namespace {
thread_local DWORD t_lastError = 0;
}  // namespace

extern "C" {

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

}  // extern "C"
