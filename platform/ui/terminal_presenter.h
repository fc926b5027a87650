// The terminal presenter: draws a consent dialog as text on the controlling terminal and
// reads the user's answer from it, never from standard input, so that a program whose
// input is a pipe or a file cannot answer for the user. Used on the calling thread.
#ifndef LUMORA_PLATFORM_UI_TERMINAL_PRESENTER_H_
#define LUMORA_PLATFORM_UI_TERMINAL_PRESENTER_H_

#include <string>
#include <string_view>
#include <vector>

#include "consent_presenter.h"

namespace lumora {

class TerminalConsentPresenter : public ConsentPresenter {
 public:
  // `device` is the terminal to use; only tests name another one than the process's
  // controlling terminal.
  explicit TerminalConsentPresenter(std::string device = "/dev/tty") : m_device(std::move(device)) {}

  // Whether the process has a controlling terminal to ask on.
  static bool Available();

  // Answers kAllow for "a", kDeny for "d", kClose when the terminal closes; "w" shows the
  // explanation; a write dialog also takes "p N[,N..]" and "s N[,N..]" (rows numbered
  // from 1 as drawn) to set rows private or shared. Input typed before the dialog was
  // drawn is discarded. kDeny when the terminal cannot be opened.
  ConsentAnswer Present(const ConsentDialogModel& model, ConsentDialogActions* actions) override;

 private:
  std::string m_device;
};

// The text with everything a terminal would act on instead of showing (control
// characters, escape sequences, direction overrides) and every invalid UTF-8 byte shown
// as U+FFFD; line breaks become blanks unless `keepLineBreaks`.
std::string TerminalSafeText(std::string_view text, bool keepLineBreaks);
// At most `width` characters of `text`, its end replaced by "..." (one character, U+2026)
// when it does not fit.
std::string FitToWidth(std::string_view text, size_t width);
// The dialog as drawn on a terminal `width` characters wide, rows as given; with
// `highlight`, the message and the company's name are marked in bold (the message in
// blue). Every text is made safe before any mark of ours is added.
std::string DrawConsentDialog(const ConsentDialogModel& model, const std::vector<std::vector<std::string>>& rows,
                              size_t width, bool highlight = false);

}  // namespace lumora

#endif  // LUMORA_PLATFORM_UI_TERMINAL_PRESENTER_H_
