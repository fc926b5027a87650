// UTF-8 sequences one at a time, for the presenters that must show or write text
// exactly: strict decoding (no overlong forms, no surrogates, nothing above U+10FFFF)
// and encoding. Pure functions; any thread.
#ifndef LUMORA_PLATFORM_UI_UTF8_TEXT_H_
#define LUMORA_PLATFORM_UI_UTF8_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lumora {

// The length of the valid sequence that starts at `pos` (which must lie inside `text`),
// its code point in *code; 0 when the byte there starts no valid sequence.
size_t Utf8Sequence(std::string_view text, size_t pos, uint32_t* code);
void AppendUtf8(std::string* out, uint32_t code);

inline constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace lumora

#endif  // LUMORA_PLATFORM_UI_UTF8_TEXT_H_
