// The privileged key attribute item.
#include "super_key_attr.h"

#include "hand_out.h"
#include "key_attr.h"
#include "store/uki.h"
#include "store/value_protection.h"

namespace lumora {
namespace {

VARIANT_BOOL AsVariantBool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

}  // namespace

void PRSuperKeyAttr::Fill(SuperKeyAttrFields fields, Variant enumLabels) {
  m_fields = std::move(fields);
  m_valueSet = m_fields.rawValue != kNotSetMarker;
  m_enumLabels = std::move(enumLabels);
}

HRESULT PRSuperKeyAttr::get_Value(VARIANT* pVal) {
  return KeyAttrValue("PRSuperKeyAttr::get_Value", m_fields.type, m_fields.rawValue, m_valueSet, pVal);
}

HRESULT PRSuperKeyAttr::get_Type(EProfileDataType* pVal) {
  return HandOut(static_cast<EProfileDataType>(m_fields.type), pVal);
}

HRESULT PRSuperKeyAttr::get_IsValueSet(VARIANT_BOOL* pVal) { return HandOut(AsVariantBool(m_valueSet), pVal); }

HRESULT PRSuperKeyAttr::get_Volatility(EVolatility* pVal) {
  return HandOut(static_cast<EVolatility>(m_fields.volatility), pVal);
}

HRESULT PRSuperKeyAttr::get_Privacy(EPrivacy* pVal) { return HandOut(static_cast<EPrivacy>(m_fields.privacy), pVal); }

HRESULT PRSuperKeyAttr::get_FieldName(BSTR* pVal) { return HandOut(m_fields.fieldName, pVal); }

HRESULT PRSuperKeyAttr::get_IsReadOnly(VARIANT_BOOL* pVal) { return HandOut(AsVariantBool(m_fields.readOnly), pVal); }

HRESULT PRSuperKeyAttr::get_EnumOptions(VARIANT* pVal) {
  if (pVal == nullptr) return E_POINTER;
  VariantInit(pVal);
  if (m_fields.type != eTypeEnumOfStrings) return eErrorProfileTypeMismatch;
  return VariantCopy(pVal, m_enumLabels.get());
}

HRESULT PRSuperKeyAttr::get_DisplayValue(BSTR* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = nullptr;
  if (!m_valueSet) return eErrorValueIsNotSet;
  return HandOut(m_fields.displayText, pVal);
}

HRESULT PRSuperKeyAttr::get_Uki(BSTR* pVal) { return HandOut(m_fields.uki, pVal); }

HRESULT PRSuperKeyAttr::get_IsLinked(VARIANT_BOOL* pVal) { return HandOut(AsVariantBool(m_fields.linked), pVal); }

HRESULT PRSuperKeyAttr::get_LinkSource(BSTR* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = nullptr;
  if (!m_fields.linked) return E_FAIL;
  return HandOut(KeyOfUki(m_fields.uki), pVal);
}

HRESULT PRSuperKeyAttr::get_LastShared(DATE* pVal) { return HandOut(m_fields.lastShared, pVal); }

HRESULT PRSuperKeyAttr::get_RawValue(BSTR* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = nullptr;
  if (!m_valueSet) return eErrorValueIsNotSet;
  return HandOut(m_fields.rawValue, pVal);
}

}  // namespace lumora
