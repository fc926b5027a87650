// Ukis: section "." key, optionally followed by "[" array key "]". Pure text operations,
// byte for byte (only the "common" test ignores letter case); any thread.
#ifndef LUMORA_STORE_UKI_H_
#define LUMORA_STORE_UKI_H_

#include <string>
#include <string_view>

namespace lumora {

// The text before the first "." (the whole uki when it has none).
std::string SectionOfUki(std::string_view uki);
// The text after the first "." up to the first "[" (or the end); without a ".", the whole
// text up to the first "[". A key may itself contain ".".
std::string KeyOfUki(std::string_view uki);
// Only for a uki that ends with "]": the text after the first "[" without the final "]".
std::string ArrayKeyOfUki(std::string_view uki);
// The text before the first "[".
std::string BaseOfUki(std::string_view uki);
std::string MakeUki(std::string_view section, std::string_view key, std::string_view arrayKey = {});
// True when the first six characters are "common" in any letter case.
bool IsCommonSection(std::string_view text);
// The caller's own copy of a common variable: section "." uki, unless `unqualified` is set
// or the uki's section is not common.
std::string QualifyCommonUki(bool unqualified, std::string_view callerSection, std::string_view uki);

}  // namespace lumora

#endif  // LUMORA_STORE_UKI_H_
