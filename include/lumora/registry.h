// The machine registry: a tree of keys under $LUMORA_HOME/registry, each key a folder
// whose values (name -> string; the default value has the empty name) live in one small
// file that is replaced atomically. Key paths are written as on the platform
// ("HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32"; "HKCR" and the other short root names
// are accepted). Any thread and any process may call these at once: writers take an
// advisory lock on the registry.
#ifndef LUMORA_REGISTRY_H_
#define LUMORA_REGISTRY_H_

#include <string>
#include <string_view>
#include <vector>

#include "lumora/automation.h"

namespace lumora {

// The machine state root: $LUMORA_HOME, or /var/lib/lumora when it is not set.
std::string LumoraHome();

// Creates the key and its parents.
HRESULT RegCreateKey(std::string_view keyPath);
// Sets a string value, creating the key as needed.
HRESULT RegSetString(std::string_view keyPath, std::string_view valueName, std::string_view value);
// Reads a string value; HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when the key or value is absent.
HRESULT RegGetString(std::string_view keyPath, std::string_view valueName, std::string* value);
// Removes a key with all its subkeys and values; S_OK when it did not exist.
HRESULT RegDeleteTree(std::string_view keyPath);
bool RegKeyExists(std::string_view keyPath);
// Names of the direct subkeys, sorted.
std::vector<std::string> RegSubkeys(std::string_view keyPath);

// Text form of a GUID with braces and upper-case digits.
std::string GuidToString(REFGUID guid);
bool GuidFromString(std::string_view text, GUID* guid);

// What registration writes for one creatable class: program identifiers, the class
// key with its in-process server and threading model, and an empty Programmable key.
struct ClassRegistration {
  const CLSID* clsid;
  const char* progId;                    // "Vendor.Class.1"
  const char* versionIndependentProgId;  // "Vendor.Class"
  const char* name;                      // "Class Class"
  const char* threadingModel;            // "Apartment"
};
HRESULT RegisterClass(const ClassRegistration& entry, std::string_view modulePath);
HRESULT UnregisterClass(const ClassRegistration& entry);

// Loads the server library at `libraryPath` and runs its DllRegisterServer (or
// DllUnregisterServer) with the current LUMORA_HOME. HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)
// when the library cannot be loaded, CO_E_ERRORINDLL when it lacks the export.
HRESULT RegisterServerLibrary(const std::string& libraryPath, bool unregister = false);

// The canonical path of the loaded module that contains `address`.
std::string ModulePathOf(const void* address);

}  // namespace lumora

#endif  // LUMORA_REGISTRY_H_
