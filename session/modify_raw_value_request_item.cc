// Modifying a variable's raw value.
#include "modify_raw_value_request_item.h"

#include <utility>
#include <vector>

#include "lumora/error.h"
#include "store/array_set.h"
#include "store/display_text.h"
#include "store/key_lookup.h"
#include "store/query_filters.h"
#include "store/uki.h"

namespace lumora {
namespace {

std::string ArrayRowsFilter(std::string_view baseUki) { return "UKI = '" + QuoteFilterText(baseUki) + "'"; }

}  // namespace

PRModifyRawValueRequestItem::PRModifyRawValueRequestItem(std::string uki, LONG requesterKind, std::string newRawValue)
    : PRWriteRequestItem(std::move(uki), requesterKind), m_newRawValue(std::move(newRawValue)) {}

HRESULT PRModifyRawValueRequestItem::Execute(CKeySet& keys) {
  return ErrorBoundary("PRModifyRawValueRequestItem::Execute", [&]() -> HRESULT { return ExecuteModify(keys); });
}

HRESULT PRModifyRawValueRequestItem::ExecuteModify(CKeySet& keys) {
  if (!FindKey(keys, m_uki)) return eErrorKeyNotFound;
  if (HasArrayKey()) {
    if (keys.m_IsLinked && IsCommonSection(GetKey())) TakeOverLinkedArray(keys);
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

void PRModifyRawValueRequestItem::TakeOverLinkedArray(CKeySet& keys) const {
  const std::string base = GetBaseUki();
  std::vector<std::pair<std::string, std::string>> items;  // key, stored value
  {
    CArraySet source(keys.m_pDatabase);
    source.m_strFilter = ArrayRowsFilter(keys.m_Key);
    source.Open(dbOpenSnapshot);
    for (; !source.IsEOF(); source.MoveNext()) items.emplace_back(source.m_key, source.m_value);
  }
  CArraySet own(keys.m_pDatabase);
  own.m_strFilter = ArrayRowsFilter(base);
  own.Open(dbOpenDynaset);
  while (!own.IsEOF()) {  // rows left from before the link: the copy replaces them
    own.Delete();
    if (!own.IsEOF()) own.MoveNext();
  }
  for (const auto& [key, value] : items) {
    own.AddNew();
    own.m_uki = base;
    own.m_key = key;
    own.m_value = value;  // protected under the database password, not under the uki
    own.Update();
  }
  keys.Edit();
  keys.m_IsLinked = FALSE;
  keys.Update();
}

LONG PRModifyRawValueRequestItem::PrepareDisplayInfo(CKeySet& keys) {
  m_pDisplay.reset();
  if (!FindKey(keys, m_uki)) return -1;
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
