// The cryptographic provider against published known answers, and its failure seams.
#include "platform/crypto/crypt_provider.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<BYTE> Hex(const std::string& text) {
  std::vector<BYTE> bytes;
  for (size_t i = 0; i + 1 < text.size(); i += 2)
    bytes.push_back(static_cast<BYTE>(std::stoi(text.substr(i, 2), nullptr, 16)));
  return bytes;
}

class Provider {
 public:
  Provider() { EXPECT_TRUE(CryptAcquireContextA(&m_handle, nullptr, nullptr, PROV_RSA_FULL, 0)); }
  ~Provider() { CryptReleaseContext(m_handle, 0); }
  HCRYPTPROV get() const { return m_handle; }

 private:
  HCRYPTPROV m_handle = 0;
};

HCRYPTKEY ImportRc2(const Provider& provider, const std::vector<BYTE>& key, DWORD effectiveBits) {
  std::vector<BYTE> blob = {PLAINTEXTKEYBLOB, 2, 0, 0};
  const ALG_ID algid = CALG_RC2;
  const DWORD length = static_cast<DWORD>(key.size());
  blob.insert(blob.end(), reinterpret_cast<const BYTE*>(&algid), reinterpret_cast<const BYTE*>(&algid) + 4);
  blob.insert(blob.end(), reinterpret_cast<const BYTE*>(&length), reinterpret_cast<const BYTE*>(&length) + 4);
  blob.insert(blob.end(), key.begin(), key.end());
  HCRYPTKEY handle = 0;
  EXPECT_TRUE(CryptImportKey(provider.get(), blob.data(), static_cast<DWORD>(blob.size()), 0, 0, &handle));
  EXPECT_TRUE(CryptSetKeyParam(handle, KP_EFFECTIVE_KEYLEN, reinterpret_cast<const BYTE*>(&effectiveBits), 0));
  return handle;
}

TEST(CryptProviderTest, Rc2MatchesTheRfc2268Vectors) {
  struct Vector {
    const char* key;
    DWORD bits;
    const char* plain;
    const char* cipher;
  };
  const Vector vectors[] = {
      {"0000000000000000", 63, "0000000000000000", "ebb773f993278eff"},
      {"ffffffffffffffff", 64, "ffffffffffffffff", "278b27e42e2f0d49"},
      {"3000000000000000", 64, "1000000000000001", "30649edf9be7d2c2"},
      {"88", 64, "0000000000000000", "61a8a244adacccf0"},
      {"88bca90e90875a", 64, "0000000000000000", "6ccf4308974c267f"},
      {"88bca90e90875a7f0f79c384627bafb2", 64, "0000000000000000", "1a807d272bbe5db1"},
      {"88bca90e90875a7f0f79c384627bafb2", 128, "0000000000000000", "2269552ab0f85ca6"},
      {"88bca90e90875a7f0f79c384627bafb216f80a6f85920584c42fceb0be255daf1e", 129, "0000000000000000",
       "5b78d3a43dfff1f1"},
  };
  Provider provider;
  for (const Vector& v : vectors) {
    const HCRYPTKEY key = ImportRc2(provider, Hex(v.key), v.bits);
    std::vector<BYTE> block = Hex(v.plain);
    DWORD length = 8;
    // One block in CBC with a zero IV and no padding is the block cipher itself.
    ASSERT_TRUE(CryptEncrypt(key, 0, FALSE, 0, block.data(), &length, 8)) << v.key;
    EXPECT_EQ(block, Hex(std::string(v.cipher).substr(0, 16))) << v.key << " / " << v.bits;
    CryptDestroyKey(key);
  }
}

TEST(CryptProviderTest, Md5MatchesTheRfc1321Vectors) {
  const std::pair<std::string, std::string> vectors[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  Provider provider;
  for (const auto& [text, digest] : vectors) {
    HCRYPTHASH hash = 0;
    ASSERT_TRUE(CryptCreateHash(provider.get(), CALG_MD5, 0, 0, &hash));
    ASSERT_TRUE(CryptHashData(hash, reinterpret_cast<const BYTE*>(text.data()), static_cast<DWORD>(text.size()), 0));
    BYTE value[16];
    DWORD length = sizeof value;
    ASSERT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, value, &length, 0));
    EXPECT_EQ(std::vector<BYTE>(value, value + 16), Hex(digest)) << '"' << text << '"';
    EXPECT_FALSE(CryptHashData(hash, value, 1, 0)) << "a finished hash takes no more data";
    CryptDestroyHash(hash);
  }
}

class DerivedKey {
 public:
  DerivedKey(const Provider& provider, const std::string& password) {
    CryptCreateHash(provider.get(), CALG_MD5, 0, 0, &m_hash);
    CryptHashData(m_hash, reinterpret_cast<const BYTE*>(password.data()), static_cast<DWORD>(password.size()), 0);
    EXPECT_TRUE(CryptDeriveKey(provider.get(), CALG_RC2, m_hash, 0, &m_key));
    const BYTE iv[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    CryptSetKeyParam(m_key, KP_IV, iv, 0);
  }
  ~DerivedKey() {
    CryptDestroyKey(m_key);
    CryptDestroyHash(m_hash);
  }
  HCRYPTKEY get() const { return m_key; }

 private:
  HCRYPTHASH m_hash = 0;
  HCRYPTKEY m_key = 0;
};

TEST(CryptProviderTest, CbcPaddingIsAddedCheckedAndNeverHalfUndone) {
  Provider provider;
  DerivedKey key(provider, "0123456789");
  for (DWORD n : {0u, 1u, 7u, 8u, 9u, 100u}) {
    std::vector<BYTE> buffer(128, 0xAB);
    for (DWORD i = 0; i < n; ++i) buffer[i] = static_cast<BYTE>(i);
    DWORD length = n;
    ASSERT_TRUE(CryptEncrypt(key.get(), 0, TRUE, 0, buffer.data(), &length, static_cast<DWORD>(buffer.size())));
    EXPECT_EQ(length, (n / 8 + 1) * 8) << "padding always adds 1 to 8 bytes";
    ASSERT_TRUE(CryptDecrypt(key.get(), 0, TRUE, 0, buffer.data(), &length));
    EXPECT_EQ(length, n);
    for (DWORD i = 0; i < n; ++i) ASSERT_EQ(buffer[i], static_cast<BYTE>(i));
  }

  std::vector<BYTE> small(8);
  DWORD length = 8;
  EXPECT_FALSE(CryptEncrypt(key.get(), 0, TRUE, 0, small.data(), &length, 8));
  EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
  EXPECT_EQ(length, 16u) << "the needed length is reported";

  std::vector<BYTE> cipher(32);
  length = 20;
  ASSERT_TRUE(CryptEncrypt(key.get(), 0, TRUE, 0, cipher.data(), &length, 32));
  const std::vector<BYTE> sealed = cipher;
  DWORD truncated = 20;
  EXPECT_FALSE(CryptDecrypt(key.get(), 0, TRUE, 0, cipher.data(), &truncated));
  EXPECT_EQ(static_cast<HRESULT>(GetLastError()), NTE_BAD_DATA);
  EXPECT_EQ(cipher, sealed) << "a refused ciphertext is left as it was";
  cipher[23] ^= 0x55;  // spoils the padding of the last block
  const std::vector<BYTE> spoiled = cipher;
  DWORD whole = 24;
  EXPECT_FALSE(CryptDecrypt(key.get(), 0, TRUE, 0, cipher.data(), &whole));
  EXPECT_EQ(cipher, spoiled);
  DerivedKey other(provider, "another password");
  DWORD wrongKey = 24;
  std::vector<BYTE> copy = sealed;
  const BOOL decrypted = CryptDecrypt(other.get(), 0, TRUE, 0, copy.data(), &wrongKey);
  if (!decrypted) {
    EXPECT_EQ(copy, sealed) << "a refusal under the wrong key leaves the buffer alone";
  }
}

TEST(CryptProviderTest, SeamsFailAcquisitionAndRandomBytes) {
  const long before = lumora::crypto::OpenProviderContexts();
  lumora::crypto::SetAcquisitionFailure(NTE_BAD_KEYSET);
  HCRYPTPROV handle = 0;
  EXPECT_FALSE(CryptAcquireContextA(&handle, nullptr, nullptr, PROV_RSA_FULL, 0));
  EXPECT_EQ(static_cast<HRESULT>(GetLastError()), NTE_BAD_KEYSET);
  ASSERT_TRUE(CryptAcquireContextA(&handle, nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET))
      << "a missing key set can be made";
  EXPECT_EQ(lumora::crypto::OpenProviderContexts(), before + 1);
  CryptReleaseContext(handle, 0);
  lumora::crypto::SetAcquisitionFailure(NTE_FAIL);
  EXPECT_FALSE(CryptAcquireContextA(&handle, nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));
  lumora::crypto::SetAcquisitionFailure(S_OK);
  EXPECT_EQ(lumora::crypto::OpenProviderContexts(), before);

  Provider provider;
  BYTE a[16] = {}, b[16] = {};
  ASSERT_TRUE(CryptGenRandom(provider.get(), 16, a));
  ASSERT_TRUE(CryptGenRandom(provider.get(), 16, b));
  EXPECT_NE(std::memcmp(a, b, 16), 0);
  lumora::crypto::SetRandomFailure(true);
  EXPECT_FALSE(CryptGenRandom(provider.get(), 16, a));
  lumora::crypto::SetRandomFailure(false);
}

TEST(CryptProviderTest, ReleasedUnknownAndWrongKindHandlesFailCleanly) {
  HCRYPTPROV provider = 0;
  ASSERT_TRUE(CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, 0));
  HCRYPTHASH hash = 0;
  ASSERT_TRUE(CryptCreateHash(provider, CALG_MD5, 0, 0, &hash));
  ASSERT_TRUE(CryptHashData(hash, reinterpret_cast<const BYTE*>("pw"), 2, 0));
  HCRYPTKEY key = 0;
  ASSERT_TRUE(CryptDeriveKey(provider, CALG_RC2, hash, 0, &key));
  const BYTE iv[8] = {};
  BYTE block[16] = {'a', 'b', 'c'};
  DWORD length = 3;

  // Each kind of handle passed where another kind belongs.
  EXPECT_FALSE(CryptSetKeyParam(hash, KP_IV, iv, 0));
  EXPECT_EQ(static_cast<HRESULT>(GetLastError()), NTE_BAD_KEY);
  EXPECT_FALSE(CryptHashData(key, block, 1, 0));
  EXPECT_EQ(static_cast<HRESULT>(GetLastError()), NTE_BAD_HASH);
  EXPECT_FALSE(CryptGenRandom(key, 8, block));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CryptReleaseContext(hash, 0)) << "a hash is no provider";
  EXPECT_FALSE(CryptDestroyKey(provider)) << "a provider is no key";

  ASSERT_TRUE(CryptDestroyKey(key));
  ASSERT_TRUE(CryptDestroyHash(hash));
  // Every use after the end reads nothing that was freed: under the sanitizers a dangling
  // object would be reported here.
  EXPECT_FALSE(CryptEncrypt(key, 0, TRUE, 0, block, &length, sizeof block));
  EXPECT_EQ(static_cast<HRESULT>(GetLastError()), NTE_BAD_KEY);
  EXPECT_EQ(length, 3u) << "a refused call writes nothing";
  EXPECT_FALSE(CryptDecrypt(key, 0, TRUE, 0, block, &length));
  EXPECT_FALSE(CryptSetKeyParam(key, KP_IV, iv, 0));
  EXPECT_FALSE(CryptDestroyKey(key)) << "a key is destroyed once";
  EXPECT_EQ(static_cast<HRESULT>(GetLastError()), NTE_BAD_KEY);
  BYTE digest[16];
  DWORD digestLength = sizeof digest;
  EXPECT_FALSE(CryptGetHashParam(hash, HP_HASHVAL, digest, &digestLength, 0));
  EXPECT_EQ(static_cast<HRESULT>(GetLastError()), NTE_BAD_HASH);
  EXPECT_FALSE(CryptDeriveKey(provider, CALG_RC2, hash, 0, &key));
  EXPECT_EQ(key, 0u);
  EXPECT_FALSE(CryptDestroyHash(hash));

  ASSERT_TRUE(CryptReleaseContext(provider, 0));
  EXPECT_FALSE(CryptReleaseContext(provider, 0)) << "a context is released once";
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CryptGenRandom(provider, 8, block));
  EXPECT_FALSE(CryptCreateHash(provider, CALG_MD5, 0, 0, &hash));
  EXPECT_EQ(hash, 0u);
  for (uintptr_t madeUp : {uintptr_t{0}, uintptr_t{1}, reinterpret_cast<uintptr_t>(&block)}) {
    EXPECT_FALSE(CryptGenRandom(madeUp, 8, block)) << madeUp;
    EXPECT_FALSE(CryptDestroyKey(madeUp)) << madeUp;
  }

  // A new context never takes the value of a released one.
  HCRYPTPROV again = 0;
  ASSERT_TRUE(CryptAcquireContextA(&again, nullptr, nullptr, PROV_RSA_FULL, 0));
  EXPECT_NE(again, provider);
  EXPECT_FALSE(CryptGenRandom(provider, 8, block));
  CryptReleaseContext(again, 0);
}

}  // namespace
