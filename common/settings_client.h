// The component's use of the settings service: reading and writing machine settings by
// identifier, and the database path, read once per process and kept. Any thread.
#ifndef LUMORA_COMMON_SETTINGS_CLIENT_H_
#define LUMORA_COMMON_SETTINGS_CLIENT_H_

#include <string>
#include <string_view>

#include "lumora/automation.h"

namespace lumora {

// The settings the component uses.
inline constexpr LONG kSettingDatabasePath = 2;       // full path of the profile database
inline constexpr LONG kSettingInstallDirectory = 6;   // installation directory
inline constexpr LONG kSettingPasswordPiece = 16;     // scrambled database password
inline constexpr LONG kSettingConsentPresenter = 20;  // who answers the consent dialogs

// Creates the service, reads setting `id` into *value and releases the service. On
// failure (the service cannot be created, the setting cannot be read) *value is left
// as it was and the failure is returned.
HRESULT ReadSetting(LONG id, std::string* value);
// Creates the service, stores `value` under `id` and releases the service.
HRESULT WriteSetting(LONG id, std::string_view value);

// The database path (setting 2). Read from the service on the first request and kept;
// while the kept copy is empty (the service could not be had, or the setting is empty)
// every request asks again.
std::string GetDatabasePath();

// Forgets the kept path, as a fresh process would start. For tests and for the
// component's own shutdown only.
void ForgetDatabasePath();

}  // namespace lumora

#endif  // LUMORA_COMMON_SETTINGS_CLIENT_H_
