// PRArrayItemsCollection: the elements of one array variable, as GetArray of a key
// attribute collection hands them out. Filled once or twice by its creator (the second
// time for the shared common array); its rows are copied then, each element's value is
// unprotected when its item is made. Apartment-bound.
#ifndef LUMORA_SNAPSHOT_ARRAY_ITEMS_COLLECTION_H_
#define LUMORA_SNAPSHOT_ARRAY_ITEMS_COLLECTION_H_

#include <string>
#include <vector>

#include "common/catalogue.h"
#include "lumora/object.h"

namespace lumora {

class PRArrayItemsCollection : public Implements<DispatchImpl<IPRArrayItemsCollection>> {
 public:
  // Replaces the rows with the Arrays rows that `filter` selects, in the store's order.
  // Failures of the store are thrown.
  void FillFromFilter(const std::string& filter);
  // The object whose life keeps the store open for as long as this collection lives.
  void SetStoreHolder(IUnknown* holder) { m_storeHolder = ComPtr<IUnknown>(holder); }
  long RowCount() const { return static_cast<long>(m_rows.size()); }

  HRESULT get_Count(LONG* pVal) override;
  HRESULT get__NewEnum(IUnknown** pVal) override;
  // By position: a VT_I2 passed by reference (0 is the first element); by array key: a
  // VT_BSTR passed by reference. Any other index, by-value ones included: E_INVALIDARG;
  // a position outside the collection: E_INVALIDARG, or the store's "no current record"
  // for an empty one; an unknown array key: HRESULT_FROM_WIN32(ERROR_NOT_FOUND). A
  // failing call leaves VT_DISPATCH with no object in *pItem.
  HRESULT Item(VARIANT Index, VARIANT* pItem) override;

 protected:
  ~PRArrayItemsCollection() override = default;

 private:
  struct Element {
    std::string key;
    std::string storedValue;
  };
  // A new item for element `row`, in *item as VT_DISPATCH.
  void MakeItem(size_t row, VARIANT* item) const;

  std::vector<Element> m_rows;
  ComPtr<IUnknown> m_storeHolder;
};

}  // namespace lumora

#endif  // LUMORA_SNAPSHOT_ARRAY_ITEMS_COLLECTION_H_
