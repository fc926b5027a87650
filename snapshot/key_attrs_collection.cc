// The key attribute collection: its two builders, its items, the consent rows.
#include "key_attrs_collection.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "array_items_collection.h"
#include "enum_variant.h"
#include "key_attr.h"
#include "lumora/values.h"
#include "snapshot_store.h"
#include "store/array_set.h"
#include "store/display_text.h"
#include "store/key_lookup.h"
#include "store/query_filters.h"
#include "store/uki.h"
#include "store/value_protection.h"
#include "super_key_attr.h"

namespace lumora {
namespace {

// The position an integer index names, by value or by reference.
bool PositionOf(const VARIANT& index, int64_t* position) {
  const bool byRef = (index.vt & VT_BYREF) != 0;
  if (byRef && index.byref == nullptr) return false;
  switch (index.vt & ~VT_BYREF) {
    case VT_I1:                                       // a signed 8-bit number: its sign is meant
      *position = byRef ? *index.pcVal : index.cVal;  // NOLINT(bugprone-signed-char-misuse)
      return true;
    case VT_UI1:
      *position = byRef ? *index.pbVal : index.bVal;
      return true;
    case VT_I2:
      *position = byRef ? *index.piVal : index.iVal;
      return true;
    case VT_UI2:
      *position = byRef ? *index.puiVal : index.uiVal;
      return true;
    case VT_I4:
      *position = byRef ? *index.plVal : index.lVal;
      return true;
    case VT_UI4:
      *position = byRef ? *index.pulVal : index.ulVal;
      return true;
    case VT_INT:
      *position = byRef ? *index.pintVal : index.intVal;
      return true;
    case VT_UINT:
      *position = byRef ? *index.puintVal : index.uintVal;
      return true;
    case VT_I8:
      *position = byRef ? *index.pllVal : index.llVal;
      return true;
    case VT_UI8: {
      const ULONGLONG value = byRef ? *index.pullVal : index.ullVal;
      *position = value > static_cast<ULONGLONG>(INT64_MAX) ? -1 : static_cast<int64_t>(value);
      return true;
    }
    default:
      return false;
  }
}

// The uki a string index names, by value or by reference.
bool UkiOf(const VARIANT& index, std::string* uki) {
  if (index.vt == VT_BSTR) {
    *uki = Bstr::ToUtf8(index.bstrVal);
    return true;
  }
  if (index.vt == (VT_BSTR | VT_BYREF) && index.pbstrVal != nullptr) {
    *uki = Bstr::ToUtf8(*index.pbstrVal);
    return true;
  }
  return false;
}

std::string ArrayFilter(std::string_view uki) { return "UKI = '" + QuoteFilterText(uki) + "'"; }

// Section and key folded as the store's filters fold them (A-Z only), as one lookup key.
std::string FoldedUki(std::string_view section, std::string_view key) {
  std::string folded = std::to_string(section.size()) + ":";
  folded.reserve(folded.size() + section.size() + key.size());
  for (const std::string_view part : {section, key}) {
    for (const char c : part) folded.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c);
  }
  return folded;
}

}  // namespace

void PRKeyAttrsCollection::KeepRows(CKeySet& set) {
  std::vector<Row> rows;
  rows.reserve(static_cast<size_t>(set.GetRecordCount()));
  set.TakeEachRow([&] {
    rows.push_back({std::move(set.m_Section), std::move(set.m_Key), std::move(set.m_Value), std::move(set.m_FieldName),
                    set.m_Privacy, set.m_Type, set.m_Volatility, set.m_IsReadOnly != FALSE, set.m_IsLinked != FALSE,
                    set.m_LastShared});
  });
  m_rows = std::move(rows);
}

const std::unordered_map<std::string, size_t>& PRKeyAttrsCollection::FirstRowOfEachVariable() const {
  if (m_firstRows.empty() && !m_rows.empty()) {
    for (size_t row = 0; row < m_rows.size(); ++row)
      m_firstRows.emplace(FoldedUki(m_rows[row].section, m_rows[row].key), row);
  }
  return m_firstRows;
}

void PRKeyAttrsCollection::LoadRow(size_t row, CKeySet* set) const {
  const Row& r = m_rows[row];
  set->m_Section = r.section;
  set->m_Key = r.key;
  set->m_Value = r.value;
  set->m_FieldName = r.fieldName;
  set->m_Privacy = r.privacy;
  set->m_Type = r.type;
  set->m_Volatility = r.volatility;
  set->m_IsReadOnly = r.readOnly ? TRUE : FALSE;
  set->m_IsLinked = r.linked ? TRUE : FALSE;
  set->m_LastShared = r.lastShared;
}

void PRKeyAttrsCollection::FillFromRequests(const std::vector<std::string>& requests, bool privileged,
                                            const std::string& section) {
  m_privileged = privileged;
  m_section = section;
  if (!privileged) m_requestedUkis.insert(m_requestedUkis.end(), requests.begin(), requests.end());

  // An element request fetches its array variable's row, once.
  std::vector<std::string> fetch;
  for (const std::string& request : requests) {
    if (ArrayKeyOfUki(request).empty()) {
      fetch.push_back(request);
      continue;
    }
    std::string base = BaseOfUki(request);
    if (std::find(fetch.begin(), fetch.end(), base) == fetch.end()) fetch.push_back(std::move(base));
  }

  // Pass 0: when every entry found its row, the snapshot is complete.
  CKeySet first(SnapshotDatabase(), dbOpenSnapshot);
  first.m_equalAny = KeyListNames(fetch);
  first.Open();
  if (first.GetRecordCount() == static_cast<long>(fetch.size())) {
    KeepRows(first);
    return;
  }

  // Sort the entries against the rows: each row takes the first entry that names it.
  std::unordered_map<std::string, std::deque<size_t>> entriesNaming;  // in fetch order
  for (size_t entry = 0; entry < fetch.size(); ++entry) {
    entriesNaming[FoldedUki(SectionOfUki(fetch[entry]), KeyOfUki(fetch[entry]))].push_back(entry);
  }
  std::vector<bool> takenBy(fetch.size(), false);
  std::vector<std::string> found;
  for (; !first.IsEOF(); first.MoveNext()) {
    const auto entries = entriesNaming.find(FoldedUki(first.m_Section, first.m_Key));
    if (entries == entriesNaming.end() || entries->second.empty()) continue;
    takenBy[entries->second.front()] = true;
    found.push_back(fetch[entries->second.front()]);
    entries->second.pop_front();
  }
  first.Close();
  // The common fallback: a section's copy S.common...key that does not exist is replaced
  // by the shared variable common...key. Other entries left behind name nothing.
  for (size_t entry = 0; entry < fetch.size(); ++entry) {
    if (takenBy[entry]) continue;
    std::string shared = KeyOfUki(fetch[entry]);
    if (!KeyOfUki(shared).empty() && IsCommonSection(SectionOfUki(shared))) found.push_back(std::move(shared));
  }

  // Pass 1.
  CKeySet second(SnapshotDatabase(), dbOpenSnapshot);
  second.m_equalAny = KeyListNames(found);
  second.Open();
  KeepRows(second);
}

void PRKeyAttrsCollection::FillSection(const std::string& section) {
  m_privileged = true;
  m_section = section;
  CKeySet set(SnapshotDatabase(), dbOpenSnapshot);
  set.m_strFilter = "SECTION = '" + QuoteFilterText(section) + "'";
  set.Open();
  KeepRows(set);
}

std::vector<std::string> PRKeyAttrsCollection::LinkSourceValues(CDaoDatabase* database) const {
  // Many links share a source (every section's copy of a common variable): each source
  // is asked and decrypted once. By folded section and key; empty until its row is read.
  std::unordered_map<std::string, std::optional<std::string>> sourceValues;
  std::vector<std::string> sources;
  for (const Row& r : m_rows) {
    if (r.linked && sourceValues.emplace(FoldedUki(SectionOfUki(r.key), KeyOfUki(r.key)), std::nullopt).second) {
      sources.push_back(r.key);
    }
  }
  std::vector<std::string> values(m_rows.size());
  if (sources.empty()) return values;
  // Every source in one read; a source is found as a link finds it: the first row, in
  // the store's order, whose section and key match without regard to letter case.
  CKeySet set(database, dbOpenSnapshot);
  set.m_equalAny = KeyListNames(sources);
  set.Open();
  for (; !set.IsEOF(); set.MoveNext()) {
    std::optional<std::string>& value = sourceValues[FoldedUki(set.m_Section, set.m_Key)];
    if (!value) value = UnprotectValue(set.m_Value);
  }
  for (size_t row = 0; row < m_rows.size(); ++row) {
    if (!m_rows[row].linked) continue;
    values[row] = sourceValues[FoldedUki(SectionOfUki(m_rows[row].key), KeyOfUki(m_rows[row].key))].value_or("");
  }
  return values;
}

void PRKeyAttrsCollection::BuildReadConsentList(std::vector<std::unique_ptr<PRDisplayReadItem>>* list) const {
  if (m_rows.empty()) return;
  CKeySet reader(SnapshotDatabase(), dbOpenSnapshot);
  const std::vector<std::string> linkValues = LinkSourceValues(reader.m_pDatabase);
  std::unordered_set<std::string> shown;
  for (const auto& item : *list) shown.insert(item->m_fieldName);
  for (size_t row = 0; row < m_rows.size(); ++row) {
    const Row& r = m_rows[row];
    if (r.value == kNotSetMarker || shown.count(r.fieldName) != 0) continue;
    LoadRow(row, &reader);
    // The effective raw value: a link's source value, else the row's own.
    const std::string raw = r.linked ? linkValues[row] : UnprotectValue(r.value);
    list->push_back(
        std::make_unique<PRDisplayReadItem>(PRDisplayReadItem{r.fieldName, DisplayText(&reader, nullptr, &raw)}));
    shown.insert(r.fieldName);
  }
}

HRESULT PRKeyAttrsCollection::MakeItem(size_t row, const std::string& arrayKey, VARIANT* item) const {
  CKeySet reader(SnapshotDatabase(), dbOpenSnapshot);
  return MakeItem(row, arrayKey, &reader, item);
}

PRKeyAttrsCollection::Prefetched PRKeyAttrsCollection::PrefetchForEveryRow(CKeySet* reader) const {
  Prefetched prefetched;
  prefetched.rawValues = LinkSourceValues(reader->m_pDatabase);
  for (size_t row = 0; row < m_rows.size(); ++row) {
    if (!m_rows[row].linked) prefetched.rawValues[row] = UnprotectValue(m_rows[row].value);
  }
  if (m_privileged) {
    std::vector<std::string> enumerations;
    for (const Row& r : m_rows) {
      if (r.type != eTypeEnumOfStrings) continue;
      enumerations.push_back(MakeUki(r.section, r.key));
      if (r.linked) enumerations.push_back(r.key);  // a link shows its source's labels
    }
    CEnumSet enums(reader->m_pDatabase);
    prefetched.enumLabels = EnumLabelBook(enums, enumerations);
  }
  return prefetched;
}

HRESULT PRKeyAttrsCollection::MakeItem(size_t row, const std::string& arrayKey, CKeySet* reader, VARIANT* item,
                                       const Prefetched* prefetched) const {
  const Row& r = m_rows[row];
  // With everything prefetched the item needs no row of its own: the reader is loaded
  // only for the reads that go to the store.
  if (!prefetched || !arrayKey.empty()) LoadRow(row, reader);
  std::string raw;
  LONG type = r.type;
  std::string display;
  if (arrayKey.empty() && prefetched) {
    raw = prefetched->rawValues[row];
    if (m_privileged) {
      display = DisplayTextOf(type, raw, [&](LONG index) {
        return prefetched->enumLabels.Label(r.linked ? r.key : MakeUki(r.section, r.key), index);
      });
    }
  } else if (arrayKey.empty()) {
    // A link yields its source variable's value.
    raw = EffectiveRawValue(*reader);
    if (m_privileged) display = DisplayText(reader, nullptr, &raw);
  } else {
    // An element of the array variable (of the link's source, for a link).
    const std::string arrayUki = r.linked ? r.key : MakeUki(r.section, r.key);
    CArraySet element(reader->m_pDatabase);
    element.m_strFilter = ArrayItemFilter(arrayUki, arrayKey);
    element.Open(dbOpenSnapshot);
    if (element.IsEOF()) return eErrorKeyNotFound;
    raw = UnprotectValue(element.m_value);
    type = eTypeString;
    display = raw;
  }

  ComPtr<IDispatch> made;
  if (m_privileged) {
    ComPtr<PRSuperKeyAttr> super = MakeObject<PRSuperKeyAttr>();
    SuperKeyAttrFields fields;
    fields.uki = MakeUki(r.section, r.key);
    Variant labels;
    if (type == eTypeEnumOfStrings && prefetched) {
      labels = Variant::Array(SafeArray::OfStrings(prefetched->enumLabels.Labels(fields.uki)), VT_BSTR);
    } else if (type == eTypeEnumOfStrings) {
      CEnumSet enums(reader->m_pDatabase);
      EnumLabels(enums, fields.uki, labels.put());
    }
    fields.type = type;
    fields.privacy = r.privacy;
    fields.volatility = r.volatility;
    fields.fieldName = r.fieldName;
    fields.readOnly = r.readOnly;
    fields.displayText = std::move(display);
    fields.linked = r.linked;
    fields.rawValue = std::move(raw);
    fields.lastShared = r.lastShared;
    super->Fill(std::move(fields), std::move(labels));
    made.attach(static_cast<IPRSuperKeyAttr*>(super.detach()));
  } else {
    ComPtr<PRKeyAttr> plain = MakeObject<PRKeyAttr>();
    plain->Fill(type, std::move(raw));
    made = std::move(plain);
  }
  VariantClear(item);
  item->vt = VT_DISPATCH;
  item->pdispVal = made.detach();
  return S_OK;
}

HRESULT PRKeyAttrsCollection::FindItemRow(const VARIANT& index, size_t* row, std::string* arrayKey) const {
  const VARIANT& value = index.vt == (VT_VARIANT | VT_BYREF) && index.pvarVal != nullptr ? *index.pvarVal : index;
  int64_t position = 0;
  if (PositionOf(value, &position)) {
    if (position < 0 || static_cast<uint64_t>(position) >= m_rows.size()) return E_INVALIDARG;
    *row = static_cast<size_t>(position);
    arrayKey->clear();
    return S_OK;
  }
  std::string uki;
  if (!UkiOf(value, &uki)) return E_INVALIDARG;

  // The variable itself; in the ordinary form a common uki also names the session's own
  // copy; a section's copy of a common variable also names the shared variable.
  const std::string key = KeyOfUki(uki);
  std::vector<std::pair<std::string, std::string>> wanted = {{SectionOfUki(uki), key}};
  const std::string qualified = !m_privileged && IsCommonSection(SectionOfUki(uki)) ? m_section + "." + uki : uki;
  if (qualified != uki) {
    wanted.emplace_back(SectionOfUki(qualified), KeyOfUki(qualified));
  } else if (IsCommonSection(SectionOfUki(key))) {
    wanted.emplace_back(SectionOfUki(key), KeyOfUki(key));
  }
  // The first row, in the snapshot's order, that any of them names.
  const std::unordered_map<std::string, size_t>& firstRows = FirstRowOfEachVariable();
  size_t first = m_rows.size();
  for (const auto& [section, wantedKey] : wanted) {
    const auto named = firstRows.find(FoldedUki(section, wantedKey));
    if (named != firstRows.end()) first = std::min(first, named->second);
  }
  if (first < m_rows.size()) {
    *row = first;
    *arrayKey = ArrayKeyOfUki(uki);
    return S_OK;
  }
  return eErrorKeyNotFound;
}

HRESULT PRKeyAttrsCollection::ItemOf(const VARIANT& index, VARIANT* item) const {
  // Whatever goes wrong in finding or making the item, the index is what the caller
  // is told about.
  try {
    size_t row = 0;
    std::string arrayKey;
    const HRESULT hr = FindItemRow(index, &row, &arrayKey);
    if (FAILED(hr)) return hr;
    return MakeItem(row, arrayKey, item);
  } catch (...) {
    return E_INVALIDARG;
  }
}

HRESULT PRKeyAttrsCollection::Item(VARIANT Index, VARIANT* pItem) {
  if (pItem == nullptr) return E_POINTER;
  VariantInit(pItem);
  return ItemOf(Index, pItem);
}

HRESULT PRKeyAttrsCollection::Exists(VARIANT Index, VARIANT_BOOL* bExists) {
  if (bExists == nullptr) return E_POINTER;
  Variant item;
  *bExists = ItemOf(Index, item.get()) == S_OK ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT PRKeyAttrsCollection::get_Count(LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = static_cast<LONG>(m_rows.size());
  return S_OK;
}

HRESULT PRKeyAttrsCollection::GetArray(BSTR uki, IDispatch** pResult) {
  return LUMORA_ERROR_BOUNDARY([&]() -> HRESULT {
    if (pResult == nullptr) return E_POINTER;
    *pResult = nullptr;
    const std::string text = Bstr::ToUtf8(uki);
    if (!m_privileged && std::find(m_requestedUkis.begin(), m_requestedUkis.end(), text) == m_requestedUkis.end()) {
      return eErrorKeyNotFound;
    }
    ComPtr<PRArrayItemsCollection> array = MakeObject<PRArrayItemsCollection>();
    array->SetStoreHolder(m_storeHolder.get());
    array->FillFromFilter(ArrayFilter(text));
    // A section's copy of a common array without elements of its own reads the shared
    // array's.
    const std::string key = KeyOfUki(text);
    if (IsCommonSection(SectionOfUki(key)) && array->RowCount() == 0) array->FillFromFilter(ArrayFilter(key));
    return array->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(pResult));
  });
}

HRESULT PRKeyAttrsCollection::get__NewEnum(IUnknown** pVal) {
  return LUMORA_ERROR_BOUNDARY([&]() -> HRESULT {
    if (pVal == nullptr) return E_POINTER;
    *pVal = nullptr;
    // What every item needs from the store is read now, in one pass; the items are made
    // from it and the snapshot's rows as they are fetched. The enumerator keeps this
    // collection alive.
    std::shared_ptr<const Prefetched> prefetched;
    if (!m_rows.empty()) {
      CKeySet reader(SnapshotDatabase(), dbOpenSnapshot);
      prefetched = std::make_shared<const Prefetched>(PrefetchForEveryRow(&reader));
    }
    auto self = std::make_shared<ComPtr<PRKeyAttrsCollection>>(this);
    return CComEnumVariant::Create(
        m_rows.size(),
        [self, prefetched](size_t row, VARIANT* item) {
          return (*self)->MakeItem(row, {}, nullptr, item, prefetched.get());
        },
        pVal);
  });
}

}  // namespace lumora
