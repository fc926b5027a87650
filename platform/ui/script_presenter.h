// The scripted presenter: answers come from a JSON-lines file that the machine's
// configuration names (for tests, demos and unattended machines), and every dialog it
// answers is recorded in the file beside it. Used on any thread; dialogs of all processes
// that share the file are counted under one advisory lock.
#ifndef LUMORA_PLATFORM_UI_SCRIPT_PRESENTER_H_
#define LUMORA_PLATFORM_UI_SCRIPT_PRESENTER_H_

#include <string>

#include "consent_presenter.h"

namespace lumora {

// Answers from PATH, one line per dialog in order ({"answer":"allow"} ...; blank lines do
// not count), records each dialog as one line of PATH.shown: the n-th dialog recorded
// takes the n-th answer line. A dialog with no line left, or whose line is not a valid
// answer for it, is answered Deny; so is one that cannot be recorded. A dialog without
// rows is neither shown nor recorded: it is allowed, as the dialogs themselves do.
class ScriptConsentPresenter : public ConsentPresenter {
 public:
  explicit ScriptConsentPresenter(std::string path) : m_path(std::move(path)) {}
  ConsentAnswer Present(const ConsentDialogModel& model, ConsentDialogActions* actions) override;

  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

}  // namespace lumora

#endif  // LUMORA_PLATFORM_UI_SCRIPT_PRESENTER_H_
