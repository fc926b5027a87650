// PRModifyRawValueRequestItem: gives an existing variable (or one element of an array
// variable) a new raw value, checked against the variable's type when it executes.
// Owned by a write queue; used on its profile object's thread.
#ifndef LUMORA_SESSION_MODIFY_RAW_VALUE_REQUEST_ITEM_H_
#define LUMORA_SESSION_MODIFY_RAW_VALUE_REQUEST_ITEM_H_

#include <string>

#include "write_request_item.h"

namespace lumora {

class PRModifyRawValueRequestItem final : public PRWriteRequestItem {
 public:
  PRModifyRawValueRequestItem(std::string uki, LONG requesterKind, std::string newRawValue);

  HRESULT Execute(CKeySet& keys) override;
  // The variable with its new value: -1 when it does not exist. An element shows its
  // raw value beside the variable's field name and the element's key.
  LONG PrepareDisplayInfo(CKeySet& keys) override;
  bool ListedInWriteDialog() const override { return true; }

  // A later modification of the same uki is merged here: it replaces the value.
  void ReplaceNewRawValue(std::string newRawValue) { m_newRawValue = std::move(newRawValue); }
  const std::string& NewRawValue() const { return m_newRawValue; }

 private:
  HRESULT ExecuteModify(CKeySet& keys);

  std::string m_newRawValue;
};

}  // namespace lumora

#endif  // LUMORA_SESSION_MODIFY_RAW_VALUE_REQUEST_ITEM_H_
