// PRScratchItem: one scratch variable, reached again by its section and key at each
// call through its collection's current cursor; it keeps no copy of the value. An item
// whose row was deleted meanwhile reads and writes nothing and answers eErrorKeyNotFound.
// Called only on the thread that created it.
#ifndef LUMORA_SNAPSHOT_SCRATCH_ITEM_H_
#define LUMORA_SNAPSHOT_SCRATCH_ITEM_H_

#include <string>

#include "common/catalogue.h"
#include "lumora/object.h"
#include "scratch_items_collection.h"

namespace lumora {

class PRScratchItem : public Implements<DispatchImpl<IPRScratchItem>> {
 public:
  void Bind(ComPtr<PRScratchItemsCollection> collection, std::string section, std::string key);

  HRESULT get_Value(BSTR* pVal) override;
  HRESULT put_Value(BSTR newVal) override;

 protected:
  ~PRScratchItem() override = default;

 private:
  // Positions the collection's cursor on this item's row.
  HRESULT FindRow();

  ComPtr<PRScratchItemsCollection> m_collection;  // keeps the cursor alive
  std::string m_section;
  std::string m_key;
};

}  // namespace lumora

#endif  // LUMORA_SNAPSHOT_SCRATCH_ITEM_H_
