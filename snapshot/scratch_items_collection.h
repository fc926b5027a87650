// PRScratchItemsCollection: the scratch area of one section, free named strings kept
// beside the profile, with no type, privacy, dialog or queue; every change is written at
// once. Only the super user hands one out. Its cursor over the section's Scratch rows is
// opened again when the store was closed since (a super user's CloseStore or password
// reset closes every cursor). Items keep their collection alive and use its cursor as it
// is at each call. Called only on the thread that created it.
#ifndef LUMORA_SNAPSHOT_SCRATCH_ITEMS_COLLECTION_H_
#define LUMORA_SNAPSHOT_SCRATCH_ITEMS_COLLECTION_H_

#include <memory>
#include <string>

#include "common/catalogue.h"
#include "lumora/object.h"
#include "store/scratch_set.h"

namespace lumora {

class PRScratchItemsCollection : public Implements<DispatchImpl<IPRScratchItemsCollection>> {
 public:
  // Opens the cursor on the section's rows (the section as given: no qualification, no
  // check). The store must be open. Failures are thrown.
  void Open(const std::string& section);
  // The object whose life keeps the store open (and its provider held, which values are
  // protected with) for as long as this collection and its items live.
  void SetStoreHolder(IUnknown* holder) { m_storeHolder = ComPtr<IUnknown>(holder); }

  HRESULT get_Count(LONG* pVal) override;
  HRESULT CreateKey(BSTR key, BSTR Value) override;
  HRESULT DeleteKey(BSTR key) override;
  HRESULT DeleteAllKeys() override;
  HRESULT Item(VARIANT Index, VARIANT* pItem) override;

  // The store's open check and, when the store was closed since, a new cursor: every
  // item calls it first. Failures of the open are returned; those of
  // the cursor are thrown.
  HRESULT Ready();
  CScratchSet& Cursor() { return *m_cursor; }
  const std::string& Section() const { return m_section; }

 protected:
  ~PRScratchItemsCollection() override = default;

 private:
  // The store's open check and a new cursor on the section's rows as they are now, so
  // that rows other collections and processes saved or deleted since are seen (Count and
  // DeleteAllKeys; the finds by key take a new cursor only when they must). Failures of
  // the cursor are thrown.
  HRESULT Refresh();
  // Positions the cursor on the row of `key`; false when the section has none.
  bool FindKeyRow(const std::string& key);
  // The same, with a new cursor when the current one does not hold the row: a key saved
  // by another collection or process since is found too.
  bool FindKeyRowNow(const std::string& key);

  std::unique_ptr<CScratchSet> m_cursor;
  std::string m_section;
  ComPtr<IUnknown> m_storeHolder;
};

}  // namespace lumora

#endif  // LUMORA_SNAPSHOT_SCRATCH_ITEMS_COLLECTION_H_
