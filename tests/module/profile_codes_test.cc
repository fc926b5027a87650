// The component's result codes as clients compare them.
#include <gtest/gtest.h>

#include "lumora/profile.h"

static_assert(eErrorRegKeyNotFound == eErrorStartRange);
static_assert(static_cast<uint32_t>(eWarningValueUnchanged) == 0x0004E303u);
static_assert(SUCCEEDED(eWarningValueUnchanged) && SUCCEEDED(eWarningOnlyValueChanged));
static_assert(FAILED(eErrorKeyNotFound) && FAILED(eErrorBadKey) && FAILED(eErrorEndRange));
static_assert(static_cast<uint32_t>(eErrorCipherInitializingFailed) == 0x8004E200u);
static_assert(sizeof(EProfileDataType) == 4 && sizeof(EPrivacy) == 4 && sizeof(EVolatility) == 4);
static_assert(HRESULT_FROM_WIN32(ERROR_CANCELLED) == static_cast<HRESULT>(0x800704C7u));
static_assert(HRESULT_FROM_WIN32(ERROR_NOT_FOUND) == static_cast<HRESULT>(0x80070490u));

TEST(ProfileCodesTest, EveryComponentCodeLiesInItsFacilityRange) {
  for (HRESULT code :
       {eErrorCipherInitializingFailed, eErrorCipherEncryptingFailed, eErrorProfileTypeMismatch, eErrorValueIsNotSet,
        eErrorKeyNotFound, eWarningValueUnchanged, eWarningOnlyValueChanged, eErrorBadKey}) {
    const auto bits = static_cast<uint32_t>(code);
    EXPECT_EQ((bits >> 16) & 0x7FFF, 4u) << std::hex << bits;
    EXPECT_GE(bits & 0xFFFF, 0xE000u);
    EXPECT_LE(bits & 0xFFFF, 0xEFFFu);
  }
}
