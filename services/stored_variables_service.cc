// The stored variable service. One record per variable:
// {"scope":"machine"|"user:<uid>","component":"...","name":"...","type":"string"|"long"|"bool"|"blob","value":"..."};
// blobs are kept as hexadecimal text.
#include "stored_variables_service.h"

#include <unistd.h>

#include <algorithm>
#include <set>

#include "json_line.h"
#include "lumora/error.h"
#include "lumora/values.h"

namespace lumora {

std::span<const DispEntry> DispatchTable<ILumoraStoredVariables>::Get() {
  using I = ILumoraStoredVariables;
  static constexpr DispEntry kTable[] = {
      Disp<&I::SetStringVariable, VT_EMPTY, VT_BSTR, VT_BSTR, VT_BOOL, VT_BSTR>(1, "SetStringVariable"),
      Disp<&I::GetStringVariable, VT_BSTR, VT_BSTR, VT_BSTR, VT_BOOL>(2, "GetStringVariable"),
      Disp<&I::SetLongVariable, VT_EMPTY, VT_BSTR, VT_BSTR, VT_BOOL, VT_I4>(3, "SetLongVariable"),
      Disp<&I::GetLongVariable, VT_I4, VT_BSTR, VT_BSTR, VT_BOOL>(4, "GetLongVariable"),
      Disp<&I::SetBoolVariable, VT_EMPTY, VT_BSTR, VT_BSTR, VT_BOOL, VT_BOOL>(5, "SetBoolVariable"),
      Disp<&I::GetBoolVariable, VT_BOOL, VT_BSTR, VT_BSTR, VT_BOOL>(6, "GetBoolVariable"),
      Disp<&I::SetBlobVariable, VT_EMPTY, VT_BSTR, VT_BSTR, VT_I4, VT_BOOL, VT_BSTR>(7, "SetBlobVariable"),
      Disp<&I::GetBlobVariable, VT_BSTR, VT_BSTR, VT_BSTR, VT_BOOL>(8, "GetBlobVariable"),
      Disp<&I::GetVariableCollection, VT_VARIANT, VT_BSTR, VT_BOOL>(9, "GetVariableCollection"),
      Disp<&I::GetComponentCollection, VT_VARIANT, VT_BSTR, VT_BOOL>(10, "GetComponentCollection"),
      Disp<&I::DeleteVariable, VT_EMPTY, VT_BSTR, VT_BSTR, VT_BOOL>(11, "DeleteVariable"),
      Disp<&I::DeleteComponent, VT_EMPTY, VT_BSTR, VT_BOOL>(12, "DeleteComponent"),
  };
  return kTable;
}

}  // namespace lumora

namespace lumora::services {
namespace {

const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

std::string ScopeOf(VARIANT_BOOL perUser) {
  return perUser != VARIANT_FALSE ? "user:" + std::to_string(::getuid()) : std::string("machine");
}

struct Key {
  std::string scope;
  std::string component;
  std::string name;
};

Key KeyOf(BSTR component, BSTR variable, VARIANT_BOOL perUser) {
  return {ScopeOf(perUser), Bstr::ToUtf8(component), Bstr::ToUtf8(variable)};
}

bool Matches(const JsonObject& record, const Key& key, bool wholeComponent) {
  return TextField(record, "scope") == key.scope && TextField(record, "component") == key.component &&
         (wholeComponent || TextField(record, "name") == key.name);
}

std::string ToHex(std::string_view bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    out.push_back(kDigits[static_cast<unsigned char>(c) >> 4]);
    out.push_back(kDigits[static_cast<unsigned char>(c) & 0xF]);
  }
  return out;
}

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

HRESULT CheckName(BSTR text) { return SysStringLen(text) == 0 ? E_INVALIDARG : S_OK; }

}  // namespace

HRESULT StoredVariablesService::Store(BSTR component, BSTR variable, VARIANT_BOOL perUser, const char* type,
                                      const std::string& value) {
  if (FAILED(CheckName(component)) || FAILED(CheckName(variable))) return E_INVALIDARG;
  const Key key = KeyOf(component, variable, perUser);
  const std::string record = WriteJsonLine({{"scope", JsonValue::String(key.scope)},
                                            {"component", JsonValue::String(key.component)},
                                            {"name", JsonValue::String(key.name)},
                                            {"type", JsonValue::String(type)},
                                            {"value", JsonValue::String(value)}});
  return m_file.Rewrite([&](std::vector<std::string>& lines) -> HRESULT {
    std::erase_if(lines, [&](const std::string& line) {
      JsonObject existing;
      return ParseJsonLine(line, &existing) && Matches(existing, key, false);
    });
    lines.push_back(record);
    return S_OK;
  });
}

HRESULT StoredVariablesService::Load(BSTR component, BSTR variable, VARIANT_BOOL perUser, const char* type,
                                     std::string* value) const {
  const Key key = KeyOf(component, variable, perUser);
  std::vector<std::string> lines;
  const HRESULT hr = m_file.ReadLines(&lines);
  if (FAILED(hr)) return hr;
  for (const std::string& line : lines) {
    JsonObject record;
    if (!ParseJsonLine(line, &record) || !Matches(record, key, false)) continue;
    if (TextField(record, "type") != type) return DISP_E_TYPEMISMATCH;
    *value = TextField(record, "value");
    return S_OK;
  }
  return kNotFound;
}

HRESULT StoredVariablesService::Names(BSTR component, VARIANT_BOOL perUser, bool components, VARIANT* names) const {
  if (names == nullptr) return E_POINTER;
  const std::string scope = ScopeOf(perUser);
  const std::string wanted = Bstr::ToUtf8(component);
  std::vector<std::string> lines;
  const HRESULT hr = m_file.ReadLines(&lines);
  if (FAILED(hr)) return hr;
  std::vector<std::string> found;
  std::set<std::string> seen;
  for (const std::string& line : lines) {
    JsonObject record;
    if (!ParseJsonLine(line, &record) || TextField(record, "scope") != scope) continue;
    const std::string owner = TextField(record, "component");
    if (components) {
      if ((wanted.empty() || owner == wanted) && seen.insert(owner).second) found.push_back(owner);
    } else if (owner == wanted) {
      found.push_back(TextField(record, "name"));
    }
  }
  SafeArray array = SafeArray::OfStrings(found);
  if (!array) return E_OUTOFMEMORY;
  VariantInit(names);
  names->vt = VT_ARRAY | VT_BSTR;
  names->parray = array.detach();
  return S_OK;
}

HRESULT StoredVariablesService::SetStringVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser, BSTR value) {
  return ErrorBoundary("StoredVariablesService::SetStringVariable",
                       [&] { return Store(component, variable, perUser, "string", Bstr::ToUtf8(value)); });
}

HRESULT StoredVariablesService::GetStringVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser, BSTR* value) {
  return ErrorBoundary("StoredVariablesService::GetStringVariable", [&]() -> HRESULT {
    if (value == nullptr) return E_POINTER;
    std::string text;
    const HRESULT hr = Load(component, variable, perUser, "string", &text);
    if (FAILED(hr)) return hr;
    Bstr result = Bstr::FromUtf8(text);
    if (!result) return E_OUTOFMEMORY;
    *value = result.detach();
    return S_OK;
  });
}

HRESULT StoredVariablesService::SetLongVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser, LONG value) {
  return ErrorBoundary("StoredVariablesService::SetLongVariable",
                       [&] { return Store(component, variable, perUser, "long", std::to_string(value)); });
}

HRESULT StoredVariablesService::GetLongVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser, LONG* value) {
  return ErrorBoundary("StoredVariablesService::GetLongVariable", [&]() -> HRESULT {
    if (value == nullptr) return E_POINTER;
    std::string text;
    const HRESULT hr = Load(component, variable, perUser, "long", &text);
    if (FAILED(hr)) return hr;
    *value = static_cast<LONG>(std::stol(text));
    return S_OK;
  });
}

HRESULT StoredVariablesService::SetBoolVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser,
                                                VARIANT_BOOL value) {
  return ErrorBoundary("StoredVariablesService::SetBoolVariable",
                       [&] { return Store(component, variable, perUser, "bool", value != VARIANT_FALSE ? "1" : "0"); });
}

HRESULT StoredVariablesService::GetBoolVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser,
                                                VARIANT_BOOL* value) {
  return ErrorBoundary("StoredVariablesService::GetBoolVariable", [&]() -> HRESULT {
    if (value == nullptr) return E_POINTER;
    std::string text;
    const HRESULT hr = Load(component, variable, perUser, "bool", &text);
    if (FAILED(hr)) return hr;
    *value = text == "1" ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  });
}

HRESULT StoredVariablesService::SetBlobVariable(BSTR component, BSTR variable, LONG byteCount, VARIANT_BOOL perUser,
                                                BSTR data) {
  return ErrorBoundary("StoredVariablesService::SetBlobVariable", [&]() -> HRESULT {
    if (byteCount < 0 || static_cast<UINT>(byteCount) > SysStringByteLen(data)) return E_INVALIDARG;
    const std::string_view bytes(reinterpret_cast<const char*>(data), static_cast<size_t>(byteCount));
    return Store(component, variable, perUser, "blob", ToHex(bytes));
  });
}

HRESULT StoredVariablesService::GetBlobVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser, BSTR* data) {
  return ErrorBoundary("StoredVariablesService::GetBlobVariable", [&]() -> HRESULT {
    if (data == nullptr) return E_POINTER;
    std::string hex;
    const HRESULT hr = Load(component, variable, perUser, "blob", &hex);
    if (FAILED(hr)) return hr;
    Bstr result = Bstr::FromBytes(FromHex(hex));
    if (!result) return E_OUTOFMEMORY;
    *data = result.detach();
    return S_OK;
  });
}

HRESULT StoredVariablesService::GetVariableCollection(BSTR component, VARIANT_BOOL perUser, VARIANT* names) {
  return ErrorBoundary("StoredVariablesService::GetVariableCollection",
                       [&] { return Names(component, perUser, false, names); });
}

HRESULT StoredVariablesService::GetComponentCollection(BSTR component, VARIANT_BOOL perUser, VARIANT* names) {
  return ErrorBoundary("StoredVariablesService::GetComponentCollection",
                       [&] { return Names(component, perUser, true, names); });
}

HRESULT StoredVariablesService::DeleteVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser) {
  return ErrorBoundary("StoredVariablesService::DeleteVariable", [&]() -> HRESULT {
    const Key key = KeyOf(component, variable, perUser);
    return m_file.Rewrite([&](std::vector<std::string>& lines) -> HRESULT {
      const size_t removed = std::erase_if(lines, [&](const std::string& line) {
        JsonObject record;
        return ParseJsonLine(line, &record) && Matches(record, key, false);
      });
      return removed == 0 ? kNotFound : S_OK;
    });
  });
}

HRESULT StoredVariablesService::DeleteComponent(BSTR component, VARIANT_BOOL perUser) {
  return ErrorBoundary("StoredVariablesService::DeleteComponent", [&]() -> HRESULT {
    const Key key = KeyOf(component, nullptr, perUser);
    return m_file.Rewrite([&](std::vector<std::string>& lines) -> HRESULT {
      const size_t removed = std::erase_if(lines, [&](const std::string& line) {
        JsonObject record;
        return ParseJsonLine(line, &record) && Matches(record, key, true);
      });
      return removed == 0 ? kNotFound : S_OK;
    });
  });
}

}  // namespace lumora::services
