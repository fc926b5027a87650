// Creating a variable.
#include "create_request_item.h"

#include "lumora/error.h"
#include "store/array_set.h"
#include "store/display_text.h"
#include "store/enum_set.h"
#include "store/key_lookup.h"
#include "store/query_filters.h"
#include "store/raw_value.h"
#include "store/value_protection.h"

namespace lumora {

PRCreateRequestItem::PRCreateRequestItem(std::string uki, LONG requesterKind, NewVariable variable)
    : PRWriteRequestItem(std::move(uki), requesterKind), m_variable(std::move(variable)) {}

HRESULT PRCreateRequestItem::Execute(CKeySet& keys) {
  return ErrorBoundary("PRCreateRequestItem::Execute", [&]() -> HRESULT { return ExecuteCreate(keys); });
}

HRESULT PRCreateRequestItem::ExecuteCreate(CKeySet& keys) {
  // An element of an array variable lives in the Arrays table alone; the Main row is not
  // required, and is looked at only to make a linked common array the section's own.
  if (HasArrayKey()) {
    if (FindKey(keys, m_uki)) TakeOverLinkedArray(keys);
    CArraySet arrays(keys.m_pDatabase);
    return SetArrayItem(arrays, m_uki, m_variable.rawValue);
  }
  const HRESULT r = ValidateRawValue(m_variable.rawValue, m_variable.type);
  if (FAILED(r)) return r;

  if (FindKey(keys, m_uki)) {
    // The variable exists: only its value and the privacy chosen in the dialog change;
    // its type, field name and flags stay as they were.
    const bool privacyKept = !m_pDisplay || m_pDisplay->privacy == keys.m_Privacy;
    const bool valueKept = StoredValueIs(keys.m_Value, m_variable.rawValue);
    if (privacyKept && valueKept) return eWarningValueUnchanged;
    const std::string stored = valueKept ? std::string() : ProtectValue(m_variable.rawValue);
    keys.Edit();
    const LONG reason = ApplyDisplayPrivacy(keys);
    if (!valueKept) keys.m_Value = stored;
    keys.Update();
    NotifyPrivacyChange(keys, reason);
    return valueKept ? eWarningValueUnchanged : r;
  }

  const std::string stored = ProtectValue(m_variable.rawValue);  // the not-set marker is kept as it is
  keys.AddNew();
  keys.m_Key = GetKey();
  keys.m_Section = GetSection();
  keys.m_FieldName = m_variable.fieldName;
  keys.m_Privacy = static_cast<BYTE>(m_pDisplay ? m_pDisplay->privacy : m_variable.privacy);
  keys.m_Type = m_variable.type;
  keys.m_Volatility = m_variable.volatility;
  keys.m_IsReadOnly = m_variable.isReadOnly != 0 ? TRUE : FALSE;
  keys.m_IsLinked = FALSE;
  keys.m_Value = stored;
  keys.Update();

  if (m_variable.type == eTypeEnumOfStrings) {
    CEnumSet enums(keys.m_pDatabase);
    enums.m_strFilter = EnumLabelsFilter(m_uki);
    enums.Open();
    LONG index = 1;
    for (const std::string& label : m_variable.enumOptions) {
      enums.AddNew();
      enums.m_uki = m_uki;
      enums.m_enumIndex = index++;
      enums.m_Label = label;
      enums.Update();
    }
  }
  return r;
}

LONG PRCreateRequestItem::PrepareDisplayInfo(CKeySet& keys) {
  m_pDisplay.reset();
  auto display = std::make_unique<PRDisplayWriteItem>();
  display->fieldName = HasArrayKey() ? "    [" + GetArrayKey() + "]" : m_variable.fieldName;
  const bool exists = FindKey(keys, m_uki);
  display->privacy = exists ? keys.m_Privacy : m_variable.privacy;
  const PR_GDVACreateRequest assistor(m_variable.rawValue, m_variable.type, &m_variable.enumOptions);
  display->displayValue = DisplayText(exists ? &keys : nullptr, &assistor, nullptr);
  m_pDisplay = std::move(display);
  return 0;
}

}  // namespace lumora
