// PRSuperKeyAttr: one variable of a privileged read, with every column of its row taken
// when the item was made (and its enumeration's labels, for an enumeration). It owns
// copies and refers to nothing else. Apartment-bound.
#ifndef LUMORA_SNAPSHOT_SUPER_KEY_ATTR_H_
#define LUMORA_SNAPSHOT_SUPER_KEY_ATTR_H_

#include <string>

#include "common/catalogue.h"
#include "lumora/object.h"
#include "lumora/values.h"

namespace lumora {

// What a privileged item shows of a variable.
struct SuperKeyAttrFields {
  std::string uki;  // an element's item carries its array variable's uki
  LONG type = eTypeUnknown;
  LONG privacy = ePrivacyPrivate;
  LONG volatility = eVolatilityChangesNever;
  std::string fieldName;
  bool readOnly = false;
  std::string displayText;
  bool linked = false;
  std::string rawValue;
  DATE lastShared = 0;
};

// Also a key attribute (IPRKeyAttr), as every item of a key attribute collection is: its
// first three properties serve both interfaces.
class PRSuperKeyAttr : public Implements<DispatchImpl<IPRSuperKeyAttr>, DispatchImpl<IPRKeyAttr>> {
 public:
  // `enumLabels` is the VT_ARRAY | VT_BSTR of an enumeration's labels, else empty.
  void Fill(SuperKeyAttrFields fields, Variant enumLabels);

  HRESULT get_Value(VARIANT* pVal) override;
  HRESULT get_Type(EProfileDataType* pVal) override;
  HRESULT get_IsValueSet(VARIANT_BOOL* pVal) override;
  HRESULT get_Volatility(EVolatility* pVal) override;
  HRESULT get_Privacy(EPrivacy* pVal) override;
  HRESULT get_FieldName(BSTR* pVal) override;
  HRESULT get_IsReadOnly(VARIANT_BOOL* pVal) override;
  // The labels for an enumeration; eErrorProfileTypeMismatch for any other type.
  HRESULT get_EnumOptions(VARIANT* pVal) override;
  // eErrorValueIsNotSet when no value is set.
  HRESULT get_DisplayValue(BSTR* pVal) override;
  HRESULT get_Uki(BSTR* pVal) override;
  HRESULT get_IsLinked(VARIANT_BOOL* pVal) override;
  // The source variable's uki for a link; E_FAIL for a variable that is no link.
  HRESULT get_LinkSource(BSTR* pVal) override;
  HRESULT get_LastShared(DATE* pVal) override;
  // eErrorValueIsNotSet when no value is set.
  HRESULT get_RawValue(BSTR* pVal) override;

 protected:
  ~PRSuperKeyAttr() override = default;

 private:
  SuperKeyAttrFields m_fields;
  bool m_valueSet = false;
  Variant m_enumLabels;
};

}  // namespace lumora

#endif  // LUMORA_SNAPSHOT_SUPER_KEY_ATTR_H_
