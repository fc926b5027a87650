// Value protection over a real store: sizes, randomness, refusals and the hex format.
#include "store/value_protection.h"

#include <gtest/gtest.h>
#include <nettle/arctwo.h>
#include <nettle/cbc.h>
#include <nettle/md5.h>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

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

std::string KeptPassword() {
  char password[12] = {};
  EXPECT_GE(GetDatabasePassword(password, sizeof password), 0);
  return password;
}

// The raw value behind a stored text, decrypted without the provider: RC2-CBC (128-bit
// effective key) under MD5 of the password, IV = the first 8 of the 16 prefix bytes,
// PKCS#5 padding, then the raw value's characters and one zero byte.
std::string DecryptIndependently(const std::string& stored, const std::string& password) {
  const auto bytes = HexToBytes(stored);
  if (!bytes || bytes->size() < 1 + 16 + 8) return "<no block>";
  uint8_t digest[MD5_DIGEST_SIZE];
  md5_ctx md5;
  md5_init(&md5);
  md5_update(&md5, password.size(), reinterpret_cast<const uint8_t*>(password.data()));
  md5_digest(&md5, sizeof digest, digest);
  arctwo_ctx rc2;
  arctwo_set_key_ekb(&rc2, sizeof digest, digest, 128);
  uint8_t iv[8];
  std::memcpy(iv, bytes->data(), 8);
  const size_t cipherLength = bytes->size() - 1 - 16;
  std::vector<uint8_t> plain(cipherLength);
  cbc_decrypt(&rc2, reinterpret_cast<nettle_cipher_func*>(&arctwo_decrypt), 8, iv, cipherLength, plain.data(),
              bytes->data() + 16);
  const uint8_t pad = plain.back();
  if (pad == 0 || pad > 8 || plain[plain.size() - pad - 1] != 0) return "<bad padding>";
  return std::string(reinterpret_cast<const char*>(plain.data()), plain.size() - pad - 1);
}

TEST_F(ValueProtectionTest, TheFormatIsRc2CbcUnderMd5OfThePassword) {
  const std::string password = KeptPassword();
  ASSERT_EQ(password.size(), 10u);
  for (const std::string& raw :
       std::vector<std::string>{"", "x", "1234567", std::string(100, 'v'), std::string(1006, 'z')}) {
    const std::string stored = ProtectValue(raw);
    EXPECT_EQ(DecryptIndependently(stored, password), raw) << raw.size();
  }
}

TEST_F(ValueProtectionTest, TheKeyFollowsThePasswordText) {
  const std::string first = KeptPassword();
  const std::string protectedFirst = ProtectValue("under the first");
  const std::string second = first == "0123456789" ? "9876543210" : "0123456789";
  ForgetKeptPasswordForTests();
  ASSERT_EQ(StoreDatabasePassword(second, "A5A5A5A5A5"), S_OK);
  ASSERT_EQ(KeptPassword(), second);
  const std::string protectedSecond = ProtectValue("under the second");
  EXPECT_EQ(DecryptIndependently(protectedSecond, second), "under the second") << "a key kept from before";
  EXPECT_EQ(UnprotectValue(protectedSecond), "under the second");
  // Under another key a value almost always fails its padding and reads as empty; once
  // in a few hundred the padding happens to fit and it reads as garbage. Never as itself.
  EXPECT_NE(UnprotectValue(protectedFirst), "under the first") << "values of another password do not decrypt";

  ForgetKeptPasswordForTests();
  ASSERT_EQ(StoreDatabasePassword(first, "5A5A5A5A5A"), S_OK);
  EXPECT_EQ(UnprotectValue(protectedFirst), "under the first");
  EXPECT_NE(UnprotectValue(protectedSecond), "under the second");

  // A provider acquired afresh gets a key of its own.
  ReleaseCryptProvider();
  ASSERT_EQ(AcquireCryptProvider(), 0);
  EXPECT_EQ(UnprotectValue(protectedFirst), "under the first");
}

// The quick comparison a write makes before it replaces a value answers exactly as
// decrypting the whole value and comparing would, for every stored text there may be.
TEST_F(ValueProtectionTest, AStoredValueIsComparedAsItsPlainTextWouldBe) {
  auto stored = [](std::string_view plain) {  // a block exactly as given, without the zero byte added
    std::vector<BYTE> block;
    EXPECT_EQ(EncryptBytes(reinterpret_cast<const BYTE*>(plain.data()), static_cast<DWORD>(plain.size()), &block),
              S_OK);
    return BytesToHex(block.data(), block.size());
  };
  std::vector<std::string> texts = {"", std::string(kNotSetMarker), "0A", "XYZW", std::string(47, 'A'),
                                    stored(std::string("abc\0xyz", 7)),  // bytes after the zero byte
                                    stored("abcdefgh"),                  // no zero byte at all
                                    stored(std::string("\0", 1))};
  std::vector<std::string> raws = {"", "a", "abc", "abcdefgh", std::string("abc\0xyz", 7), "value"};
  for (size_t n : {1u, 6u, 7u, 8u, 9u, 15u, 16u, 17u, 40u, 1006u}) {
    std::string raw;
    for (size_t i = 0; i < n; ++i) raw.push_back(static_cast<char>('a' + i % 26));
    texts.push_back(ProtectValue(raw));
    std::string badPadding = texts.back();
    badPadding.back() = badPadding.back() == '0' ? '1' : '0';
    texts.push_back(badPadding);
    raws.push_back(raw);
    raws.push_back(raw + "x");
    raws.push_back(raw.substr(0, n - 1));
    for (size_t at : {size_t{0}, n / 2, n - 1}) {
      std::string changed = raw;
      changed[at] = 'Z';
      raws.push_back(changed);
    }
  }
  // Random bytes that happen to be a well-formed stored text decrypt to garbage.
  std::mt19937 random(11);
  for (int i = 0; i < 200; ++i) {
    std::string text;
    for (size_t length = 2 * (16 + 8 * (random() % 6)); text.size() < length;) text.push_back("0123456789ABCDEF"[random() % 16]);
    texts.push_back(text);
  }
  for (const std::string& text : texts) {
    const std::string plain = UnprotectValue(text);
    raws.push_back(plain);  // every text is compared with what it holds too
    for (const std::string& raw : raws) {
      ASSERT_EQ(StoredValueIs(text, raw), plain == raw) << text << " / " << raw;
    }
    raws.pop_back();
  }
}

TEST_F(ValueProtectionTest, EightThreadsShareTheKeptKey) {
  std::vector<std::thread> threads;
  threads.reserve(8);
  std::atomic<int> wrong{0};
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &wrong] {
      for (int i = 0; i < 3000; ++i) {
        const std::string raw =
            "thread " + std::to_string(t) + " value " + std::string(static_cast<size_t>(i % 40), 'x');
        if (UnprotectValue(ProtectValue(raw)) != raw) ++wrong;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0) << "the key's IV and chaining state were shared between two uses";
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
  for (int c = 0; c < 256; ++c) {
    const char text[2] = {'0', static_cast<char>(c)};
    const bool digit = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
    EXPECT_EQ(HexToBytes(std::string_view(text, 2)).has_value(), digit) << c;
  }
}

}  // namespace
}  // namespace lumora
