// The presenter that answers this machine's consent dialogs. Which one answers is machine
// configuration (setting 20 of the settings service), never the calling program's
// choice: the program is the party the dialog protects the user from. Caller's thread.
#ifndef LUMORA_CONSENT_CONSENT_PRESENTER_CHOICE_H_
#define LUMORA_CONSENT_CONSENT_PRESENTER_CHOICE_H_

#include "platform/ui/consent_presenter.h"

namespace lumora {

// The presenter named by setting 20 (kSettingConsentPresenter), read when each dialog is
// presented. Lives as long as the component.
ConsentPresenter& MachineConsentPresenter();

// In-process tests only (nothing exported lets a client reach it): while `presenter` is
// set, MachineConsentPresenter answers with it. Null returns to the machine's choice.
void SetConsentPresenterForTests(ConsentPresenter* presenter);

}  // namespace lumora

#endif  // LUMORA_CONSENT_CONSENT_PRESENTER_CHOICE_H_
