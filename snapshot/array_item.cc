// The array element item.
#include "array_item.h"

#include "lumora/values.h"

namespace lumora {
namespace {

HRESULT HandOut(const std::string& text, BSTR* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = nullptr;
  Bstr copy = Bstr::FromUtf8(text);
  if (!copy) return E_OUTOFMEMORY;
  *pVal = copy.detach();
  return S_OK;
}

}  // namespace

void PRArrayItem::Fill(std::string value, std::string index) {
  m_value = std::move(value);
  m_index = std::move(index);
}

HRESULT PRArrayItem::get_Value(BSTR* pVal) { return HandOut(m_value, pVal); }

HRESULT PRArrayItem::get_Index(BSTR* pVal) { return HandOut(m_index, pVal); }

}  // namespace lumora
