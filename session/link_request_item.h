// PRLinkRequestItem: switches a section's variable for a common variable between being a
// link to it and holding its own value (queued only by the privileged objects). Owned by
// a write queue; used on its profile object's thread.
#ifndef LUMORA_SESSION_LINK_REQUEST_ITEM_H_
#define LUMORA_SESSION_LINK_REQUEST_ITEM_H_

#include <string>

#include "write_request_item.h"

namespace lumora {

class PRLinkRequestItem final : public PRWriteRequestItem {
 public:
  PRLinkRequestItem(std::string uki, LONG requesterKind, bool link);
  // eErrorKeyNotFound for a variable that does not exist; E_INVALIDARG when its key does
  // not name a common variable (switching on), or that variable is missing or is itself
  // stored under a common key. The row's own value is never touched: switching the link
  // off shows it again.
  HRESULT Execute(CKeySet& keys) override;
  bool Link() const { return m_link; }

 private:
  bool m_link;
};

}  // namespace lumora

#endif  // LUMORA_SESSION_LINK_REQUEST_ITEM_H_
