// Texts from the store and from the calling program, made safe to show: control
// characters, escape sequences and direction overrides (which could make a value read
// as something else) shown as U+FFFD, invalid UTF-8 likewise. Pure; any thread.
#ifndef LUMORA_TOOLS_LUMORA_CONSENT_SAFE_TEXT_H_
#define LUMORA_TOOLS_LUMORA_CONSENT_SAFE_TEXT_H_

#include <QString>
#include <string_view>

#include "platform/ui/terminal_presenter.h"

namespace lumora::consent {

inline QString ShownText(std::string_view text, bool keepLineBreaks) {
  return QString::fromStdString(TerminalSafeText(text, keepLineBreaks));
}

}  // namespace lumora::consent

#endif  // LUMORA_TOOLS_LUMORA_CONSENT_SAFE_TEXT_H_
