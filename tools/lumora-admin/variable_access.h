// One variable read as the administrator, for get and set: a privileged read request
// executed without a dialog (hwnd -1), which no company's consent concerns. One thread.
#ifndef LUMORA_TOOLS_LUMORA_ADMIN_VARIABLE_ACCESS_H_
#define LUMORA_TOOLS_LUMORA_ADMIN_VARIABLE_ACCESS_H_

#include <string>
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

}  // namespace lumora::admin

#endif  // LUMORA_TOOLS_LUMORA_ADMIN_VARIABLE_ACCESS_H_
