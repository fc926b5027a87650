// PRCreateRequestItem and PRCreateNullRequestItem: creating a variable, with a value or
// without one (the not-set marker). An existing variable is updated instead: only its
// value and, from the dialog, its privacy. An array element uki writes that element.
// Owned by a write queue; used on its profile object's thread.
#ifndef LUMORA_SESSION_CREATE_REQUEST_ITEM_H_
#define LUMORA_SESSION_CREATE_REQUEST_ITEM_H_

#include <string>
#include <vector>

#include "write_request_item.h"

namespace lumora {

// What a new variable is made of.
struct NewVariable {
  std::string fieldName;
  std::string rawValue;
  LONG privacy = ePrivacyPrivate;
  SHORT type = eTypeUnknown;
  BYTE volatility = eVolatilityChangesNever;
  LONG isReadOnly = 0;                   // -1 or 0 (any other value reads as set)
  std::vector<std::string> enumOptions;  // labels of enumIndex 1, 2, ...
};

class PRCreateRequestItem : public PRWriteRequestItem {
 public:
  PRCreateRequestItem(std::string uki, LONG requesterKind, NewVariable variable);

  HRESULT Execute(CKeySet& keys) override;
  // The variable as it will be: the item's value shown by its own type and options,
  // with the stored privacy when the variable exists already.
  LONG PrepareDisplayInfo(CKeySet& keys) override;
  bool ListedInWriteDialog() const override { return true; }

  // A later modification of the same uki is merged here: it replaces the value.
  void ReplaceRawValue(std::string rawValue) { m_variable.rawValue = std::move(rawValue); }
  const NewVariable& Variable() const { return m_variable; }

 protected:
  HRESULT ExecuteCreate(CKeySet& keys);

 private:
  NewVariable m_variable;
};

// A variable created without a value. It executes as a creation, but the write dialog
// does not list it and a modification never merges into it.
class PRCreateNullRequestItem final : public PRCreateRequestItem {
 public:
  using PRCreateRequestItem::PRCreateRequestItem;
  bool ListedInWriteDialog() const override { return false; }
};

}  // namespace lumora

#endif  // LUMORA_SESSION_CREATE_REQUEST_ITEM_H_
