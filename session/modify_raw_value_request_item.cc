// Modifying a variable's raw value.
#include "modify_raw_value_request_item.h"

#include "lumora/error.h"
#include "store/array_set.h"
#include "store/display_text.h"
#include "store/key_lookup.h"

namespace lumora {
PRModifyRawValueRequestItem::PRModifyRawValueRequestItem(std::string uki, LONG requesterKind, std::string newRawValue)
    : PRWriteRequestItem(std::move(uki), requesterKind), m_newRawValue(std::move(newRawValue)) {}

HRESULT PRModifyRawValueRequestItem::Execute(CKeySet& keys) {
  return ErrorBoundary("PRModifyRawValueRequestItem::Execute", [&]() -> HRESULT { return ExecuteModify(keys); });
}

HRESULT PRModifyRawValueRequestItem::ExecuteModify(CKeySet& keys) {
  if (!FindKeyAgain(keys, m_uki, m_preparedRow)) return eErrorKeyNotFound;
  if (HasArrayKey()) {
    TakeOverLinkedArray(keys);
    CArraySet arrays(keys.m_pDatabase);
    return SetArrayItem(arrays, m_uki, m_newRawValue);
  }
  if (m_pDisplay && m_pDisplay->privacy != keys.m_Privacy) {
    keys.Edit();
    const LONG reason = ApplyDisplayPrivacy(keys);
    keys.Update();
    NotifyPrivacyChange(keys, reason);
  }
  return SetRawValue(keys, m_newRawValue);
}

LONG PRModifyRawValueRequestItem::PrepareDisplayInfo(CKeySet& keys) {
  m_pDisplay.reset();
  m_preparedRow.reset();
  if (!FindKey(keys, m_uki)) return -1;
  m_preparedRow = keys.GetBookmark();
  auto display = std::make_unique<PRDisplayWriteItem>();
  display->privacy = keys.m_Privacy;
  if (HasArrayKey()) {
    display->fieldName = keys.m_FieldName + "[" + GetArrayKey() + "]";
    display->displayValue = m_newRawValue;
  } else {
    display->fieldName = keys.m_FieldName;
    const PRGetDisplayValueAssistorForModifyRequest assistor(m_newRawValue);
    display->displayValue = DisplayText(&keys, &assistor, nullptr);
  }
  m_pDisplay = std::move(display);
  return 0;
}

}  // namespace lumora
