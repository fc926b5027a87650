// PRCreateLinkRequestItem: makes a section's own variable for a common variable, as a
// link to it (the link row's Key names its source). With a value (merged in from a
// modification) the value goes to the common variable while that has none, and
// otherwise makes the section's variable an ordinary one holding the value. Owned by a
// write queue; used on its profile object's thread.
#ifndef LUMORA_SESSION_CREATE_LINK_REQUEST_ITEM_H_
#define LUMORA_SESSION_CREATE_LINK_REQUEST_ITEM_H_

#include <string>

#include "write_request_item.h"

namespace lumora {

class PRCreateLinkRequestItem final : public PRWriteRequestItem {
 public:
  PRCreateLinkRequestItem(std::string uki, LONG requesterKind, std::string sourceUki);

  HRESULT Execute(CKeySet& keys) override;
  // The variable (or failing that its source) with the item's value: -1 when neither
  // exists, -2 when the item carries no value (nothing to show).
  LONG PrepareDisplayInfo(CKeySet& keys) override;
  bool ListedInWriteDialog() const override { return true; }

  // A modification of the same uki merged into the link: it now carries a value.
  void ReplaceValue(std::string value) {
    m_value = std::move(value);
    m_hasValue = true;
  }
  bool HasValue() const { return m_hasValue; }
  const std::string& Value() const { return m_value; }
  const std::string& SourceUki() const { return m_sourceUki; }

 private:
  HRESULT ExecuteCreateLink(CKeySet& keys);

  std::string m_value;
  bool m_hasValue = false;
  std::string m_sourceUki;
};

}  // namespace lumora

#endif  // LUMORA_SESSION_CREATE_LINK_REQUEST_ITEM_H_
