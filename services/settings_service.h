// The settings service: machine-wide strings by identifier, kept in
// $LUMORA_HOME/settings.jsonl. Each object is used on its creating thread; the file is
// shared safely with other objects and processes.
#ifndef LUMORA_SERVICES_SETTINGS_SERVICE_H_
#define LUMORA_SERVICES_SETTINGS_SERVICE_H_

#include "lumora/object.h"
#include "service_dispatch.h"
#include "state_file.h"

namespace lumora::services {

class SettingsService final : public Implements<DispatchImpl<ILumoraSettings>> {
 public:
  SettingsService() : m_file("settings.jsonl") {}

  HRESULT HasSetting(LONG id, VARIANT_BOOL* exists) override;
  HRESULT DeleteSetting(LONG id) override;
  HRESULT GetSetting(LONG id, BSTR* value) override;
  HRESULT PutSetting(LONG id, BSTR value) override;

 private:
  ~SettingsService() override = default;
  // Finds the setting's text; false when it was never stored.
  HRESULT Find(LONG id, bool* found, std::string* value) const;

  StateFile m_file;
};

}  // namespace lumora::services

#endif  // LUMORA_SERVICES_SETTINGS_SERVICE_H_
