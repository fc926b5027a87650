// PRDisplayReadItem: one row of the read consent dialog, a variable's field name and the
// text its value is shown as. Made by the read execution, owned by the dialog's list
// from then on. Plain data; one thread.
#ifndef LUMORA_CONSENT_DISPLAY_READ_ITEM_H_
#define LUMORA_CONSENT_DISPLAY_READ_ITEM_H_

#include <string>

namespace lumora {

struct PRDisplayReadItem {
  std::string m_fieldName;
  std::string m_displayText;
};

}  // namespace lumora

#endif  // LUMORA_CONSENT_DISPLAY_READ_ITEM_H_
