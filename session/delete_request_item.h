// PRDeleteRequestItem: deletes a variable with its array items or enumeration labels, or
// one element of an array variable. Variables that link to a deleted one are left as
// they are. Owned by a write queue; used on its profile object's thread.
#ifndef LUMORA_SESSION_DELETE_REQUEST_ITEM_H_
#define LUMORA_SESSION_DELETE_REQUEST_ITEM_H_

#include <string>

#include "write_request_item.h"

namespace lumora {

class PRDeleteRequestItem final : public PRWriteRequestItem {
 public:
  PRDeleteRequestItem(std::string uki, LONG requesterKind);
  // E_FAIL when the variable does not exist; an element that does not exist fails with
  // the database's error for a missing current record.
  HRESULT Execute(CKeySet& keys) override;
};

}  // namespace lumora

#endif  // LUMORA_SESSION_DELETE_REQUEST_ITEM_H_
