// The profile component's public contract: its enumerations and its own result codes
// (facility 4, codes 0xE000 to 0xEFFF). The two warnings are success codes: a caller
// that tests only for failure takes them for success.
#ifndef LUMORA_PROFILE_H_
#define LUMORA_PROFILE_H_

#include "lumora/automation.h"

enum EProfileDataType : int32_t {
  eTypeUnknown = 0,
  eTypeInt32 = 1,
  eTypeDateTime = 2,
  eTypeDate = 3,
  eTypeTime = 4,
  eTypeString = 5,
  eTypeBoolean = 6,
  eTypeStringList = 7,
  eTypeArrayOfStrings = 8,
  eTypeEnumOfStrings = 9,
  eTypeFirstEnum = 0,
  eTypeLastEnum = 9,
};

enum EVolatility : int32_t {
  eVolatilityChangesNever = 0,
  eVolatilityChangesRarely = 1,
  eVolatilityChangesOften = 2,
  eVolatilityFirstEnum = 0,
  eVolatilityLastEnum = 2,
};

enum EPrivacy : int32_t {
  ePrivacyPrivate = 0,
  ePrivacyShared = 1,
  ePrivacyFirstEnum = 0,
  ePrivacyLastEnum = 1,
};

enum EProfileInterfaceFacilityError : HRESULT {
  eErrorStartRange = static_cast<HRESULT>(0x8004E000u),
  eErrorRegKeyNotFound = static_cast<HRESULT>(0x8004E000u),
  eErrorCipherInitializingFailed = static_cast<HRESULT>(0x8004E200u),
  eErrorCipherEncryptingFailed = static_cast<HRESULT>(0x8004E201u),
  eErrorProfileTypeMismatch = static_cast<HRESULT>(0x8004E300u),
  eErrorValueIsNotSet = static_cast<HRESULT>(0x8004E301u),
  eErrorKeyNotFound = static_cast<HRESULT>(0x8004E302u),
  eWarningValueUnchanged = 0x0004E303,
  eWarningOnlyValueChanged = 0x0004E304,
  eErrorBadKey = static_cast<HRESULT>(0x8004E305u),
  eErrorEndRange = static_cast<HRESULT>(0x8004EFFFu),
};

// Conversions between raw values and automation types. Dispids equal slot positions from 1.
struct IPRTypeConvert : IDispatch {
  virtual HRESULT ConvertRawStringToDate(BSTR bstr, DATE* result) = 0;
  virtual HRESULT ConvertDateToRawString(DATE date, BSTR* result) = 0;
  virtual HRESULT ConvertRawStringToBoolean(BSTR bstr, VARIANT_BOOL* result) = 0;
  virtual HRESULT ConvertBooleanToRawString(VARIANT_BOOL b, BSTR* result) = 0;
  virtual HRESULT ConvertRawStringToInt32(BSTR bstr, LONG* result) = 0;
  virtual HRESULT ConvertInt32ToRawString(LONG l, BSTR* result) = 0;
  virtual HRESULT ConvertEnumToRawString(SHORT n, BSTR* result) = 0;
  virtual HRESULT ConvertRawStringToEnum(BSTR bstr, SHORT* result) = 0;
  virtual HRESULT ConvertRawStringToDateTime(BSTR bstr, DATE* result) = 0;
  virtual HRESULT ConvertRawStringToTime(BSTR bstr, DATE* result) = 0;
  virtual HRESULT ConvertDateTimeToRawString(DATE date, BSTR* result) = 0;
  virtual HRESULT ConvertTimeToRawString(DATE date, BSTR* result) = 0;
  virtual HRESULT ConvertRawStringToMillisecsAfter1970(BSTR bstr, LONG* result) = 0;

 protected:
  ~IPRTypeConvert() = default;
};

// The public type library QuenProfileLib.
// {F8174A6B-A518-4BFE-86ED-B33035E7A949}
inline constexpr GUID LIBID_QuenProfileLib = {
    0xF8174A6B, 0xA518, 0x4BFE, {0x86, 0xED, 0xB3, 0x30, 0x35, 0xE7, 0xA9, 0x49}};
// {676134B4-507B-4431-997F-10396E60BC93}
inline constexpr CLSID CLSID_PRTypeConvert = {
    0x676134B4, 0x507B, 0x4431, {0x99, 0x7F, 0x10, 0x39, 0x6E, 0x60, 0xBC, 0x93}};
// {EA245BEF-0B67-468C-AD9C-60F8C7860631}
inline constexpr IID IID_IPRTypeConvert = {
    0xEA245BEF, 0x0B67, 0x468C, {0xAD, 0x9C, 0x60, 0xF8, 0xC7, 0x86, 0x06, 0x31}};

#endif  // LUMORA_PROFILE_H_
