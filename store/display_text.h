// DisplayText: the text the consent dialogs show for a value. Used on one thread.
#ifndef LUMORA_STORE_DISPLAY_TEXT_H_
#define LUMORA_STORE_DISPLAY_TEXT_H_

#include <functional>
#include <string>

#include "display_value_assistor.h"
#include "key_set.h"

namespace lumora {

// The shown text of a variable: the raw value comes from `rawOverride`, else the
// assistor, else the row's effective raw value; the type from the assistor, else the row.
// `row` may be null when the assistor supplies all that is needed. Reports no errors; a
// date that does not parse shows its raw text. Database failures are thrown.
std::string DisplayText(CKeySet* row, const PRGetDisplayValueAssistor* assistor, const std::string* rawOverride);
// The same for a raw value of a known type, without a row: `enumLabel` gives an
// enumeration's label of an option index.
std::string DisplayTextOf(LONG type, const std::string& raw, const std::function<std::string(LONG)>& enumLabel);

}  // namespace lumora

#endif  // LUMORA_STORE_DISPLAY_TEXT_H_
