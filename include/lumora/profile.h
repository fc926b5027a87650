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

#endif  // LUMORA_PROFILE_H_
