// The settings service client and the kept database path.
#include "settings_client.h"

#include "lumora/values.h"
#include "process_state.h"
#include "service_client.h"

namespace lumora {
namespace {

std::string& KeptDatabasePath() LUMORA_REQUIRES(ProcessStateMutex()) {
  static std::string path;  // lives for the process
  return path;
}

}  // namespace

HRESULT ReadSetting(LONG id, std::string* value) {
  if (value == nullptr) return E_POINTER;
  ComPtr<ILumoraSettings> settings;
  HRESULT hr = CreateService(CLSID_LumoraSettings, &settings);
  if (FAILED(hr)) return hr;
  Bstr text;
  hr = settings->GetSetting(id, text.put());
  if (FAILED(hr)) return hr;
  *value = text.ToUtf8();
  return hr;
}

HRESULT WriteSetting(LONG id, std::string_view value) {
  ComPtr<ILumoraSettings> settings;
  HRESULT hr = CreateService(CLSID_LumoraSettings, &settings);
  if (FAILED(hr)) return hr;
  Bstr text = Bstr::FromUtf8(value);
  if (!text) return E_OUTOFMEMORY;
  return settings->PutSetting(id, text.get());
}

std::string GetDatabasePath() {
  ProcessStateLock lock;
  std::string& kept = KeptDatabasePath();
  if (kept.empty()) {
    std::string path;
    if (SUCCEEDED(ReadSetting(kSettingDatabasePath, &path))) kept = path;
  }
  return kept;
}

void ForgetDatabasePath() {
  ProcessStateLock lock;
  KeptDatabasePath().clear();
}

}  // namespace lumora
