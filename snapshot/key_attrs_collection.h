// PRKeyAttrsCollection: the read-only snapshot a read returns, the variables that were
// asked for (or a whole section, for the super user) in the order the store keeps them.
// The rows are copied when the collection is filled, once; an item is made, with the
// values read then, each time a client asks for one. The ordinary form hands out
// PRKeyAttr items and knows the requests that built it; the privileged form hands out
// PRSuperKeyAttr items. Apartment-bound.
#ifndef LUMORA_SNAPSHOT_KEY_ATTRS_COLLECTION_H_
#define LUMORA_SNAPSHOT_KEY_ATTRS_COLLECTION_H_

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/catalogue.h"
#include "consent/display_read_item.h"
#include "lumora/object.h"
#include "store/key_lookup.h"
#include "store/key_set.h"

namespace lumora {

class PRKeyAttrsCollection : public Implements<DispatchImpl<IPRKeyAttrsCollection>> {
 public:
  // Builds the snapshot from a session's read requests (already qualified): each variable
  // asked for once, an element request fetching its array variable, a section's missing
  // copy of a common variable replaced by the shared one. Store failures are thrown.
  void FillFromRequests(const std::vector<std::string>& requests, bool privileged, const std::string& section);
  // Builds the privileged snapshot of every variable of `section`.
  void FillSection(const std::string& section);
  // The object whose life keeps the store open for as long as this collection, and the
  // array collections it hands out, live (the session that made it).
  void SetStoreHolder(IUnknown* holder) { m_storeHolder = ComPtr<IUnknown>(holder); }

  // Appends the read consent dialog's rows: one per distinct field name (exact
  // comparison, the first row winning) among the rows whose own value is set, with its
  // display text, in snapshot order.
  void BuildReadConsentList(std::vector<std::unique_ptr<PRDisplayReadItem>>* list) const;

  // A new item for row `row` in *item (VT_DISPATCH): the variable, or with a non-empty
  // `arrayKey` that element of the array variable (eErrorKeyNotFound when it has none).
  HRESULT MakeItem(size_t row, const std::string& arrayKey, VARIANT* item) const;

  HRESULT get_Count(LONG* pVal) override;
  // The elements of an array variable; in the ordinary form only of a uki queued in
  // exactly that spelling (else eErrorKeyNotFound).
  HRESULT GetArray(BSTR uki, IDispatch** pResult) override;
  // Whether Item with the same index would succeed; always S_OK.
  HRESULT Exists(VARIANT Index, VARIANT_BOOL* bExists) override;
  HRESULT get__NewEnum(IUnknown** pVal) override;
  // By position (an integer, 0 the first row) or by uki (a string, which in the ordinary
  // form also finds a section's copy of a common variable and the shared one). An index
  // of another type, a position outside the collection, or any failure: E_INVALIDARG; a
  // uki the snapshot does not hold, or a missing element: eErrorKeyNotFound.
  HRESULT Item(VARIANT Index, VARIANT* pItem) override;

  size_t RowCount() const { return m_rows.size(); }

 protected:
  ~PRKeyAttrsCollection() override = default;

 private:
  // One Main row as the snapshot keeps it (the value as stored).
  struct Row {
    std::string section;
    std::string key;
    std::string value;
    std::string fieldName;
    BYTE privacy = 0;
    SHORT type = 0;
    BYTE volatility = 0;
    bool readOnly = false;
    bool linked = false;
    DATE lastShared = 0;
  };

  // The values of the link rows' sources (after unprotection), read at once; empty for
  // the other rows.
  std::vector<std::string> LinkSourceValues(CDaoDatabase* database) const;
  // Each variable's first row, by section and key folded as the store folds them; made
  // on first use.
  const std::unordered_map<std::string, size_t>& FirstRowOfEachVariable() const;
  // Keeps the rows of an open key set.
  void KeepRows(CKeySet& set);
  // Puts row `row` into the members of a key set, for the store's row operations.
  void LoadRow(size_t row, CKeySet* set) const;
  // What items made for every row at once need from other rows and tables, read in one
  // pass each instead of once per item: every row's effective raw value (a link's that of
  // its source) and, for privileged items, the enumerations' labels (the raw values
  // indexed by row). The raw values are unprotected here, not when an item is made: the
  // items must give what the store held at this read, also after a password reset.
  struct Prefetched {
    std::vector<std::string> rawValues;
    EnumLabelBook enumLabels;  // of every enumeration row, for the privileged items
  };
  Prefetched PrefetchForEveryRow(CKeySet* reader) const;
  // `reader` is the store's row holder for the item's reads; with everything prefetched
  // and no array key there are none, and it may be null.
  HRESULT MakeItem(size_t row, const std::string& arrayKey, CKeySet* reader, VARIANT* item,
                   const Prefetched* prefetched = nullptr) const;
  // The row an index names, by position or by uki; *arrayKey receives a uki's array key.
  HRESULT FindItemRow(const VARIANT& index, size_t* row, std::string* arrayKey) const;
  HRESULT ItemOf(const VARIANT& index, VARIANT* item) const;

  std::vector<Row> m_rows;
  mutable std::unordered_map<std::string, size_t> m_firstRows;  // see FirstRowOfEachVariable
  bool m_privileged = false;
  std::string m_section;
  std::vector<std::string> m_requestedUkis;
  ComPtr<IUnknown> m_storeHolder;
};

}  // namespace lumora

#endif  // LUMORA_SNAPSHOT_KEY_ATTRS_COLLECTION_H_
