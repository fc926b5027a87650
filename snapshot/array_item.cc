// The array element item.
#include "array_item.h"

#include "hand_out.h"
#include "lumora/values.h"

namespace lumora {

void PRArrayItem::Fill(std::string value, std::string index) {
  m_value = std::move(value);
  m_index = std::move(index);
}

HRESULT PRArrayItem::get_Value(BSTR* pVal) { return HandOut(m_value, pVal); }

HRESULT PRArrayItem::get_Index(BSTR* pVal) { return HandOut(m_index, pVal); }

}  // namespace lumora
