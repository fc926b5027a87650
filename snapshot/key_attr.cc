// The ordinary key attribute item.
#include "key_attr.h"

#include "store/raw_value.h"
#include "store/value_protection.h"

namespace lumora {

HRESULT KeyAttrValue(const char* method, LONG type, const std::string& rawValue, bool valueSet, VARIANT* pVal) {
  if (pVal == nullptr) return E_POINTER;
  VariantInit(pVal);
  if (!valueSet) return eErrorValueIsNotSet;
  return ErrorBoundary(method, [&] { return TypedValueOfRaw(rawValue, type, pVal); });
}

void PRKeyAttr::Fill(LONG type, std::string rawValue) {
  m_type = type;
  m_valueSet = rawValue != kNotSetMarker;
  m_rawValue = std::move(rawValue);
}

HRESULT PRKeyAttr::get_Value(VARIANT* pVal) {
  return KeyAttrValue("PRKeyAttr::get_Value", m_type, m_rawValue, m_valueSet, pVal);
}

HRESULT PRKeyAttr::get_Type(EProfileDataType* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = static_cast<EProfileDataType>(m_type);
  return S_OK;
}

HRESULT PRKeyAttr::get_IsValueSet(VARIANT_BOOL* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = m_valueSet ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

}  // namespace lumora
