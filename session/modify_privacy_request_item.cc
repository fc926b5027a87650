// Changing a variable's privacy.
#include "modify_privacy_request_item.h"

#include "lumora/error.h"
#include "store/key_lookup.h"

namespace lumora {

PRModifyPrivacyRequestItem::PRModifyPrivacyRequestItem(std::string uki, LONG requesterKind, LONG privacy)
    : PRWriteRequestItem(std::move(uki), requesterKind), m_privacy(privacy) {}

HRESULT PRModifyPrivacyRequestItem::Execute(CKeySet& keys) {
  return ErrorBoundary("PRModifyPrivacyRequestItem::Execute", [&]() -> HRESULT {
    if (!FindKey(keys, m_uki)) return E_FAIL;
    keys.Edit();
    LONG reason = 0;
    if (keys.m_Privacy != m_privacy) {
      keys.m_Privacy = static_cast<BYTE>(m_privacy);
      reason = m_privacy == ePrivacyShared ? 1 : 2;
    }
    keys.Update();
    NotifyPrivacyChange(keys, reason);
    return S_OK;
  });
}

}  // namespace lumora
