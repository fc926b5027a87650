// Row operations over the recordsets.
#include "key_lookup.h"

#include <ctime>
#include <unordered_map>
#include <unordered_set>

#include "lumora/error.h"
#include "lumora/profile.h"
#include "lumora/values.h"
#include "query_filters.h"
#include "uki.h"
#include "value_protection.h"

namespace lumora {
namespace {

// A find starts from the first row.
bool FindFromStart(CDaoRecordset& set, const std::string& filter) {
  if (set.IsBOF() && set.IsEOF()) return false;
  if (set.IsBOF() || set.IsEOF() || set.IsDeleted()) set.MoveFirst();
  return set.FindFirst(filter.c_str()) != FALSE;
}

// The same for a find by two names, the one every item of a batch makes: it goes to the
// index without a filter text.
bool FindFromStart(CDaoRecordset& set, const char* firstColumn, std::string_view first, const char* secondColumn,
                   std::string_view second) {
  if (set.IsBOF() && set.IsEOF()) return false;
  if (set.IsBOF() || set.IsEOF() || set.IsDeleted()) set.MoveFirst();
  return set.FindFirstEqual({{firstColumn, first}, {secondColumn, second}}) != FALSE;
}

}  // namespace

DATE CurrentDate() {
  const time_t now = std::time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(local.tm_year + 1900);
  st.wMonth = static_cast<WORD>(local.tm_mon + 1);
  st.wDay = static_cast<WORD>(local.tm_mday);
  st.wHour = static_cast<WORD>(local.tm_hour);
  st.wMinute = static_cast<WORD>(local.tm_min);
  st.wSecond = static_cast<WORD>(std::min(local.tm_sec, 59));
  DATE date = 0;
  SystemTimeToVariantTime(&st, &date);
  return date;
}

bool FindKey(CKeySet& set, std::string_view uki) {
  return FindFromStart(set, "Section", SectionOfUki(uki), "Key", KeyOfUki(uki));
}

bool FindKeyAgain(CKeySet& set, std::string_view uki, std::optional<int64_t> bookmark) {
  // The row found before the dialog is the variable still when it bears the uki's names:
  // a row's names never change, and a variable made since has a later row id or, when it
  // took the row id of the last row deleted, is the first row of those names all the same.
  if (bookmark && set.MoveToBookmark(*bookmark) && CompareNoCase(set.m_Section, SectionOfUki(uki)) == 0 &&
      CompareNoCase(set.m_Key, KeyOfUki(uki)) == 0) {
    return true;
  }
  return FindKey(set, uki);
}

bool FindArrayItem(CArraySet& set, std::string_view baseUki, std::string_view arrayKey) {
  return FindFromStart(set, "uki", baseUki, "key", arrayKey);
}

bool FindScratchItem(CScratchSet& set, std::string_view section, std::string_view key) {
  return FindFromStart(set, "section", section, "key", key);
}

std::string EffectiveRawValue(CKeySet& row) {
  if (!row.m_IsLinked) return UnprotectValue(row.m_Value);
  // Links are followed one step: the source's own IsLinked is not looked at.
  CKeySet source(row.m_pDatabase, dbOpenSnapshot);
  source.m_strFilter = KeyFilter(SectionOfUki(row.m_Key), KeyOfUki(row.m_Key));
  source.Open();
  if (source.IsEOF()) return {};
  return UnprotectValue(source.m_Value);
}

HRESULT SetArrayItem(CArraySet& set, std::string_view elementUki, std::string_view newRawValue) {
  set.m_nDefaultType = dbOpenDynaset;
  set.m_strFilter.clear();
  set.Open();
  const std::string base = BaseOfUki(elementUki);
  const std::string arrayKey = ArrayKeyOfUki(elementUki);
  if (FindArrayItem(set, base, arrayKey)) {
    if (StoredValueIs(set.m_value, newRawValue)) return eWarningValueUnchanged;
    const std::string stored = ProtectValue(newRawValue);
    set.Edit();
    set.m_value = stored;
    set.Update();
    return eWarningOnlyValueChanged;
  }
  const std::string stored = ProtectValue(newRawValue);
  set.AddNew();
  set.m_uki = base;
  set.m_key = arrayKey;
  set.m_value = stored;
  set.Update();
  return S_OK;
}

void MarkShared(CKeySet& set, const std::vector<std::string>& ukis) {
  const DATE now = CurrentDate();
  set.m_strFilter = KeyListFilter(ukis);
  set.Open();
  CDaoWorkspace& workspace = *set.m_pDatabase->m_pWorkspace;
  workspace.BeginTrans();
  while (!set.IsEOF()) {
    set.Edit();
    set.m_LastShared = now;
    set.Update();
    set.MoveNext();
  }
  workspace.CommitTrans();
  set.Close();
}

std::string EnumLabel(CEnumSet& set, std::string_view uki, std::string_view indexText) {
  if (indexText.empty()) return {};
  if (!FindFromStart(set, EnumLabelFilter(uki, indexText))) return {};
  return set.m_Label;
}

namespace {

// Whose labels an enumeration shows: a section's copy of a common enumeration
// (S.common.x) shows those of common.x.
std::string LabelOwner(std::string_view uki) {
  const std::string key = KeyOfUki(uki);
  return IsCommonSection(SectionOfUki(key)) ? key : std::string(uki);
}

// The option index of the current row of an enumeration set as EnumLabel's filter
// compares it with a whole number: the member is cut to 32 bits and reads a NULL as 0,
// where the engine finds neither equal.
std::optional<int64_t> StoredIndex(const CEnumSet& set) {
  constexpr int kIndexField = 1;  // Label, enumIndex, uki
  const auto* stored = std::get_if<int64_t>(&set.CurrentValue(kIndexField));
  return stored != nullptr ? std::optional<int64_t>(*stored) : std::nullopt;
}

// A uki as the store compares it: without regard to (ASCII) letter case.
std::string Folded(std::string_view uki) {
  std::string folded(uki);
  for (char& c : folded) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
  return folded;
}

}  // namespace

EnumLabelBook::EnumLabelBook(CEnumSet& set, const std::vector<std::string>& ukis) {
  if (ukis.empty()) return;
  // EnumLabel reads a variable's own uki, EnumLabels that of the variable whose labels
  // it shows; both are read.
  std::unordered_set<std::string> asked;
  CDaoRecordset::EqualAny names{{"UKI"}, {}};
  for (const std::string& uki : ukis) {
    for (std::string owner : {uki, LabelOwner(uki)}) {
      if (asked.insert(Folded(owner)).second) names.alternatives.push_back({std::move(owner)});
    }
  }
  // The names as a list: a filter text of hundreds of alternatives would be built,
  // parsed and compiled back into the same queries.
  set.m_equalAny = std::move(names);
  set.Open(dbOpenSnapshot);
  for (; !set.IsEOF(); set.MoveNext()) {
    m_options[Folded(set.m_uki)].push_back({StoredIndex(set), std::move(set.m_Label)});
  }
  set.Close();
}

std::string EnumLabelBook::Label(std::string_view uki, LONG index) const {
  const auto found = m_options.find(Folded(uki));
  if (found == m_options.end()) return {};
  for (const Option& option : found->second) {
    if (option.index == int64_t{index}) return option.label;
  }
  return {};
}

std::vector<std::string> EnumLabelBook::Labels(std::string_view uki) const {
  std::vector<std::string> labels;
  const auto found = m_options.find(Folded(LabelOwner(uki)));
  if (found == m_options.end()) return labels;
  labels.reserve(found->second.size());
  for (const Option& option : found->second) labels.push_back(option.label);
  return labels;
}

long EnumLabels(CEnumSet& set, std::string_view uki, VARIANT* labels) {
  const std::string wanted = LabelOwner(uki);
  set.m_strFilter = EnumLabelsFilter(wanted);
  set.Open();
  long count = 0;
  if (!set.IsEOF()) {
    set.MoveLast();
    count = set.GetRecordCount();
  }
  SafeArray array = SafeArray::Vector(VT_BSTR, 0, static_cast<ULONG>(count));
  if (!array) ThrowHResult(E_OUTOFMEMORY);
  long put = 0;
  if (count > 0) {
    set.MoveFirst();
    while (!set.IsEOF() && put < count) {
      Bstr label = Bstr::FromUtf8(set.m_Label);
      LONG index = static_cast<LONG>(put);
      ThrowIfFailed(SafeArrayPutElement(array.get(), &index, label.get()));
      ++put;
      set.MoveNext();
    }
  }
  VariantClear(labels);
  labels->vt = VT_ARRAY | VT_BSTR;
  labels->parray = array.detach();
  return put;
}

}  // namespace lumora
