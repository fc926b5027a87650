// PRModifyPrivacyRequestItem: sets a variable's privacy (queued only by an object that
// may address every section). Owned by a write queue; used on its profile object's thread.
#ifndef LUMORA_SESSION_MODIFY_PRIVACY_REQUEST_ITEM_H_
#define LUMORA_SESSION_MODIFY_PRIVACY_REQUEST_ITEM_H_

#include <string>

#include "write_request_item.h"

namespace lumora {

class PRModifyPrivacyRequestItem final : public PRWriteRequestItem {
 public:
  PRModifyPrivacyRequestItem(std::string uki, LONG requesterKind, LONG privacy);
  // E_FAIL when the variable does not exist; otherwise S_OK, also when the privacy was
  // already the one asked for (which records no change with the notification service).
  HRESULT Execute(CKeySet& keys) override;
  LONG Privacy() const { return m_privacy; }

 private:
  LONG m_privacy;
};

}  // namespace lumora

#endif  // LUMORA_SESSION_MODIFY_PRIVACY_REQUEST_ITEM_H_
