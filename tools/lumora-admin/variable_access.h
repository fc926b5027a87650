// One variable read as the administrator, for get and set: a privileged read request
// executed without a dialog (hwnd -1), which no company's consent concerns. One thread.
#ifndef LUMORA_TOOLS_LUMORA_ADMIN_VARIABLE_ACCESS_H_
#define LUMORA_TOOLS_LUMORA_ADMIN_VARIABLE_ACCESS_H_

#include <string>
#include <string_view>
#include <vector>

#include "lumora/profile_private.h"
#include "variable_listing.h"

namespace lumora::admin {

struct VariableDetails {
  VariableRow row;                                            // with its raw value
  std::vector<std::pair<std::string, std::string>> elements;  // an array's (key, value) pairs
  std::vector<std::string> options;                           // an enumeration's labels
};

// Reads `uki`; eErrorKeyNotFound when the store holds no such variable (or element).
HRESULT ReadOneVariable(IPRProfileSuperUser* superUser, const std::string& uki, VariableDetails* details);

// What is wrong with `value` as a raw value of a variable of `type` (an enumeration with
// `options` labels), or the empty text. The store reads numbers only up to their first
// stray character (a date-time "36526,75" typed in a German habit would be kept as
// midnight, "2x" as 2) and takes any enumeration index, so the administrator's value is
// checked whole before it is queued.
std::string RawValueProblem(LONG type, size_t options, std::string_view value);

}  // namespace lumora::admin

#endif  // LUMORA_TOOLS_LUMORA_ADMIN_VARIABLE_ACCESS_H_
