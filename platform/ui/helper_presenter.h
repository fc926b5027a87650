// The helper presenter: the consent dialog shown by the desktop's dialog program,
// lumora-consent, started for each dialog directly (no shell) with a small environment
// of its own, sent the dialog object on its standard input and answering with one answer
// object on its standard output. The component links no toolkit; the helper reads
// nothing but its input. Used on the calling thread, one dialog at a time.
#ifndef LUMORA_PLATFORM_UI_HELPER_PRESENTER_H_
#define LUMORA_PLATFORM_UI_HELPER_PRESENTER_H_

#include <chrono>
#include <string>
#include <vector>

#include "consent_presenter.h"

namespace lumora {

inline constexpr char kConsentHelperName[] = "lumora-consent";

class HelperConsentPresenter : public ConsentPresenter {
 public:
  // Long enough for a person to read the dialog and ask about it; a helper that has not
  // answered by then is taken for hung, and the dialog for refused.
  static constexpr std::chrono::seconds kDefaultDeadline{15 * 60};

  explicit HelperConsentPresenter(std::string program, std::chrono::milliseconds deadline = kDefaultDeadline)
      : m_program(std::move(program)), m_deadline(deadline) {}

  // Whether `program` is a file this process may run.
  static bool Installed(const std::string& program);

  // Starts the helper and waits for its answer; the buttons it reports pressed act
  // through `actions`, as the scripted presenter's do. A helper that cannot start, dies,
  // writes anything but one valid answer, or outlives the deadline (it is killed) gives
  // kClose: refused, with no action applied.
  ConsentAnswer Present(const ConsentDialogModel& model, ConsentDialogActions* actions) override;

 private:
  std::string m_program;
  std::chrono::milliseconds m_deadline;
};

// The environment the helper is started with: what it needs to reach the user's desktop
// (display, session bus for screen readers, locale, scale) taken from `environment`, and
// nothing that could load code into it or move its window elsewhere.
std::vector<std::string> ConsentHelperEnvironment(const std::vector<std::string>& environment);

}  // namespace lumora

#endif  // LUMORA_PLATFORM_UI_HELPER_PRESENTER_H_
