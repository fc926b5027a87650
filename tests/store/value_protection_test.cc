// Value protection over a real store: sizes, randomness, refusals and the hex format.
#include "store/value_protection.h"

#include <gtest/gtest.h>

#include "lumora/profile.h"
#include "tests/store/store_fixture.h"

namespace lumora {
namespace {

class ValueProtectionTest : public testing::StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    ASSERT_EQ(AcquireCryptProvider(), 0);
    ASSERT_EQ(OpenProfileDatabase(), S_OK);
  }
};

TEST_F(ValueProtectionTest, StoredSizesFollowThePadding) {
  for (size_t n : {0u, 1u, 6u, 7u, 8u, 15u, 100u, 1006u}) {
    const std::string raw(n, 'x');
    const std::string stored = ProtectValue(raw);
    EXPECT_EQ(stored.size(), 2 * (16 + 8 * ((n + 1) / 8 + 1))) << n;
    EXPECT_EQ(stored.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(UnprotectValue(stored), raw) << n;
  }
  EXPECT_EQ(ProtectValue("abcdef").size(), 48u);
  EXPECT_EQ(ProtectValue("abcdefg").size(), 64u);
  EXPECT_EQ(ProtectValue("").size(), 48u);
}

TEST_F(ValueProtectionTest, EachProtectionDiffersAndBothReadBack) {
  const std::string first = ProtectValue("Main Street 1");
  const std::string second = ProtectValue("Main Street 1");
  EXPECT_NE(first, second) << "a new random prefix each time";
  EXPECT_EQ(UnprotectValue(first), "Main Street 1");
  EXPECT_EQ(UnprotectValue(second), "Main Street 1");
  EXPECT_EQ(UnprotectValue(ProtectValue("Z\xC3\xBCrich")), "Z\xC3\xBCrich");
}

TEST_F(ValueProtectionTest, MarkersEmptinessAndBadTextAreHandled) {
  EXPECT_EQ(ProtectValue(kNotSetMarker), kNotSetMarker);
  EXPECT_EQ(UnprotectValue(kNotSetMarker), kNotSetMarker);
  EXPECT_EQ(UnprotectValue(""), "");
  std::string stored = ProtectValue("secret");
  EXPECT_EQ(UnprotectValue(stored.substr(1)), "") << "odd length";
  std::string lower = stored;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ASSERT_NE(lower, stored);
  EXPECT_EQ(UnprotectValue(lower), "") << "lower-case digits";
  EXPECT_EQ(UnprotectValue("ABCD"), "") << "shorter than the prefix";
  EXPECT_EQ(UnprotectValue(stored.substr(0, stored.size() - 2)), "") << "truncated ciphertext";
  std::string tampered = stored;
  tampered[40] = tampered[40] == 'A' ? 'B' : 'A';
  const std::string read = UnprotectValue(tampered);
  EXPECT_NE(read, "secret") << "a changed block never reads as the original";
}

TEST_F(ValueProtectionTest, LongValuesAreRefusedNotTruncated) {
  EXPECT_EQ(UnprotectValue(ProtectValue(std::string(1006, 'a'))), std::string(1006, 'a'));
  try {
    ProtectValue(std::string(1007, 'a'));
    ADD_FAILURE() << "1007 characters were protected";
  } catch (const HResultException& e) {
    EXPECT_EQ(e.code(), E_INVALIDARG);
  }
}

TEST_F(ValueProtectionTest, WithoutTheProviderNothingIsStored) {
  ReleaseCryptProvider();
  try {
    ProtectValue("value");
    ADD_FAILURE();
  } catch (const HResultException& e) {
    EXPECT_EQ(e.code(), eErrorCipherEncryptingFailed);
  }
  ASSERT_EQ(AcquireCryptProvider(), 0);
  const std::string stored = ProtectValue("value");
  ReleaseCryptProvider();
  EXPECT_EQ(UnprotectValue(stored), "") << "a failed decryption reads as empty";
  ASSERT_EQ(AcquireCryptProvider(), 0);
}

TEST(HexTest, BytesAndDigits) {
  const BYTE bytes[] = {0x00, 0x0F, 0xA5, 0xFF};
  EXPECT_EQ(BytesToHex(bytes, 4), "000FA5FF");
  const auto back = HexToBytes("000FA5FF");
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, (std::vector<BYTE>{0x00, 0x0F, 0xA5, 0xFF, 0x00})) << "plus a terminating zero byte";
  EXPECT_FALSE(HexToBytes("ABC"));
  EXPECT_FALSE(HexToBytes("ab"));
  EXPECT_FALSE(HexToBytes("0G"));
  ASSERT_TRUE(HexToBytes(""));
  EXPECT_EQ(HexToBytes("")->size(), 1u);
}

}  // namespace
}  // namespace lumora
