// Conversions between the component's narrow strings (UTF-8, our "ANSI code page") and
// the UTF-16 text of BSTRs. Pure functions; any thread. Malformed input never fails:
// each bad sequence becomes U+FFFD.
#ifndef LUMORA_UTF_H_
#define LUMORA_UTF_H_

#include <string>
#include <string_view>

namespace lumora {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace lumora

#endif  // LUMORA_UTF_H_
