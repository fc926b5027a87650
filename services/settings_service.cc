// The settings service. One record per setting: {"id":N,"value":"..."}.
#include "settings_service.h"

#include "json_line.h"
#include "lumora/error.h"
#include "lumora/values.h"

namespace lumora {

std::span<const DispEntry> DispatchTable<ILumoraSettings>::Get() {
  static constexpr DispEntry kTable[] = {
      Disp<&ILumoraSettings::HasSetting, VT_BOOL, VT_I4>(1, "HasSetting"),
      Disp<&ILumoraSettings::DeleteSetting, VT_EMPTY, VT_I4>(2, "DeleteSetting"),
      Disp<&ILumoraSettings::GetSetting, VT_BSTR, VT_I4>(3, "GetSetting"),
      Disp<&ILumoraSettings::PutSetting, VT_EMPTY, VT_I4, VT_BSTR>(4, "PutSetting"),
  };
  return kTable;
}

}  // namespace lumora

namespace lumora::services {
namespace {

bool IsSetting(const std::string& line, LONG id, std::string* value) {
  JsonObject record;
  if (!ParseJsonLine(line, &record) || IntegerField(record, "id") != id || record.count("id") == 0) return false;
  if (value != nullptr) *value = TextField(record, "value");
  return true;
}

}  // namespace

HRESULT SettingsService::Find(LONG id, bool* found, std::string* value) const {
  std::vector<std::string> lines;
  const HRESULT hr = m_file.ReadLines(&lines);
  if (FAILED(hr)) return hr;
  *found = false;
  for (const std::string& line : lines) {
    if (IsSetting(line, id, value)) *found = true;
  }
  return S_OK;
}

HRESULT SettingsService::HasSetting(LONG id, VARIANT_BOOL* exists) {
  return ErrorBoundary("SettingsService::HasSetting", [&]() -> HRESULT {
    if (exists == nullptr) return E_POINTER;
    bool found = false;
    std::string value;
    const HRESULT hr = Find(id, &found, &value);
    if (FAILED(hr)) return hr;
    *exists = found ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  });
}

HRESULT SettingsService::DeleteSetting(LONG id) {
  return ErrorBoundary("SettingsService::DeleteSetting", [&]() -> HRESULT {
    return m_file.Rewrite([&](std::vector<std::string>& lines) -> HRESULT {
      std::erase_if(lines, [&](const std::string& line) { return IsSetting(line, id, nullptr); });
      return S_OK;
    });
  });
}

HRESULT SettingsService::GetSetting(LONG id, BSTR* value) {
  return ErrorBoundary("SettingsService::GetSetting", [&]() -> HRESULT {
    if (value == nullptr) return E_POINTER;
    bool found = false;
    std::string text;
    const HRESULT hr = Find(id, &found, &text);
    if (FAILED(hr)) return hr;
    if (!found) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    Bstr result = Bstr::FromUtf8(text);
    if (!result) return E_OUTOFMEMORY;
    *value = result.detach();
    return S_OK;
  });
}

HRESULT SettingsService::PutSetting(LONG id, BSTR value) {
  return ErrorBoundary("SettingsService::PutSetting", [&]() -> HRESULT {
    const std::string record =
        WriteJsonLine({{"id", JsonValue::Integer(id)}, {"value", JsonValue::String(Bstr::ToUtf8(value))}});
    return m_file.Rewrite([&](std::vector<std::string>& lines) -> HRESULT {
      std::erase_if(lines, [&](const std::string& line) { return IsSetting(line, id, nullptr); });
      lines.push_back(record);
      return S_OK;
    });
  });
}

}  // namespace lumora::services
