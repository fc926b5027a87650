// Conversions between the component's narrow strings (UTF-8, our "ANSI code page") and
// the UTF-16 text of BSTRs. Pure functions; any thread. Malformed input never fails:
// each bad sequence becomes U+FFFD.
#ifndef LUMORA_UTF_H_
#define LUMORA_UTF_H_

#include <string>
#include <string_view>

namespace lumora {

std::u16string Utf8ToUtf16(std::string_view text);
// Writes the conversion to out, which has room for text.size() units (it never takes
// more), and returns the number of units written.
size_t Utf8ToUtf16(std::string_view text, char16_t* out);
// True when every byte is below 0x80, so each byte is its own UTF-16 unit.
bool IsAscii(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace lumora

#endif  // LUMORA_UTF_H_
