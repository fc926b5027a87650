// The write request items' shared part: uki pieces, the display record, privacy change
// records, and the modify step.
#include "write_request_item.h"

#include <mutex>
#include <utility>
#include <vector>

#include "common/notification_client.h"
#include "common/resources.h"
#include "store/array_set.h"
#include "store/display_text.h"
#include "store/key_lookup.h"
#include "store/query_filters.h"
#include "store/raw_value.h"
#include "store/uki.h"
#include "store/value_protection.h"

namespace lumora {
namespace {

std::string ArrayRowsFilter(std::string_view baseUki) { return "UKI = '" + QuoteFilterText(baseUki) + "'"; }

struct ShareTexts {
  std::string shared;
  std::string privateText;
};

const ShareTexts& LoadedShareTexts() {
  static std::once_flag loaded;
  static ShareTexts texts;  // written once under `loaded`; lives as long as the component
  std::call_once(loaded, [] {
    texts.shared = LoadResourceString(IDS_SHARED);
    texts.privateText = LoadResourceString(IDS_PRIVATE);
  });
  return texts;
}

}  // namespace

const std::string& SharedText() { return LoadedShareTexts().shared; }
const std::string& PrivateText() { return LoadedShareTexts().privateText; }

PRWriteRequestItem::PRWriteRequestItem(std::string uki, LONG requesterKind)
    : m_requesterKind(requesterKind), m_uki(std::move(uki)) {
  LoadedShareTexts();
}

PRWriteRequestItem::~PRWriteRequestItem() = default;

std::string PRWriteRequestItem::GetSection() const { return SectionOfUki(m_uki); }
std::string PRWriteRequestItem::GetKey() const { return KeyOfUki(m_uki); }
std::string PRWriteRequestItem::GetArrayKey() const { return ArrayKeyOfUki(m_uki); }
std::string PRWriteRequestItem::GetBaseUki() const { return MakeUki(GetSection(), GetKey()); }

std::string PRWriteRequestItem::GetDisplayFieldName() const {
  return m_pDisplay ? m_pDisplay->fieldName : std::string();
}

std::string PRWriteRequestItem::GetDisplayValue() const {
  return m_pDisplay ? m_pDisplay->displayValue : std::string();
}

std::string PRWriteRequestItem::GetDisplayShareStatus() const {
  return m_pDisplay && m_pDisplay->privacy == ePrivacyShared ? SharedText() : PrivateText();
}

void PRWriteRequestItem::SetDisplayPrivacy(LONG privacy) {
  if (m_pDisplay) m_pDisplay->privacy = privacy;
}

LONG PRWriteRequestItem::PrepareDisplayInfo(CKeySet& keys) {
  m_pDisplay.reset();
  if (!FindKey(keys, m_uki)) return 0;
  auto display = std::make_unique<PRDisplayWriteItem>();
  display->fieldName = keys.m_FieldName;
  display->displayValue = DisplayText(&keys, nullptr, nullptr);
  display->privacy = keys.m_Privacy;
  m_pDisplay = std::move(display);
  return 0;
}

LONG PRWriteRequestItem::ApplyDisplayPrivacy(CKeySet& keys) const {
  if (!m_pDisplay || m_pDisplay->privacy == keys.m_Privacy) return 0;
  keys.m_Privacy = static_cast<BYTE>(m_pDisplay->privacy);
  return m_pDisplay->privacy == ePrivacyShared ? 1 : 2;
}

void PRWriteRequestItem::NotifyPrivacyChange(const CKeySet& keys, LONG reason) {
  if (reason == 0) return;
  LONG requester = 0;
  switch (m_requesterKind) {
    case 1:  // an all-sections object on a common or root variable
      requester = 2;
      break;
    case 2:  // an ordinary client
      requester = 1;
      break;
    case 3:  // a privileged object
      requester = 0;
      break;
    default:  // an all-sections object on another variable tells nothing
      return;
  }
  m_changeRecords.push_back({keys.m_FieldName, reason, requester});
}

void PRWriteRequestItem::SendPrivacyRecords() noexcept {
  try {
    for (const ChangeRecord& record : m_changeRecords) {
      RecordProfileChange(record.fieldName, record.change, record.requester);
    }
  } catch (...) {
    // The records are a courtesy to the user; the write itself is already committed.
  }
  m_changeRecords.clear();
}

void PRWriteRequestItem::TakeOverLinkedArray(CKeySet& keys) const {
  if (!keys.m_IsLinked || keys.m_Type != eTypeArrayOfStrings || !IsCommonSection(GetKey())) return;
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

HRESULT SetRawValue(CKeySet& keys, std::string_view raw) {
  const HRESULT valid = ValidateRawValue(raw, keys.m_Type);
  if (FAILED(valid)) return valid;
  if (keys.m_IsLinked) {
    // The source is positioned in a set of its own, so that `keys` stays on the link row.
    const std::string sourceUki = keys.m_Key;
    CKeySet source(keys.m_pDatabase, dbOpenDynaset);
    source.m_strFilter = KeyFilter(SectionOfUki(sourceUki), KeyOfUki(sourceUki));
    source.Open();
    if (source.IsEOF()) return eErrorKeyNotFound;  // a link whose source is gone
    const std::string sourceRaw = UnprotectValue(source.m_Value);
    if (sourceRaw == kNotSetMarker) {
      // The common variable receives the value; the section's row stays a link.
      const std::string stored = ProtectValue(raw);
      source.Edit();
      source.m_Value = stored;
      source.Update();
      keys.Edit();
      keys.m_Value.clear();
      keys.Update();
      return S_OK;
    }
    if (sourceRaw == raw) return eWarningValueUnchanged;
    // Another value: the section's variable leaves the link and keeps its own value.
    const std::string stored = ProtectValue(raw);
    keys.Edit();
    keys.m_IsLinked = FALSE;
    keys.m_Value = stored;
    keys.Update();
    return S_OK;
  }
  if (StoredValueIs(keys.m_Value, raw)) return eWarningValueUnchanged;
  const std::string stored = ProtectValue(raw);  // made first: a value that cannot be protected edits nothing
  keys.Edit();
  keys.m_IsLinked = FALSE;
  keys.m_Value = stored;
  keys.Update();
  return S_OK;
}

}  // namespace lumora
