// The code-signature libraries and their entry points.
#include "system_library.h"

#include <strings.h>

#include <map>
#include <mutex>
#include <set>
#include <string>

#include "crypt_message.h"
#include "image_certificates.h"
#include "win_trust.h"

namespace {

struct Library {
  const char* name;
  std::map<std::string, void*> entries;
  long loads = 0;
};

struct Registry {
  std::mutex mutex;
  std::vector<Library> libraries;
  std::set<std::string> failingLibraries;
  std::set<std::string> missingEntries;
};

template <class F>
void* Entry(F* function) {
  return reinterpret_cast<void*>(function);
}

Registry& State() {
  static Registry* registry = [] {
    auto* r = new Registry;  // never destroyed: handles may be released during exit
    r->libraries.push_back({"CRYPT32.DLL",
                            {{"CryptMessageDecode", Entry(&CryptMessageDecode)},
                             {"CryptMessageFirstSigner", Entry(&CryptMessageFirstSigner)},
                             {"CryptMessageCertificates", Entry(&CryptMessageCertificates)},
                             {"CertFindByIssuerSerial", Entry(&CertFindByIssuerSerial)},
                             {"CryptMessageVerifySignature", Entry(&CryptMessageVerifySignature)},
                             {"CertNameToStr", Entry(&CertNameToStr)},
                             {"CertPublicKeyInfo", Entry(&CertPublicKeyInfo)},
                             {"CertCompare", Entry(&CertCompare)},
                             {"CertVerifyTimeValidityNow", Entry(&CertVerifyTimeValidityNow)}}});
    r->libraries.push_back({"IMAGEHLP.DLL",
                            {{"ImageEnumerateCertificates", Entry(&ImageEnumerateCertificates)},
                             {"ImageGetCertificateData", Entry(&ImageGetCertificateData)}}});
    r->libraries.push_back({"wintrust.dll", {{"WinVerifyTrust", Entry(&WinVerifyTrust)}}});
    return r;
  }();
  return *registry;
}

Library* Find(Registry& state, const char* name) {
  for (Library& library : state.libraries) {
    if (name != nullptr && strcasecmp(library.name, name) == 0) return &library;
  }
  return nullptr;
}

}  // namespace

HMODULE LoadSystemLibrary(const char* name) {
  Registry& state = State();
  std::lock_guard lock(state.mutex);
  Library* library = Find(state, name);
  if (library == nullptr || state.failingLibraries.count(library->name) != 0) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  ++library->loads;
  return library;
}

void* GetSystemProcAddress(HMODULE module, const char* name) {
  Registry& state = State();
  std::lock_guard lock(state.mutex);
  auto* library = static_cast<Library*>(module);
  if (library == nullptr || name == nullptr || state.missingEntries.count(name) != 0) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  const auto found = library->entries.find(name);
  if (found == library->entries.end()) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return found->second;
}

BOOL FreeSystemLibrary(HMODULE module) {
  Registry& state = State();
  std::lock_guard lock(state.mutex);
  auto* library = static_cast<Library*>(module);
  if (library == nullptr || library->loads == 0) return FALSE;
  --library->loads;
  return TRUE;
}

namespace lumora::codesign {

void SetLibraryLoadFailure(const char* library, bool fail) {
  Registry& state = State();
  std::lock_guard lock(state.mutex);
  Library* found = Find(state, library);
  if (found == nullptr) return;
  if (fail) {
    state.failingLibraries.insert(found->name);
  } else {
    state.failingLibraries.erase(found->name);
  }
}

void SetMissingEntryPoint(const char* entryPoint, bool missing) {
  Registry& state = State();
  std::lock_guard lock(state.mutex);
  if (missing) {
    state.missingEntries.insert(entryPoint);
  } else {
    state.missingEntries.erase(entryPoint);
  }
}

bool FaultsInjected() {
  Registry& state = State();
  std::lock_guard lock(state.mutex);
  return !state.failingLibraries.empty() || !state.missingEntries.empty();
}

long LoadedCount(const char* library) {
  Registry& state = State();
  std::lock_guard lock(state.mutex);
  Library* found = Find(state, library);
  return found != nullptr ? found->loads : 0;
}

}  // namespace lumora::codesign
