// PRKeyAttr: one variable of a read, as an ordinary client receives it: its type, its raw
// value and whether a value is set. The item owns copies taken when it was made; it
// refers to nothing else and may outlive the collection that made it. Apartment-bound.
#ifndef LUMORA_SNAPSHOT_KEY_ATTR_H_
#define LUMORA_SNAPSHOT_KEY_ATTR_H_

#include <string>

#include "common/catalogue.h"
#include "lumora/object.h"

namespace lumora {

// Value of a type and raw value as both key attribute items give it: the typed value,
// eErrorValueIsNotSet when no value is set, eErrorProfileTypeMismatch for arrays.
// `method` names the asking property for the trace of an unknown error.
HRESULT KeyAttrValue(const char* method, LONG type, const std::string& rawValue, bool valueSet, VARIANT* pVal);

class PRKeyAttr : public Implements<DispatchImpl<IPRKeyAttr>> {
 public:
  void Fill(LONG type, std::string rawValue);

  HRESULT get_Value(VARIANT* pVal) override;
  HRESULT get_Type(EProfileDataType* pVal) override;
  HRESULT get_IsValueSet(VARIANT_BOOL* pVal) override;

 protected:
  ~PRKeyAttr() override = default;

 private:
  LONG m_type = eTypeUnknown;
  std::string m_rawValue;
  bool m_valueSet = false;
};

}  // namespace lumora

#endif  // LUMORA_SNAPSHOT_KEY_ATTR_H_
