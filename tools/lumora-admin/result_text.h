// Result codes in words, for lumora-admin's messages: an administrator reading
// "0x800A0BE5" learns nothing, "the store is in use by another program" tells what to do.
// Pure functions; any thread.
#ifndef LUMORA_TOOLS_LUMORA_ADMIN_RESULT_TEXT_H_
#define LUMORA_TOOLS_LUMORA_ADMIN_RESULT_TEXT_H_

#include <string>

#include "lumora/automation.h"

namespace lumora::admin {

// What `hr` means, in a few words ("the store is in use by another program (opened for
// itself)"); for a code it does not know, "result code 0x...".
std::string ResultMeaning(HRESULT hr);

// "0xXXXXXXXX: meaning".
std::string Explained(HRESULT hr);

}  // namespace lumora::admin

#endif  // LUMORA_TOOLS_LUMORA_ADMIN_RESULT_TEXT_H_
