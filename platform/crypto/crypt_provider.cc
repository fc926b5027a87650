// The provider over nettle (MD5, RC2, CBC) and getrandom.
#include "crypt_provider.h"

#include <nettle/arctwo.h>
#include <nettle/cbc.h>
#include <nettle/md5.h>
#include <sys/random.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

namespace {

std::atomic<HRESULT> g_acquisitionFailure{S_OK};
std::atomic<bool> g_noRandom{false};
std::atomic<long> g_openContexts{0};

constexpr uint32_t kProviderMagic = 0x50524F56;  // "PROV"
constexpr uint32_t kHashMagic = 0x48415348;      // "HASH"
constexpr uint32_t kKeyMagic = 0x4B455920;       // "KEY "

struct Provider {
  uint32_t magic = kProviderMagic;
};

struct Hash {
  uint32_t magic = kHashMagic;
  md5_ctx context;
  bool finished = false;
  uint8_t digest[MD5_DIGEST_SIZE];
};

struct Key {
  uint32_t magic = kKeyMagic;
  arctwo_ctx context;
  std::vector<uint8_t> material;
  uint8_t iv[ARCTWO_BLOCK_SIZE] = {};
  uint8_t chain[ARCTWO_BLOCK_SIZE] = {};  // carries CBC state between non-final calls
};

template <class T>
T* From(uintptr_t handle, uint32_t magic) {
  auto* object = reinterpret_cast<T*>(handle);  // NOLINT(performance-no-int-to-ptr): handles are addresses
  return object != nullptr && object->magic == magic ? object : nullptr;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

BOOL FailWith(HRESULT code) { return Fail(static_cast<DWORD>(code)); }

// Ends a handle's object; the cleared magic makes a second use an invalid handle.
template <class T>
BOOL Destroy(uintptr_t handle, uint32_t magic) {
  T* object = From<T>(handle, magic);
  if (object == nullptr) return Fail(ERROR_INVALID_HANDLE);
  object->magic = 0;
  delete object;
  return TRUE;
}

const uint8_t* Digest(Hash* hash) {
  if (!hash->finished) {
    md5_digest(&hash->context, MD5_DIGEST_SIZE, hash->digest);
    hash->finished = true;
  }
  return hash->digest;
}

}  // namespace

BOOL CryptAcquireContextA(HCRYPTPROV* phProv, const char* /*container*/, const char* /*provider*/, DWORD provType,
                          DWORD flags) {
  if (phProv == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  *phProv = 0;
  const HRESULT failure = g_acquisitionFailure.load();
  if (failure != S_OK && !(failure == NTE_BAD_KEYSET && (flags & CRYPT_NEWKEYSET) != 0)) return FailWith(failure);
  if (provType != PROV_RSA_FULL) return FailWith(NTE_FAIL);
  auto* provider = new (std::nothrow) Provider;
  if (provider == nullptr) return Fail(static_cast<DWORD>(E_OUTOFMEMORY));
  ++g_openContexts;
  *phProv = reinterpret_cast<HCRYPTPROV>(provider);
  return TRUE;
}

BOOL CryptReleaseContext(HCRYPTPROV hProv, DWORD /*flags*/) {
  Provider* provider = From<Provider>(hProv, kProviderMagic);
  if (provider == nullptr) return Fail(ERROR_INVALID_HANDLE);
  provider->magic = 0;
  delete provider;
  --g_openContexts;
  return TRUE;
}

BOOL CryptGenRandom(HCRYPTPROV hProv, DWORD length, BYTE* buffer) {
  if (From<Provider>(hProv, kProviderMagic) == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (buffer == nullptr && length > 0) return Fail(ERROR_INVALID_PARAMETER);
  if (g_noRandom.load()) return FailWith(NTE_FAIL);
  size_t done = 0;
  while (done < length) {
    const ssize_t n = getrandom(buffer + done, length - done, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return FailWith(NTE_FAIL);
    }
    done += static_cast<size_t>(n);
  }
  return TRUE;
}

BOOL CryptCreateHash(HCRYPTPROV hProv, ALG_ID algid, HCRYPTKEY hKey, DWORD /*flags*/, HCRYPTHASH* phHash) {
  if (phHash == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  *phHash = 0;
  if (From<Provider>(hProv, kProviderMagic) == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (algid != CALG_MD5 || hKey != 0) return FailWith(NTE_BAD_ALGID);
  auto* hash = new (std::nothrow) Hash;
  if (hash == nullptr) return Fail(static_cast<DWORD>(E_OUTOFMEMORY));
  md5_init(&hash->context);
  *phHash = reinterpret_cast<HCRYPTHASH>(hash);
  return TRUE;
}

BOOL CryptHashData(HCRYPTHASH hHash, const BYTE* data, DWORD length, DWORD /*flags*/) {
  Hash* hash = From<Hash>(hHash, kHashMagic);
  if (hash == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (hash->finished) return FailWith(NTE_BAD_HASH);  // a finished hash takes no more data
  if (data == nullptr && length > 0) return Fail(ERROR_INVALID_PARAMETER);
  md5_update(&hash->context, length, data);
  return TRUE;
}

BOOL CryptGetHashParam(HCRYPTHASH hHash, DWORD param, BYTE* data, DWORD* length, DWORD /*flags*/) {
  Hash* hash = From<Hash>(hHash, kHashMagic);
  if (hash == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (length == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (param == HP_HASHSIZE) {
    if (data == nullptr || *length < sizeof(DWORD)) {
      *length = sizeof(DWORD);
      return Fail(ERROR_MORE_DATA);
    }
    const DWORD size = MD5_DIGEST_SIZE;
    std::memcpy(data, &size, sizeof size);
    *length = sizeof size;
    return TRUE;
  }
  if (param != HP_HASHVAL) return FailWith(NTE_BAD_DATA);
  if (data == nullptr || *length < MD5_DIGEST_SIZE) {
    *length = MD5_DIGEST_SIZE;
    return Fail(ERROR_MORE_DATA);
  }
  std::memcpy(data, Digest(hash), MD5_DIGEST_SIZE);
  *length = MD5_DIGEST_SIZE;
  return TRUE;
}

BOOL CryptDestroyHash(HCRYPTHASH hHash) { return Destroy<Hash>(hHash, kHashMagic); }

BOOL CryptDeriveKey(HCRYPTPROV hProv, ALG_ID algid, HCRYPTHASH hBaseData, DWORD /*flags*/, HCRYPTKEY* phKey) {
  if (phKey == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  *phKey = 0;
  if (From<Provider>(hProv, kProviderMagic) == nullptr) return Fail(ERROR_INVALID_HANDLE);
  Hash* hash = From<Hash>(hBaseData, kHashMagic);
  if (hash == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (algid != CALG_RC2) return FailWith(NTE_BAD_ALGID);
  auto* key = new (std::nothrow) Key;
  if (key == nullptr) return Fail(static_cast<DWORD>(E_OUTOFMEMORY));
  key->material.assign(Digest(hash), Digest(hash) + MD5_DIGEST_SIZE);
  arctwo_set_key_ekb(&key->context, key->material.size(), key->material.data(), 128);
  *phKey = reinterpret_cast<HCRYPTKEY>(key);
  return TRUE;
}

BOOL CryptImportKey(HCRYPTPROV hProv, const BYTE* data, DWORD length, HCRYPTKEY hPubKey, DWORD /*flags*/,
                    HCRYPTKEY* phKey) {
  if (phKey == nullptr || data == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  *phKey = 0;
  if (From<Provider>(hProv, kProviderMagic) == nullptr) return Fail(ERROR_INVALID_HANDLE);
  constexpr DWORD kHeader = 8 + sizeof(DWORD);
  if (hPubKey != 0 || length < kHeader || data[0] != PLAINTEXTKEYBLOB || data[1] != 2) return FailWith(NTE_BAD_DATA);
  ALG_ID algid = 0;
  DWORD keyLength = 0;
  std::memcpy(&algid, data + 4, sizeof algid);
  std::memcpy(&keyLength, data + 8, sizeof keyLength);
  if (algid != CALG_RC2) return FailWith(NTE_BAD_ALGID);
  if (keyLength == 0 || keyLength > ARCTWO_MAX_KEY_SIZE || length != kHeader + keyLength) return FailWith(NTE_BAD_DATA);
  auto* key = new (std::nothrow) Key;
  if (key == nullptr) return Fail(static_cast<DWORD>(E_OUTOFMEMORY));
  key->material.assign(data + kHeader, data + kHeader + keyLength);
  arctwo_set_key_ekb(&key->context, key->material.size(), key->material.data(), 128);
  *phKey = reinterpret_cast<HCRYPTKEY>(key);
  return TRUE;
}

BOOL CryptSetKeyParam(HCRYPTKEY hKey, DWORD param, const BYTE* data, DWORD /*flags*/) {
  Key* key = From<Key>(hKey, kKeyMagic);
  if (key == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (data == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (param == KP_EFFECTIVE_KEYLEN) {
    DWORD bits = 0;
    std::memcpy(&bits, data, sizeof bits);
    if (bits == 0 || bits > 1024) return FailWith(NTE_BAD_DATA);
    arctwo_set_key_ekb(&key->context, key->material.size(), key->material.data(), bits);
    return TRUE;
  }
  if (param != KP_IV) return Fail(ERROR_INVALID_PARAMETER);
  std::memcpy(key->iv, data, ARCTWO_BLOCK_SIZE);
  std::memcpy(key->chain, data, ARCTWO_BLOCK_SIZE);
  return TRUE;
}

BOOL CryptEncrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL final, DWORD /*flags*/, BYTE* data, DWORD* length,
                  DWORD bufferLength) {
  Key* key = From<Key>(hKey, kKeyMagic);
  if (key == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (hHash != 0 || length == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  const DWORD plain = *length;
  if (!final && plain % ARCTWO_BLOCK_SIZE != 0) return FailWith(NTE_BAD_LEN);
  const DWORD padded = final ? (plain / ARCTWO_BLOCK_SIZE + 1) * ARCTWO_BLOCK_SIZE : plain;
  if (data == nullptr || bufferLength < padded) {
    *length = padded;
    return Fail(ERROR_MORE_DATA);
  }
  const auto pad = static_cast<BYTE>(padded - plain);
  std::memset(data + plain, pad, padded - plain);
  cbc_encrypt(&key->context, reinterpret_cast<nettle_cipher_func*>(&arctwo_encrypt), ARCTWO_BLOCK_SIZE, key->chain,
              padded, data, data);
  if (final) std::memcpy(key->chain, key->iv, ARCTWO_BLOCK_SIZE);  // the next message starts afresh
  *length = padded;
  return TRUE;
}

BOOL CryptDecrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL final, DWORD /*flags*/, BYTE* data, DWORD* length) {
  Key* key = From<Key>(hKey, kKeyMagic);
  if (key == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (hHash != 0 || length == nullptr || (data == nullptr && *length > 0)) return Fail(ERROR_INVALID_PARAMETER);
  const DWORD cipher = *length;
  if (cipher % ARCTWO_BLOCK_SIZE != 0 || (final && cipher == 0)) return FailWith(NTE_BAD_DATA);
  std::vector<BYTE> plain(cipher);
  uint8_t chain[ARCTWO_BLOCK_SIZE];
  std::memcpy(chain, key->chain, sizeof chain);
  cbc_decrypt(&key->context, reinterpret_cast<nettle_cipher_func*>(&arctwo_decrypt), ARCTWO_BLOCK_SIZE, chain, cipher,
              plain.data(), data);
  DWORD result = cipher;
  if (final) {
    const BYTE pad = plain[cipher - 1];
    if (pad == 0 || pad > ARCTWO_BLOCK_SIZE) return FailWith(NTE_BAD_DATA);
    for (DWORD i = cipher - pad; i < cipher; ++i) {
      if (plain[i] != pad) return FailWith(NTE_BAD_DATA);
    }
    result = cipher - pad;
    std::memcpy(key->chain, key->iv, ARCTWO_BLOCK_SIZE);
  } else {
    std::memcpy(key->chain, chain, sizeof chain);
  }
  std::memcpy(data, plain.data(), result);
  *length = result;
  return TRUE;
}

BOOL CryptDestroyKey(HCRYPTKEY hKey) { return Destroy<Key>(hKey, kKeyMagic); }

namespace lumora::crypto {

void SetAcquisitionFailure(HRESULT failure) { g_acquisitionFailure = failure; }
void SetRandomFailure(bool noRandom) { g_noRandom = noRandom; }
long OpenProviderContexts() { return g_openContexts.load(); }

}  // namespace lumora::crypto
