// The variables of a section as the administrator sees them: read through the super
// user's privileged items (every column of each row), then printed as text or JSON.
// `show` is this, and so are the benchmark's measurements of it. One thread.
#ifndef LUMORA_TOOLS_LUMORA_ADMIN_VARIABLE_LISTING_H_
#define LUMORA_TOOLS_LUMORA_ADMIN_VARIABLE_LISTING_H_

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "lumora/profile_private.h"
#include "platform/ui/json_value.h"

namespace lumora::admin {

struct VariableRow {
  std::string uki;
  std::string fieldName;
  LONG type = 0;
  LONG privacy = 0;
  LONG volatility = 0;
  bool readOnly = false;
  bool linked = false;
  std::string linkSource;  // the uki a link reads from; empty for a variable of its own
  bool valueSet = false;
  std::string displayValue;  // empty when no value is set
  std::string rawValue;      // filled only when asked for
  DATE lastShared = 0;
};

// What a privileged item (IPRSuperKeyAttr) holds; with `withRawValue` its raw value too.
HRESULT ReadVariable(IPRSuperKeyAttr* item, bool withRawValue, VariableRow* row);
// Every variable of `section` in the store's order (ExecuteReadAllKeysInSection).
HRESULT ReadSectionVariables(IPRProfileSuperUser* superUser, const std::string& section,
                             std::vector<VariableRow>* rows);
// The same, one variable at a time as it is read: `start` learns their number first,
// then `each` sees every one (the row is reused; keep what you need of it).
HRESULT ReadSectionVariables(IPRProfileSuperUser* superUser, const std::string& section,
                             const std::function<void(LONG count)>& start,
                             const std::function<void(const VariableRow&)>& each);

// The names of the enumerations' members, as the administrator reads them.
std::string TypeName(LONG type);
std::string PrivacyName(LONG privacy);
std::string VolatilityName(LONG volatility);

// One block of lines per variable, every text taken from the store made printable: the
// heading, then each variable's block, appended to *text.
void AppendVariablesHeading(const std::string& section, size_t count, std::string* text);
void AppendVariableLines(const VariableRow& row, std::string* text);
// {"section": ..., "variables": [{...}, ...]} on one line.
JsonValue VariablesJson(const std::string& section, const std::vector<VariableRow>& rows);
JsonValue VariableJson(const VariableRow& row);

// `show SECTION` itself, printing to `out`: 0 on success, else the failing result (the
// caller says what it means).
HRESULT ShowSection(IPRProfileSuperUser* superUser, const std::string& section, bool json, FILE* out);

}  // namespace lumora::admin

#endif  // LUMORA_TOOLS_LUMORA_ADMIN_VARIABLE_LISTING_H_
