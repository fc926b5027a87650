// CComEnumVariant: the VARIANT enumerator every _NewEnum of the snapshot collections
// returns. It owns its items (each a VT_DISPATCH item object), or the means to make each
// as it is fetched, and a position; clones share them, and they live as long as any
// enumerator that uses them. Apartment-bound like the collections.
#ifndef LUMORA_SNAPSHOT_ENUM_VARIANT_H_
#define LUMORA_SNAPSHOT_ENUM_VARIANT_H_

#include <functional>
#include <memory>
#include <vector>

#include "lumora/object.h"
#include "lumora/values.h"

namespace lumora {

class CComEnumVariant : public Implements<IEnumVARIANT> {
 public:
  // An enumerator at the first of `items`, handed out as IUnknown with one reference.
  static HRESULT Create(std::vector<Variant> items, IUnknown** ppEnum);
  // An enumerator over `count` items that `make` makes as they are fetched: a section
  // of ten thousand variables is then never held as ten thousand objects at once. Every
  // fetch makes a new item; a failure to make one fails the Next that asked for it.
  using ItemMaker = std::function<HRESULT(size_t index, VARIANT* item)>;
  static HRESULT Create(size_t count, ItemMaker make, IUnknown** ppEnum);

  // Copies min(celt, remaining) items into rgelt (each a full copy: the caller owns a
  // reference on every item) and advances; S_FALSE when fewer than celt were left.
  HRESULT Next(ULONG celt, VARIANT* rgelt, ULONG* pceltFetched) override;
  // Advances by celt, stopping at the end; S_FALSE when the end is reached or passed.
  HRESULT Skip(ULONG celt) override;
  HRESULT Reset() override;
  // A new enumerator over the same items at the same position.
  HRESULT Clone(IEnumVARIANT** ppEnum) override;

 protected:
  ~CComEnumVariant() override = default;

 private:
  struct Items {
    size_t count;
    ItemMaker item;  // puts a new reference to item `index` into a VARIANT made empty
  };
  static HRESULT Create(std::shared_ptr<const Items> items, IUnknown** ppEnum);

  std::shared_ptr<const Items> m_items;
  size_t m_position = 0;
};

}  // namespace lumora

#endif  // LUMORA_SNAPSHOT_ENUM_VARIANT_H_
