// The VARIANT enumerator.
#include "enum_variant.h"

namespace lumora {

HRESULT CComEnumVariant::Create(std::vector<Variant> items, IUnknown** ppEnum) {
  if (ppEnum == nullptr) return E_POINTER;
  *ppEnum = nullptr;
  return ErrorBoundary("CComEnumVariant::Create", [&]() -> HRESULT {
    ComPtr<CComEnumVariant> enumerator = MakeObject<CComEnumVariant>();
    enumerator->m_items = std::make_shared<const std::vector<Variant>>(std::move(items));
    *ppEnum = static_cast<IUnknown*>(enumerator.detach());
    return S_OK;
  });
}

HRESULT CComEnumVariant::Next(ULONG celt, VARIANT* rgelt, ULONG* pceltFetched) {
  if (rgelt == nullptr || (celt != 1 && pceltFetched == nullptr)) return E_POINTER;
  if (!m_items) return E_FAIL;
  const size_t available = std::min<size_t>(celt, m_items->size() - m_position);
  for (size_t i = 0; i < available; ++i) {
    VariantInit(&rgelt[i]);
    const HRESULT hr = VariantCopy(&rgelt[i], (*m_items)[m_position + i].get());
    if (FAILED(hr)) {
      for (size_t j = 0; j <= i; ++j) VariantClear(&rgelt[j]);
      if (pceltFetched != nullptr) *pceltFetched = 0;
      return hr;
    }
  }
  m_position += available;
  if (pceltFetched != nullptr) *pceltFetched = static_cast<ULONG>(available);
  return available < celt ? S_FALSE : S_OK;
}

HRESULT CComEnumVariant::Skip(ULONG celt) {
  if (!m_items) return E_FAIL;
  const size_t remaining = m_items->size() - m_position;
  if (celt >= remaining) {
    m_position = m_items->size();
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
