// The provider over nettle (MD5, RC2, CBC) and getrandom. Every provider context, hash and
// key lives in one table under its handle; a call looks its handle up there first, so a
// released, destroyed, unknown or wrong-kind handle fails cleanly instead of reading
// freed memory. Handles count up and are never given out twice.
#include "crypt_provider.h"

#include <nettle/arctwo.h>
#include <nettle/cbc.h>
#include <nettle/md5.h>
#include <sys/random.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <type_traits>
#include <unordered_map>

namespace {

std::atomic<HRESULT> g_acquisitionFailure{S_OK};
std::atomic<bool> g_noRandom{false};

struct Provider {};

struct Hash {
  md5_ctx context;
  bool finished = false;
  uint8_t digest[MD5_DIGEST_SIZE];
};

struct Key {
  arctwo_ctx context;
  uint8_t material[ARCTWO_MAX_KEY_SIZE];
  size_t materialLength = 0;
  uint8_t iv[ARCTWO_BLOCK_SIZE] = {};
  uint8_t chain[ARCTWO_BLOCK_SIZE] = {};  // carries CBC state between non-final calls
};

// The live objects. A lookup hands out shared ownership, so an object destroyed by one
// thread while another still uses it is freed only when that use ends.
class HandleTable {
 public:
  template <class T>
  uintptr_t Add(std::shared_ptr<T> object) {
    std::lock_guard lock(m_mutex);
    const uintptr_t handle = m_next++;
    m_live.emplace(handle, Entry{KindOf<T>(), std::move(object)});
    return handle;
  }
  // The object behind `handle`, or null when the handle is not a live one of type T.
  template <class T>
  std::shared_ptr<T> Find(uintptr_t handle) {
    std::lock_guard lock(m_mutex);
    const auto found = m_live.find(handle);
    if (found == m_live.end() || found->second.kind != KindOf<T>()) return nullptr;
    return std::static_pointer_cast<T>(found->second.object);
  }
  template <class T>
  bool Remove(uintptr_t handle) {
    std::shared_ptr<void> object;  // freed after the lock is given back
    std::lock_guard lock(m_mutex);
    const auto found = m_live.find(handle);
    if (found == m_live.end() || found->second.kind != KindOf<T>()) return false;
    object = std::move(found->second.object);
    m_live.erase(found);
    return true;
  }
  long Count(int kind) {
    std::lock_guard lock(m_mutex);
    long count = 0;
    for (const auto& [handle, entry] : m_live) count += entry.kind == kind ? 1 : 0;
    return count;
  }

  template <class T>
  static constexpr int KindOf() {
    if constexpr (std::is_same_v<T, Provider>) {
      return 1;
    } else if constexpr (std::is_same_v<T, Hash>) {
      return 2;
    } else {
      static_assert(std::is_same_v<T, Key>);
      return 3;
    }
  }

 private:
  struct Entry {
    int kind;
    std::shared_ptr<void> object;
  };
  std::mutex m_mutex;
  uintptr_t m_next = 0x10000;  // far from small integers a caller might confuse with handles
  std::unordered_map<uintptr_t, Entry> m_live;
};

HandleTable& Handles() {
  static HandleTable table;  // made before the first handle, so it outlives every holder of one
  return table;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

BOOL FailWith(HRESULT code) { return Fail(static_cast<DWORD>(code)); }

// The failure each kind of handle reports when it is not a live one.
template <class T>
BOOL BadHandle() {
  if constexpr (std::is_same_v<T, Hash>) {
    return FailWith(NTE_BAD_HASH);
  } else if constexpr (std::is_same_v<T, Key>) {
    return FailWith(NTE_BAD_KEY);
  } else {
    return Fail(ERROR_INVALID_HANDLE);
  }
}

template <class T>
BOOL Hand(std::shared_ptr<T> object, uintptr_t* handle) {
  if (!object) return Fail(static_cast<DWORD>(E_OUTOFMEMORY));
  *handle = Handles().Add(std::move(object));
  return TRUE;
}

template <class T>
std::shared_ptr<T> New() {
  try {
    return std::make_shared<T>();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

template <class T>
BOOL Destroy(uintptr_t handle) {
  return Handles().Remove<T>(handle) ? TRUE : BadHandle<T>();
}

const uint8_t* Digest(Hash* hash) {
  if (!hash->finished) {
    md5_digest(&hash->context, MD5_DIGEST_SIZE, hash->digest);
    hash->finished = true;
  }
  return hash->digest;
}

void SetMaterial(Key* key, const uint8_t* material, size_t length) {
  std::memcpy(key->material, material, length);
  key->materialLength = length;
  arctwo_set_key_ekb(&key->context, length, material, 128);
}

}  // namespace

BOOL CryptAcquireContextA(HCRYPTPROV* phProv, const char* /*container*/, const char* /*provider*/, DWORD provType,
                          DWORD flags) {
  if (phProv == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  *phProv = 0;
  const HRESULT failure = g_acquisitionFailure.load();
  if (failure != S_OK && !(failure == NTE_BAD_KEYSET && (flags & CRYPT_NEWKEYSET) != 0)) return FailWith(failure);
  if (provType != PROV_RSA_FULL) return FailWith(NTE_FAIL);
  return Hand(New<Provider>(), phProv);
}

BOOL CryptReleaseContext(HCRYPTPROV hProv, DWORD /*flags*/) { return Destroy<Provider>(hProv); }

BOOL CryptGenRandom(HCRYPTPROV hProv, DWORD length, BYTE* buffer) {
  if (!Handles().Find<Provider>(hProv)) return BadHandle<Provider>();
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
  if (!Handles().Find<Provider>(hProv)) return BadHandle<Provider>();
  if (algid != CALG_MD5 || hKey != 0) return FailWith(NTE_BAD_ALGID);
  std::shared_ptr<Hash> hash = New<Hash>();
  if (hash) md5_init(&hash->context);
  return Hand(std::move(hash), phHash);
}

BOOL CryptHashData(HCRYPTHASH hHash, const BYTE* data, DWORD length, DWORD /*flags*/) {
  const std::shared_ptr<Hash> hash = Handles().Find<Hash>(hHash);
  if (!hash) return BadHandle<Hash>();
  if (hash->finished) return FailWith(NTE_BAD_HASH);  // a finished hash takes no more data
  if (data == nullptr && length > 0) return Fail(ERROR_INVALID_PARAMETER);
  md5_update(&hash->context, length, data);
  return TRUE;
}

BOOL CryptGetHashParam(HCRYPTHASH hHash, DWORD param, BYTE* data, DWORD* length, DWORD /*flags*/) {
  const std::shared_ptr<Hash> hash = Handles().Find<Hash>(hHash);
  if (!hash) return BadHandle<Hash>();
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
  std::memcpy(data, Digest(hash.get()), MD5_DIGEST_SIZE);
  *length = MD5_DIGEST_SIZE;
  return TRUE;
}

BOOL CryptDestroyHash(HCRYPTHASH hHash) { return Destroy<Hash>(hHash); }

BOOL CryptDeriveKey(HCRYPTPROV hProv, ALG_ID algid, HCRYPTHASH hBaseData, DWORD /*flags*/, HCRYPTKEY* phKey) {
  if (phKey == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  *phKey = 0;
  if (!Handles().Find<Provider>(hProv)) return BadHandle<Provider>();
  const std::shared_ptr<Hash> hash = Handles().Find<Hash>(hBaseData);
  if (!hash) return BadHandle<Hash>();
  if (algid != CALG_RC2) return FailWith(NTE_BAD_ALGID);
  std::shared_ptr<Key> key = New<Key>();
  if (key) SetMaterial(key.get(), Digest(hash.get()), MD5_DIGEST_SIZE);
  return Hand(std::move(key), phKey);
}

BOOL CryptImportKey(HCRYPTPROV hProv, const BYTE* data, DWORD length, HCRYPTKEY hPubKey, DWORD /*flags*/,
                    HCRYPTKEY* phKey) {
  if (phKey == nullptr || data == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  *phKey = 0;
  if (!Handles().Find<Provider>(hProv)) return BadHandle<Provider>();
  constexpr DWORD kHeader = 8 + sizeof(DWORD);
  if (hPubKey != 0 || length < kHeader || data[0] != PLAINTEXTKEYBLOB || data[1] != 2) return FailWith(NTE_BAD_DATA);
  ALG_ID algid = 0;
  DWORD keyLength = 0;
  std::memcpy(&algid, data + 4, sizeof algid);
  std::memcpy(&keyLength, data + 8, sizeof keyLength);
  if (algid != CALG_RC2) return FailWith(NTE_BAD_ALGID);
  if (keyLength == 0 || keyLength > ARCTWO_MAX_KEY_SIZE || length != kHeader + keyLength) return FailWith(NTE_BAD_DATA);
  std::shared_ptr<Key> key = New<Key>();
  if (key) SetMaterial(key.get(), data + kHeader, keyLength);
  return Hand(std::move(key), phKey);
}

BOOL CryptSetKeyParam(HCRYPTKEY hKey, DWORD param, const BYTE* data, DWORD /*flags*/) {
  const std::shared_ptr<Key> key = Handles().Find<Key>(hKey);
  if (!key) return BadHandle<Key>();
  if (data == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (param == KP_EFFECTIVE_KEYLEN) {
    DWORD bits = 0;
    std::memcpy(&bits, data, sizeof bits);
    if (bits == 0 || bits > 1024) return FailWith(NTE_BAD_DATA);
    arctwo_set_key_ekb(&key->context, key->materialLength, key->material, bits);
    return TRUE;
  }
  if (param != KP_IV) return Fail(ERROR_INVALID_PARAMETER);
  std::memcpy(key->iv, data, ARCTWO_BLOCK_SIZE);
  std::memcpy(key->chain, data, ARCTWO_BLOCK_SIZE);
  return TRUE;
}

BOOL CryptEncrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL final, DWORD /*flags*/, BYTE* data, DWORD* length,
                  DWORD bufferLength) {
  const std::shared_ptr<Key> key = Handles().Find<Key>(hKey);
  if (!key) return BadHandle<Key>();
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
  const std::shared_ptr<Key> key = Handles().Find<Key>(hKey);
  if (!key) return BadHandle<Key>();
  if (hHash != 0 || length == nullptr || (data == nullptr && *length > 0)) return Fail(ERROR_INVALID_PARAMETER);
  const DWORD cipher = *length;
  if (cipher % ARCTWO_BLOCK_SIZE != 0 || (final && cipher == 0)) return FailWith(NTE_BAD_DATA);
  DWORD result = cipher;
  if (final) {
    // The padding is checked on the last block alone, before anything is written: a
    // refused ciphertext leaves the buffer as it was.
    const uint8_t* previous = cipher > ARCTWO_BLOCK_SIZE ? data + (cipher - 2 * ARCTWO_BLOCK_SIZE) : key->chain;
    uint8_t last[ARCTWO_BLOCK_SIZE];
    arctwo_decrypt(&key->context, ARCTWO_BLOCK_SIZE, last, data + cipher - ARCTWO_BLOCK_SIZE);
    for (size_t i = 0; i < ARCTWO_BLOCK_SIZE; ++i) last[i] ^= previous[i];
    const BYTE pad = last[ARCTWO_BLOCK_SIZE - 1];
    if (pad == 0 || pad > ARCTWO_BLOCK_SIZE) return FailWith(NTE_BAD_DATA);
    for (size_t i = ARCTWO_BLOCK_SIZE - pad; i < ARCTWO_BLOCK_SIZE; ++i) {
      if (last[i] != pad) return FailWith(NTE_BAD_DATA);
    }
    result = cipher - pad;
  }
  cbc_decrypt(&key->context, reinterpret_cast<nettle_cipher_func*>(&arctwo_decrypt), ARCTWO_BLOCK_SIZE, key->chain,
              cipher, data, data);
  if (final) std::memcpy(key->chain, key->iv, ARCTWO_BLOCK_SIZE);
  *length = result;
  return TRUE;
}

BOOL CryptDestroyKey(HCRYPTKEY hKey) { return Destroy<Key>(hKey); }

namespace lumora::crypto {

void SetAcquisitionFailure(HRESULT failure) { g_acquisitionFailure = failure; }
void SetRandomFailure(bool noRandom) { g_noRandom = noRandom; }
long OpenProviderContexts() { return Handles().Count(HandleTable::KindOf<Provider>()); }

}  // namespace lumora::crypto
