// CComEnumVariant: the VARIANT enumerator every _NewEnum of the snapshot collections
// returns. It owns its items (each a VT_DISPATCH item object) and a position; clones
// share the items, which live as long as any enumerator that uses them. Apartment-bound
// like the collections.
#ifndef LUMORA_SNAPSHOT_ENUM_VARIANT_H_
#define LUMORA_SNAPSHOT_ENUM_VARIANT_H_

#include <memory>
#include <vector>

#include "lumora/object.h"
#include "lumora/values.h"

namespace lumora {

class CComEnumVariant : public Implements<IEnumVARIANT> {
 public:
  // An enumerator at the first of `items`, handed out as IUnknown with one reference.
  static HRESULT Create(std::vector<Variant> items, IUnknown** ppEnum);

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
  std::shared_ptr<const std::vector<Variant>> m_items;
  size_t m_position = 0;
};

}  // namespace lumora

#endif  // LUMORA_SNAPSHOT_ENUM_VARIANT_H_
