// One scratch variable.
#include "scratch_item.h"

#include "lumora/error.h"
#include "lumora/values.h"
#include "store/key_lookup.h"
#include "store/value_protection.h"

namespace lumora {

void PRScratchItem::Bind(ComPtr<PRScratchItemsCollection> collection, std::string section, std::string key) {
  m_collection = std::move(collection);
  m_section = std::move(section);
  m_key = std::move(key);
}

HRESULT PRScratchItem::FindRow() {
  const HRESULT hr = m_collection->Ready();
  if (FAILED(hr)) return hr;
  return FindScratchItem(m_collection->Cursor(), m_section, m_key) ? S_OK : eErrorKeyNotFound;
}

HRESULT PRScratchItem::get_Value(BSTR* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = nullptr;
  return LUMORA_ERROR_BOUNDARY([&]() -> HRESULT {
    const HRESULT hr = FindRow();
    if (FAILED(hr)) return hr;
    Bstr value = Bstr::FromUtf8(UnprotectValue(m_collection->Cursor().m_value));
    *pVal = value.detach();
    return S_OK;
  });
}

HRESULT PRScratchItem::put_Value(BSTR newVal) {
  return LUMORA_ERROR_BOUNDARY([&]() -> HRESULT {
    // A value the store would cut short where it is read back is not kept at all.
    if (Bstr::View(newVal).find(u'\0') != std::u16string_view::npos) return E_INVALIDARG;
    const HRESULT hr = FindRow();
    if (FAILED(hr)) return hr;
    const std::string stored = ProtectValue(Bstr::ToUtf8(newVal));
    CScratchSet& cursor = m_collection->Cursor();
    cursor.Edit();
    cursor.m_value = stored;
    cursor.Update();
    return S_OK;
  });
}

}  // namespace lumora
