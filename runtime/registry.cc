// The file-backed machine registry. Layout: $LUMORA_HOME/registry/<HIVE>/<key>/.../:values.
// Key names are percent-encoded where they would not make a safe folder name; ":values"
// holds one "name=value" line per value, percent-encoded likewise. Writers hold an
// exclusive advisory lock on $LUMORA_HOME/registry/.lock and replace files by rename,
// so readers never see a half-written file and need no lock.
#include "lumora/registry.h"

#include <dlfcn.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>

#include "fileio/atomic_file.h"
#include "fileio/file_lock.h"

namespace fs = std::filesystem;

namespace lumora {
namespace {

constexpr const char* kValuesFile = ":values";
const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

std::string Encode(std::string_view text, std::string_view special, bool encodeLeadingDot) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool leadingDot = encodeLeadingDot && i == 0 && c == '.';
    if (leadingDot || c == '%' || special.find(c) != std::string_view::npos || static_cast<unsigned char>(c) < 0x20) {
      char buffer[4];
      std::snprintf(buffer, sizeof buffer, "%%%02X", static_cast<unsigned char>(c));
      out += buffer;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string Decode(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out.push_back(static_cast<char>(std::strtol(std::string(text.substr(i + 1, 2)).c_str(), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::string_view HiveName(std::string_view root) {
  static const std::pair<std::string_view, std::string_view> kAliases[] = {
      {"HKCR", "HKEY_CLASSES_ROOT"},     {"HKCU", "HKEY_CURRENT_USER"},
      {"HKLM", "HKEY_LOCAL_MACHINE"},    {"HKU", "HKEY_USERS"},
      {"HKCC", "HKEY_CURRENT_CONFIG"},   {"HKDD", "HKEY_DYN_DATA"},
      {"HKPD", "HKEY_PERFORMANCE_DATA"},
  };
  for (const auto& [alias, full] : kAliases) {
    if (root == alias || root == full) return full;
  }
  return {};
}

fs::path RegistryRoot() { return fs::path(LumoraHome()) / "registry"; }

// Folder of a key path; false for a path without a known hive or with an empty name.
bool KeyFolder(std::string_view keyPath, fs::path* folder) {
  size_t start = 0;
  size_t end = keyPath.find('\\');
  const std::string_view hive = HiveName(keyPath.substr(0, end));
  if (hive.empty()) return false;
  fs::path path = RegistryRoot() / std::string(hive);
  while (end != std::string_view::npos) {
    start = end + 1;
    end = keyPath.find('\\', start);
    const std::string_view name =
        keyPath.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (name.empty()) return false;
    path /= Encode(name, "/:", true);
  }
  *folder = path;
  return true;
}

using ValueMap = std::map<std::string, std::string>;

ValueMap ReadValues(const fs::path& folder) {
  ValueMap values;
  std::ifstream in(folder / kValuesFile);
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    values[Decode(std::string_view(line).substr(0, eq))] = Decode(std::string_view(line).substr(eq + 1));
  }
  return values;
}

HRESULT WriteValues(const fs::path& folder, const ValueMap& values) {
  std::ostringstream text;
  for (const auto& [name, value] : values)
    text << Encode(name, "=\n\r", false) << '=' << Encode(value, "\n\r", false) << '\n';
  return fileio::ReplaceFile((folder / kValuesFile).string(), text.str()) == 0 ? S_OK : REGDB_E_WRITEREGDB;
}

}  // namespace

std::string LumoraHome() {
  const char* home = std::getenv("LUMORA_HOME");
  return home != nullptr && *home != '\0' ? home : "/var/lib/lumora";
}

namespace {

// Runs `change` on the key's folder under the registry's writer lock.
template <class Change>
HRESULT ChangeKey(std::string_view keyPath, Change change) {
  fs::path folder;
  if (!KeyFolder(keyPath, &folder)) return E_INVALIDARG;
  std::error_code ec;
  fs::create_directories(RegistryRoot(), ec);
  fileio::FileLock lock;
  if (lock.Lock((RegistryRoot() / ".lock").string(), fileio::LockMode::kExclusive) != 0) return REGDB_E_WRITEREGDB;
  return change(folder);
}

HRESULT MakeFolder(const fs::path& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  return ec ? REGDB_E_WRITEREGDB : S_OK;
}

}  // namespace

HRESULT RegCreateKey(std::string_view keyPath) { return ChangeKey(keyPath, MakeFolder); }

HRESULT RegSetString(std::string_view keyPath, std::string_view valueName, std::string_view value) {
  return ChangeKey(keyPath, [&](const fs::path& folder) {
    const HRESULT made = MakeFolder(folder);
    if (FAILED(made)) return made;
    ValueMap values = ReadValues(folder);
    values[std::string(valueName)] = std::string(value);
    return WriteValues(folder, values);
  });
}

HRESULT RegGetString(std::string_view keyPath, std::string_view valueName, std::string* value) {
  if (value == nullptr) return E_POINTER;
  fs::path folder;
  if (!KeyFolder(keyPath, &folder)) return E_INVALIDARG;
  const ValueMap values = ReadValues(folder);
  const auto found = values.find(std::string(valueName));
  if (found == values.end()) return kNotFound;
  *value = found->second;
  return S_OK;
}

HRESULT RegDeleteTree(std::string_view keyPath) {
  return ChangeKey(keyPath, [](const fs::path& folder) {
    std::error_code ec;
    fs::remove_all(folder, ec);
    return ec ? REGDB_E_WRITEREGDB : S_OK;
  });
}

bool RegKeyExists(std::string_view keyPath) {
  fs::path folder;
  std::error_code ec;
  return KeyFolder(keyPath, &folder) && fs::is_directory(folder, ec);
}

std::vector<std::string> RegSubkeys(std::string_view keyPath) {
  std::vector<std::string> names;
  fs::path folder;
  std::error_code ec;
  if (!KeyFolder(keyPath, &folder)) return names;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    if (entry.is_directory(ec)) names.push_back(Decode(entry.path().filename().string()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string GuidToString(REFGUID guid) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1, guid.Data2,
                guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                guid.Data4[6], guid.Data4[7]);
  return buffer;
}

bool GuidFromString(std::string_view text, GUID* guid) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  uint8_t bytes[16];
  size_t b = 0;
  for (size_t i = 1; i < 37;) {
    if (i == 9 || i == 14 || i == 19 || i == 24) {
      if (text[i] != '-') return false;
      ++i;
      continue;
    }
    auto nibble = [](char c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      return -1;
    };
    const int hi = nibble(text[i]);
    const int lo = nibble(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes[b++] = static_cast<uint8_t>(hi << 4 | lo);
    i += 2;
  }
  guid->Data1 = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
                static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
  guid->Data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
  guid->Data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
  for (int i = 0; i < 8; ++i) guid->Data4[i] = bytes[8 + i];
  return true;
}

HRESULT RegisterClass(const ClassRegistration& entry, std::string_view modulePath) {
  const std::string clsid = GuidToString(*entry.clsid);
  const std::string classKey = "HKEY_CLASSES_ROOT\\CLSID\\" + clsid;
  const std::string progKey = std::string("HKEY_CLASSES_ROOT\\") + entry.progId;
  const std::string independentKey = std::string("HKEY_CLASSES_ROOT\\") + entry.versionIndependentProgId;
  // The class key is replaced whole, so nothing of an earlier registration lingers.
  HRESULT hr = RegDeleteTree(classKey);
  const std::pair<std::string, std::pair<std::string, std::string>> writes[] = {
      {progKey, {"", entry.name}},
      {progKey + "\\CLSID", {"", clsid}},
      {independentKey, {"", entry.name}},
      {independentKey + "\\CurVer", {"", entry.progId}},
      {classKey, {"", entry.name}},
      {classKey + "\\ProgID", {"", entry.progId}},
      {classKey + "\\VersionIndependentProgID", {"", entry.versionIndependentProgId}},
      {classKey + "\\InprocServer32", {"", std::string(modulePath)}},
      {classKey + "\\InprocServer32", {"ThreadingModel", entry.threadingModel}},
  };
  for (const auto& [key, value] : writes) {
    if (FAILED(hr)) return hr;
    hr = RegSetString(key, value.first, value.second);
  }
  if (FAILED(hr)) return hr;
  return RegCreateKey(classKey + "\\Programmable");
}

HRESULT UnregisterClass(const ClassRegistration& entry) {
  HRESULT first = S_OK;
  for (const std::string& key : {std::string("HKEY_CLASSES_ROOT\\CLSID\\") + GuidToString(*entry.clsid),
                                 std::string("HKEY_CLASSES_ROOT\\") + entry.progId,
                                 std::string("HKEY_CLASSES_ROOT\\") + entry.versionIndependentProgId}) {
    const HRESULT hr = RegDeleteTree(key);
    if (FAILED(hr) && SUCCEEDED(first)) first = hr;
  }
  return first;
}

HRESULT RegisterServerLibrary(const std::string& libraryPath, bool unregister) {
  void* library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  auto entry =
      reinterpret_cast<PFN_DllRegisterServer>(dlsym(library, unregister ? "DllUnregisterServer" : "DllRegisterServer"));
  const HRESULT hr = entry != nullptr ? entry() : CO_E_ERRORINDLL;
  dlclose(library);
  return hr;
}

std::string ModulePathOf(const void* address) {
  Dl_info info{};
  std::string path;
  if (dladdr(address, &info) != 0 && info.dli_fname != nullptr && info.dli_fname[0] == '/') {
    path = info.dli_fname;
  } else {
    path = "/proc/self/exe";
  }
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

}  // namespace lumora
