// Deleting a variable or an array element.
#include "delete_request_item.h"

#include "lumora/error.h"
#include "store/array_set.h"
#include "store/enum_set.h"
#include "store/key_lookup.h"
#include "store/query_filters.h"

namespace lumora {
namespace {

// Deletes every row of an open dynaset. Once its last row is gone the set is at its end.
void DeleteAll(CDaoRecordset& set) {
  while (!set.IsEOF()) {
    set.Delete();
    if (!set.IsEOF()) set.MoveNext();
  }
}

}  // namespace

PRDeleteRequestItem::PRDeleteRequestItem(std::string uki, LONG requesterKind)
    : PRWriteRequestItem(std::move(uki), requesterKind) {}

HRESULT PRDeleteRequestItem::Execute(CKeySet& keys) {
  return ErrorBoundary("PRDeleteRequestItem::Execute", [&]() -> HRESULT {
    if (HasArrayKey()) {
      // The element alone; the Main row is looked at only to make a linked common array
      // the section's own first.
      if (FindKey(keys, m_uki)) TakeOverLinkedArray(keys);
      CArraySet element(keys.m_pDatabase);
      element.m_strFilter = ArrayItemFilter(GetBaseUki(), GetArrayKey());
      element.Open(dbOpenDynaset);
      element.Delete();
      return S_OK;
    }
    if (!FindKey(keys, m_uki)) return E_FAIL;
    if (keys.m_Type == eTypeArrayOfStrings) {
      CArraySet items(keys.m_pDatabase);
      items.m_strFilter = "UKI = '" + QuoteFilterText(m_uki) + "'";
      items.Open(dbOpenDynaset);
      DeleteAll(items);
    } else if (keys.m_Type == eTypeEnumOfStrings) {
      CEnumSet labels(keys.m_pDatabase);
      labels.m_strFilter = EnumLabelsFilter(m_uki);
      labels.Open(dbOpenDynaset);
      DeleteAll(labels);
    }
    keys.Delete();
    return S_OK;
  });
}

}  // namespace lumora
