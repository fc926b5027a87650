// What lumora-admin prints of the store's contents. Section names, values, company names
// and notices come from programs the administrator does not control; shown raw, an
// escape sequence among them could move the cursor, rewrite what is on the screen or
// turn the text around. Everything taken from the store goes through Printable (plain
// output) or WriteSafeJson (--json) first. Pure functions; any thread.
#ifndef LUMORA_TOOLS_LUMORA_ADMIN_TERMINAL_TEXT_H_
#define LUMORA_TOOLS_LUMORA_ADMIN_TERMINAL_TEXT_H_

#include <string>
#include <string_view>

#include "lumora/automation.h"
#include "platform/ui/json_value.h"

namespace lumora::admin {

// `text` with every character that a terminal acts on written as an escape: \n, \r, \t,
// \e, \xNN for the other control bytes (and DEL), \u0080..\u009f for the 8-bit controls,
// \u200e, \u202a..\u202e, \u2066..\u2069 and the like for the characters that reorder or
// hide text, \u2028/\u2029 for the line separators; a byte that starts no valid UTF-8
// sequence is written \xNN. Everything else, backslashes included, is left alone.
std::string Printable(std::string_view text);
// The same, appended to *out.
void AppendPrintable(std::string* out, std::string_view text);
// Printable(text) in double quotes: how the tool names a value, a key or a section.
std::string Quoted(std::string_view text);

// WriteJson of `value`, with the characters above that JSON leaves as they are (DEL, the
// 8-bit controls, the reordering characters) written as \u escapes, so that the result
// is the same JSON and still harmless on a terminal.
std::string WriteSafeJson(const JsonValue& value);

// A date-time as "YYYY-MM-DD HH:MM:SS" (the same in every locale); empty for 0, the value
// of a date that was never set; "not a date (N)" for a number that names no day.
std::string FormatDateTime(DATE when);

}  // namespace lumora::admin

#endif  // LUMORA_TOOLS_LUMORA_ADMIN_TERMINAL_TEXT_H_
