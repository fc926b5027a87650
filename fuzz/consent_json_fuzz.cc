// Fuzz target: the presenters' readers of hostile bytes. What the JSON reader accepts
// writes back to a line that reads to the same tree; an answer line is read or refused;
// whatever the terminal presenter draws of the bytes holds no control character and is
// valid UTF-8, with or without the marks of its own; a dialog the helper program reads
// is written back to the same line.
#include <cstdlib>
#include <string>

#include "platform/ui/consent_json.h"
#include "platform/ui/json_value.h"
#include "platform/ui/terminal_presenter.h"
#include "platform/ui/utf8_text.h"

using namespace lumora;

namespace {

void CheckShowable(const std::string& text) {
  for (size_t pos = 0; pos < text.size();) {
    uint32_t code = 0;
    const size_t length = Utf8Sequence(text, pos, &code);
    if (length == 0 || (code < 0x20 && code != '\n') || (code >= 0x7F && code <= 0x9F)) std::abort();
    pos += length;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const std::optional<JsonValue> value = ParseJson(text)) {
    const std::string written = WriteJson(*value);
    if (written.find('\n') != std::string::npos || ParseJson(written) != value) std::abort();
  }
  std::string error;
  if (!ParseConsentReply(text, &error) && error.empty()) std::abort();
  CheckShowable(TerminalSafeText(text, true));
  const std::string fitted = FitToWidth(TerminalSafeText(text, false), 17);
  CheckShowable(fitted);
  if (fitted.find('\n') != std::string::npos) std::abort();
  ConsentDialogModel model;
  model.caption = std::string(text);
  model.texts = {{206, std::string(text)}, {1, "Allow"}};
  model.columns = {{"Field Name", 200}, {"Value", 200}};
  model.rows = {{std::string(text), std::string(text.substr(0, size / 2))}};
  CheckShowable(DrawConsentDialog(model, model.rows, 80));
  // With marks, every escape on the screen is one of ours.
  model.company = std::string(text.substr(size / 3));
  std::string marked = DrawConsentDialog(model, model.rows, 80, true);
  for (const char* mark : {"\x1b[1;34m", "\x1b[0m", "\x1b[1m", "\x1b[22m"}) {
    for (size_t at = marked.find(mark); at != std::string::npos; at = marked.find(mark)) {
      marked.erase(at, std::string_view(mark).size());
    }
  }
  CheckShowable(marked);
  // A dialog the helper program accepts is written back to a line that reads the same.
  if (const std::optional<ConsentDialogModel> dialog = ParseConsentDialog(text, &error)) {
    const std::string again = WriteJson(ConsentDialogForProgram(*dialog, dialog->rows));
    const std::optional<ConsentDialogModel> back = ParseConsentDialog(again, &error);
    if (!back || WriteJson(ConsentDialogForProgram(*back, back->rows)) != again) std::abort();
  } else if (error.empty()) {
    std::abort();
  }
  return 0;
}
