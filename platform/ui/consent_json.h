// The JSON form of a consent dialog and of an answer to it (docs/consent-json.md): what
// the scripted presenter records and reads, and what the helper program is sent and
// answers. Pure functions; any thread.
#ifndef LUMORA_PLATFORM_UI_CONSENT_JSON_H_
#define LUMORA_PLATFORM_UI_CONSENT_JSON_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "consent_presenter.h"
#include "json_value.h"

namespace lumora {

// The longest line a presenter writes or accepts, its newline not counted.
inline constexpr size_t kMaxConsentLineLength = 1u << 20;

// "read" or "write".
const char* ConsentKindName(ConsentKind kind);
// "allow", "deny" or "close".
const char* ConsentAnswerName(ConsentAnswer answer);

// The dialog as shown: kind, caption, texts (control id -> text), columns (header and
// width) and `rows` (the cell texts as displayed, which for a write dialog follow the
// share-status buttons pressed so far).
JsonValue ConsentDialogToJson(const ConsentDialogModel& model, const std::vector<std::vector<std::string>>& rows);
// What a presenter program that draws the dialog itself is sent: the same, then the
// explanation dialog's texts ("explanation") and, for a write dialog, what its
// share-status buttons do ("share"), so it needs nothing else to show them live.
JsonValue ConsentDialogForProgram(const ConsentDialogModel& model, const std::vector<std::vector<std::string>>& rows);

// The dialog a presenter program is sent, read back: the model with its rows as shown.
// Strict like every reader of this form: nothing when a member is missing, unknown or
// of the wrong kind (*error says why).
std::optional<ConsentDialogModel> ParseConsentDialog(std::string_view line, std::string* error);

// One press of a share-status button on the rows selected (indexes in list order).
struct ConsentAction {
  std::vector<size_t> select;
  bool shared = false;
};

// What the user did: the buttons pressed, in order, then the answer.
struct ConsentReply {
  std::vector<ConsentAction> actions;
  ConsentAnswer answer = ConsentAnswer::kDeny;
};

// Reads an answer line: {"answer":"allow"|"deny"|"close"} with, optionally,
// "actions":[{"select":[0,2],"press":"private"|"shared"}, ...]. Nothing else is accepted;
// on refusal *error says why.
std::optional<ConsentReply> ParseConsentReply(std::string_view line, std::string* error);

// The reply `line` for this dialog with its actions pressed, in order, through the
// dialog's own logic (`actions`, null for a read dialog). Nothing pressed and nothing
// (with *error) when the line is no valid answer for this dialog: actions on a dialog
// without share-status buttons, or a row the dialog does not have.
std::optional<ConsentReply> ApplyConsentReply(std::string_view line, const ConsentDialogModel& model,
                                              ConsentDialogActions* actions, std::string* error);

// The answer object for `reply` (docs/consent-json.md).
JsonValue ConsentReplyToJson(const ConsentReply& reply);

}  // namespace lumora

#endif  // LUMORA_PLATFORM_UI_CONSENT_JSON_H_
