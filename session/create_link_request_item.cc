// Creating a link to a common variable.
#include "create_link_request_item.h"

#include "lumora/error.h"
#include "store/display_text.h"
#include "store/key_lookup.h"
#include "store/raw_value.h"
#include "store/value_protection.h"

namespace lumora {

PRCreateLinkRequestItem::PRCreateLinkRequestItem(std::string uki, LONG requesterKind, std::string sourceUki)
    : PRWriteRequestItem(std::move(uki), requesterKind), m_sourceUki(std::move(sourceUki)) {}

HRESULT PRCreateLinkRequestItem::Execute(CKeySet& keys) {
  return ErrorBoundary("PRCreateLinkRequestItem::Execute", [&]() -> HRESULT { return ExecuteCreateLink(keys); });
}

HRESULT PRCreateLinkRequestItem::ExecuteCreateLink(CKeySet& keys) {
  if (FindKey(keys, m_uki)) {
    // The section has its variable already: this is a modification of it.
    const HRESULT r = m_hasValue ? SetRawValue(keys, m_value) : eWarningValueUnchanged;
    if (m_pDisplay && m_pDisplay->privacy != keys.m_Privacy) {
      keys.Edit();
      const LONG reason = ApplyDisplayPrivacy(keys);
      keys.Update();
      NotifyPrivacyChange(keys, reason);
    }
    return r;
  }
  if (!FindKey(keys, m_sourceUki)) return E_FAIL;
  // An array variable counts as set whatever its own value: its items are its value.
  const bool sourceSet = keys.m_Type == eTypeArrayOfStrings || keys.m_Value != kNotSetMarker;
  const std::string fieldName = keys.m_FieldName;
  const BYTE privacy = keys.m_Privacy;
  const BYTE volatility = keys.m_Volatility;
  const SHORT type = keys.m_Type;
  const BOOL isReadOnly = keys.m_IsReadOnly;

  std::string ownValue;
  bool linked = true;
  if (m_hasValue && sourceSet) {
    // The section keeps a value of its own, which must suit the variable's type like any
    // other value written.
    const HRESULT valid = ValidateRawValue(m_value, type);
    if (FAILED(valid)) return valid;
    ownValue = ProtectValue(m_value);
    linked = false;
  } else if (m_hasValue) {
    // The common variable receives the value; a value its type refuses is dropped and
    // the section's variable still becomes a link.
    SetRawValue(keys, m_value);
  } else if (!sourceSet) {
    ownValue = kNotSetMarker;
  }

  keys.AddNew();
  keys.m_Value = ownValue;
  keys.m_Section = GetSection();
  keys.m_Key = GetKey();
  keys.m_FieldName = fieldName;
  keys.m_Volatility = volatility;
  keys.m_Type = type;
  keys.m_IsReadOnly = isReadOnly;
  keys.m_Privacy = static_cast<BYTE>(m_pDisplay ? m_pDisplay->privacy : privacy);
  keys.m_IsLinked = linked ? TRUE : FALSE;
  keys.Update();
  return S_OK;
}

LONG PRCreateLinkRequestItem::PrepareDisplayInfo(CKeySet& keys) {
  m_pDisplay.reset();
  if (!FindKey(keys, m_uki) && !FindKey(keys, m_sourceUki)) return -1;
  if (!m_hasValue) return -2;
  auto display = std::make_unique<PRDisplayWriteItem>();
  display->fieldName = keys.m_FieldName;
  display->privacy = keys.m_Privacy;
  const PR_GDVACreateLinkRequest assistor(m_value, keys.m_Type);
  display->displayValue = DisplayText(&keys, &assistor, nullptr);
  m_pDisplay = std::move(display);
  return 0;
}

}  // namespace lumora
