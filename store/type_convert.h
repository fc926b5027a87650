// PRTypeConvert: the automation object that converts between raw values and automation
// types for clients, by the raw value rules. One process-wide object (its class object is
// a singleton); apartment-bound like every object of the component.
#ifndef LUMORA_STORE_TYPE_CONVERT_H_
#define LUMORA_STORE_TYPE_CONVERT_H_

#include "lumora/dispatch.h"
#include "lumora/object.h"
#include "lumora/profile.h"


namespace lumora {

template <>
struct DispatchTable<IPRTypeConvert> {
  static std::span<const DispEntry> Get();
};

class PRTypeConvert : public Implements<DispatchImpl<IPRTypeConvert>> {
 public:
  HRESULT ConvertRawStringToDate(BSTR bstr, DATE* result) override;
  HRESULT ConvertDateToRawString(DATE date, BSTR* result) override;
  HRESULT ConvertRawStringToBoolean(BSTR bstr, VARIANT_BOOL* result) override;
  HRESULT ConvertBooleanToRawString(VARIANT_BOOL b, BSTR* result) override;
  HRESULT ConvertRawStringToInt32(BSTR bstr, LONG* result) override;
  HRESULT ConvertInt32ToRawString(LONG l, BSTR* result) override;
  HRESULT ConvertEnumToRawString(SHORT n, BSTR* result) override;
  HRESULT ConvertRawStringToEnum(BSTR bstr, SHORT* result) override;
  HRESULT ConvertRawStringToDateTime(BSTR bstr, DATE* result) override;
  HRESULT ConvertRawStringToTime(BSTR bstr, DATE* result) override;
  HRESULT ConvertDateTimeToRawString(DATE date, BSTR* result) override;
  HRESULT ConvertTimeToRawString(DATE date, BSTR* result) override;
  HRESULT ConvertRawStringToMillisecsAfter1970(BSTR bstr, LONG* result) override;

 protected:
  ~PRTypeConvert() override = default;
};

}  // namespace lumora

#endif  // LUMORA_STORE_TYPE_CONVERT_H_
