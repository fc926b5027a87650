// The VARIANT enumerator.
#include "enum_variant.h"

namespace lumora {

HRESULT CComEnumVariant::Create(std::vector<Variant> items, IUnknown** ppEnum) {
  auto held = std::make_shared<const std::vector<Variant>>(std::move(items));
  const size_t count = held->size();
  return Create(std::make_shared<const Items>(Items{
                    count, [held](size_t index, VARIANT* item) { return VariantCopy(item, (*held)[index].get()); }}),
                ppEnum);
}

HRESULT CComEnumVariant::Create(size_t count, ItemMaker make, IUnknown** ppEnum) {
  return Create(std::make_shared<const Items>(Items{count, std::move(make)}), ppEnum);
}

HRESULT CComEnumVariant::Create(std::shared_ptr<const Items> items, IUnknown** ppEnum) {
  if (ppEnum == nullptr) return E_POINTER;
  *ppEnum = nullptr;
  return ErrorBoundary("CComEnumVariant::Create", [&]() -> HRESULT {
    ComPtr<CComEnumVariant> enumerator = MakeObject<CComEnumVariant>();
    enumerator->m_items = std::move(items);
    *ppEnum = static_cast<IUnknown*>(enumerator.detach());
    return S_OK;
  });
}

HRESULT CComEnumVariant::Next(ULONG celt, VARIANT* rgelt, ULONG* pceltFetched) {
  if (rgelt == nullptr || (celt != 1 && pceltFetched == nullptr)) return E_POINTER;
  if (!m_items) return E_FAIL;
  const size_t available = std::min<size_t>(celt, m_items->count - m_position);
  for (size_t i = 0; i < available; ++i) VariantInit(&rgelt[i]);
  const HRESULT hr = ErrorBoundary("CComEnumVariant::Next", [&]() -> HRESULT {
    for (size_t i = 0; i < available; ++i) {
      const HRESULT made = m_items->item(m_position + i, &rgelt[i]);
      if (FAILED(made)) return made;
    }
    return S_OK;
  });
  if (FAILED(hr)) {
    // All or nothing: the items made so far are released.
    for (size_t i = 0; i < available; ++i) VariantClear(&rgelt[i]);
    if (pceltFetched != nullptr) *pceltFetched = 0;
    return hr;
  }
  m_position += available;
  if (pceltFetched != nullptr) *pceltFetched = static_cast<ULONG>(available);
  return available < celt ? S_FALSE : S_OK;
}

HRESULT CComEnumVariant::Skip(ULONG celt) {
  if (!m_items) return E_FAIL;
  const size_t remaining = m_items->count - m_position;
  if (celt >= remaining) {
    m_position = m_items->count;
    return S_FALSE;
  }
  m_position += celt;
  return S_OK;
}

HRESULT CComEnumVariant::Reset() {
  m_position = 0;
  return S_OK;
}

HRESULT CComEnumVariant::Clone(IEnumVARIANT** ppEnum) {
  if (ppEnum == nullptr) return E_POINTER;
  *ppEnum = nullptr;
  return ErrorBoundary("CComEnumVariant::Clone", [&]() -> HRESULT {
    ComPtr<CComEnumVariant> copy = MakeObject<CComEnumVariant>();
    copy->m_items = m_items;
    copy->m_position = m_position;
    *ppEnum = copy.detach();
    return S_OK;
  });
}

}  // namespace lumora
