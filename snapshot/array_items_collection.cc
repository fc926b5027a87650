// The array elements collection.
#include "array_items_collection.h"

#include "array_item.h"
#include "enum_variant.h"
#include "lumora/values.h"
#include "lumora/winerror.h"
#include "platform/database/dao_exception.h"
#include "platform/database/dao_filter.h"
#include "snapshot_store.h"
#include "store/array_set.h"
#include "store/value_protection.h"

namespace lumora {

void PRArrayItemsCollection::FillFromFilter(const std::string& filter) {
  CArraySet set(SnapshotDatabase());
  set.m_strFilter = filter;
  set.Open(dbOpenSnapshot);
  std::vector<Element> rows;
  for (; !set.IsEOF(); set.MoveNext()) rows.push_back({set.m_key, set.m_value});
  m_rows = std::move(rows);
}

void PRArrayItemsCollection::MakeItem(size_t row, VARIANT* item) const {
  ComPtr<PRArrayItem> element = MakeObject<PRArrayItem>();
  element->Fill(UnprotectValue(m_rows[row].storedValue), m_rows[row].key);
  VariantClear(item);
  item->vt = VT_DISPATCH;
  item->pdispVal = element.detach();
}

HRESULT PRArrayItemsCollection::get_Count(LONG* pVal) {
  return LUMORA_ERROR_BOUNDARY([&]() -> HRESULT {
    if (pVal == nullptr) return E_POINTER;
    *pVal = RowCount();
    return S_OK;
  });
}

HRESULT PRArrayItemsCollection::get__NewEnum(IUnknown** pVal) {
  return LUMORA_ERROR_BOUNDARY([&]() -> HRESULT {
    if (pVal == nullptr) return E_POINTER;
    *pVal = nullptr;
    std::vector<Variant> items(m_rows.size());
    for (size_t row = 0; row < m_rows.size(); ++row) MakeItem(row, items[row].get());
    return CComEnumVariant::Create(std::move(items), pVal);
  });
}

HRESULT PRArrayItemsCollection::Item(VARIANT Index, VARIANT* pItem) {
  return LUMORA_ERROR_BOUNDARY([&]() -> HRESULT {
    if (pItem == nullptr) return E_POINTER;
    VariantInit(pItem);
    pItem->vt = VT_DISPATCH;
    pItem->pdispVal = nullptr;
    if (Index.vt == (VT_I2 | VT_BYREF)) {
      if (Index.piVal == nullptr) return E_INVALIDARG;
      if (m_rows.empty()) AfxThrowDaoException(kJetNoCurrentRecord, "No current record");
      const SHORT position = *Index.piVal;
      if (position < 0 || static_cast<size_t>(position) >= m_rows.size()) return E_INVALIDARG;
      MakeItem(static_cast<size_t>(position), pItem);
      return S_OK;
    }
    if (Index.vt == (VT_BSTR | VT_BYREF)) {
      if (Index.pbstrVal == nullptr) return E_INVALIDARG;
      const std::string key = Bstr::ToUtf8(*Index.pbstrVal);
      for (size_t row = 0; row < m_rows.size(); ++row) {
        // The element found as the filter "KEY = 'k'" finds it: letter case aside.
        if (CompareNoCase(m_rows[row].key, key) == 0) {
          MakeItem(row, pItem);
          return S_OK;
        }
      }
      return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    }
    return E_INVALIDARG;
  });
}

}  // namespace lumora
