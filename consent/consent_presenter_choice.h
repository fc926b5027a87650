// Which presenter answers the consent dialogs: machine configuration (setting 20 of the
// settings service), read anew for every dialog, never the calling program's choice
// (the program is the party the dialog protects the user from). Any thread; one dialog
// at a time in the process.
#ifndef LUMORA_CONSENT_CONSENT_PRESENTER_CHOICE_H_
#define LUMORA_CONSENT_CONSENT_PRESENTER_CHOICE_H_

#include <optional>
#include <string>
#include <string_view>

#include "platform/ui/consent_presenter.h"

namespace lumora {

// The forms setting 20 may take: "auto" (or no value), "terminal", "helper", "deny",
// "script:PATH" with an absolute PATH.
struct ConsentPresenterSetting {
  enum class Kind { kAuto, kTerminal, kHelper, kDeny, kScript } kind = Kind::kAuto;
  std::string scriptPath;
};
// The setting's meaning, or nothing for a text that is none of the forms.
std::optional<ConsentPresenterSetting> ParseConsentPresenterSetting(std::string_view text);

// The presenter the machine's configuration names, chosen anew for each dialog:
// - auto: the helper program when a display is available and the helper is installed,
//   else the controlling terminal, else nobody: refused;
// - terminal, helper: that one, or refused when it cannot reach the user;
// - deny: refused; script:PATH: answers from PATH.
// A setting that cannot be read (other than absent) or is none of the forms refuses.
// Dialogs are shown one at a time in the process.
ConsentPresenter& MachineConsentPresenter();

// Unit tests only: `presenter` answers in place of the machine's choice until this is
// called again with null. Never exported from the component, so no client can put a
// presenter of its own in place.
__attribute__((visibility("hidden"))) void SetConsentPresenterForTests(ConsentPresenter* presenter);

}  // namespace lumora

#endif  // LUMORA_CONSENT_CONSENT_PRESENTER_CHOICE_H_
