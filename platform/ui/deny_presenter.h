// The presenter that refuses every dialog without showing it: the machine's choice when
// nobody is to be asked, and what remains when no way to reach the user exists.
// Stateless; any thread.
#ifndef LUMORA_PLATFORM_UI_DENY_PRESENTER_H_
#define LUMORA_PLATFORM_UI_DENY_PRESENTER_H_

#include "consent_presenter.h"

namespace lumora {

class DenyConsentPresenter : public ConsentPresenter {
 public:
  // A dialog without rows asks nothing, and is allowed as the dialogs themselves do.
  ConsentAnswer Present(const ConsentDialogModel& model, ConsentDialogActions*) override {
    return model.rows.empty() ? ConsentAnswer::kAllow : ConsentAnswer::kDeny;
  }
};

}  // namespace lumora

#endif  // LUMORA_PLATFORM_UI_DENY_PRESENTER_H_
