// Value protection over the store context's provider. The RC2 key is derived from the
// database password once and kept (per password text and provider), and a value is
// protected and read back in buffers on the stack: the one allocation is the text
// returned.
#include "value_protection.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

#include "lumora/error.h"
#include "lumora/profile.h"
#include "store_context.h"

namespace lumora {
namespace {

constexpr DWORD kPrefixLength = 16;
constexpr DWORD kEncryptBuffer = 1008;
constexpr DWORD kMaxCiphertext = 4096;
constexpr int kPasswordBuffer = 12;

constexpr char kDigits[] = "0123456789ABCDEF";

// The value of every byte as an upper-case hexadecimal digit; -1 for any other byte.
constexpr std::array<int, 256> kDigitValues = [] {
  std::array<int, 256> values{};
  for (int& value : values) value = -1;
  for (int i = 0; i < 16; ++i) values[static_cast<unsigned char>(kDigits[i])] = i;
  return values;
}();

void WriteHex(const BYTE* bytes, size_t count, char* text) {
  for (size_t i = 0; i < count; ++i) {
    text[2 * i] = kDigits[bytes[i] >> 4];
    text[2 * i + 1] = kDigits[bytes[i] & 0xF];
  }
}

// Decodes an even-length text into text.size() / 2 bytes; false at the first byte that
// is no upper-case digit.
bool ReadHex(std::string_view text, BYTE* bytes) {
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = kDigitValues[static_cast<unsigned char>(text[i])];
    const int low = kDigitValues[static_cast<unsigned char>(text[i + 1])];
    if ((high | low) < 0) return false;
    bytes[i / 2] = static_cast<BYTE>(high << 4 | low);
  }
  return true;
}

// The RC2 key of the database password: MD5 of the password's characters, derived once
// and kept until the password text or the provider handle changes. A key carries its
// IV and chaining state, so one use at a time holds the lock. The key is never destroyed
// at exit: the provider may be gone by then.
class PasswordKey {
 public:
  // Calls use(key, provider) with the key of the present password; false when no key can
  // be had or `use` fails.
  template <class Use>
  bool With(Use&& use) {
    const HCRYPTPROV provider = CryptProvider();
    if (provider == 0) return false;
    char password[kPasswordBuffer] = {};
    if (GetDatabasePassword(password, kPasswordBuffer) < 0) return false;
    std::lock_guard lock(m_mutex);
    const bool same = m_key != 0 && provider == m_provider && std::memcmp(password, m_password, sizeof password) == 0;
    if (!same && !Derive(provider, password)) return false;
    return use(m_key, provider);
  }

 private:
  bool Derive(HCRYPTPROV provider, const char (&password)[kPasswordBuffer]) {
    if (m_key != 0) CryptDestroyKey(m_key);
    m_key = 0;
    std::memset(m_password, 0, sizeof m_password);
    HCRYPTHASH hash = 0;
    if (!CryptCreateHash(provider, CALG_MD5, 0, 0, &hash)) return false;
    HCRYPTKEY key = 0;
    const bool derived = CryptHashData(hash, reinterpret_cast<const BYTE*>(password),
                                       static_cast<DWORD>(strnlen(password, kPasswordBuffer)), 0) &&
                         CryptDeriveKey(provider, CALG_RC2, hash, 0, &key);
    CryptDestroyHash(hash);
    if (!derived) return false;
    m_key = key;
    m_provider = provider;
    std::memcpy(m_password, password, sizeof m_password);
    return true;
  }

  std::mutex m_mutex;
  HCRYPTPROV m_provider = 0;
  char m_password[kPasswordBuffer] = {};
  HCRYPTKEY m_key = 0;
};

PasswordKey& Key() {
  static PasswordKey key;
  return key;
}

// Encrypts the `plainLength` bytes that stand at block + kPrefixLength (room for
// kEncryptBuffer bytes there) and puts a fresh random prefix before them.
bool EncryptBlock(BYTE* block, DWORD plainLength, DWORD* blockLength) {
  if (plainLength >= kEncryptBuffer) return false;
  return Key().With([&](HCRYPTKEY key, HCRYPTPROV provider) {
    DWORD cipherLength = plainLength;
    if (!CryptGenRandom(provider, kPrefixLength, block) || !CryptSetKeyParam(key, KP_IV, block, 0) ||
        !CryptEncrypt(key, 0, TRUE, 0, block + kPrefixLength, &cipherLength, kEncryptBuffer)) {
      return false;
    }
    *blockLength = kPrefixLength + cipherLength;
    return true;
  });
}

// Decrypts a block in place: the plaintext ends up at its start. The block is left as it
// was on failure.
bool DecryptBlock(BYTE* block, DWORD length, DWORD* plainLength) {
  if (length < kPrefixLength || length - kPrefixLength > kMaxCiphertext) return false;
  return Key().With([&](HCRYPTKEY key, HCRYPTPROV) {
    DWORD decrypted = length - kPrefixLength;
    if (!CryptSetKeyParam(key, KP_IV, block, 0) || !CryptDecrypt(key, 0, TRUE, 0, block + kPrefixLength, &decrypted)) {
      return false;
    }
    std::memmove(block, block + kPrefixLength, decrypted);
    *plainLength = decrypted;
    return true;
  });
}

}  // namespace

std::string BytesToHex(const BYTE* bytes, size_t count) {
  std::string text(2 * count, '\0');
  WriteHex(bytes, count, text.data());
  return text;
}

std::optional<std::vector<BYTE>> HexToBytes(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<BYTE> bytes(text.size() / 2 + 1);  // the last one stays the terminating zero
  if (!ReadHex(text, bytes.data())) return std::nullopt;
  return bytes;
}

HRESULT EncryptBytes(const BYTE* data, DWORD length, std::vector<BYTE>* block) {
  if (block == nullptr || (data == nullptr && length > 0) || length >= kEncryptBuffer) return E_FAIL;
  BYTE buffer[kPrefixLength + kEncryptBuffer];
  if (length > 0) std::memcpy(buffer + kPrefixLength, data, length);
  DWORD blockLength = 0;
  if (!EncryptBlock(buffer, length, &blockLength)) return E_FAIL;
  block->assign(buffer, buffer + blockLength);
  return S_OK;
}

HRESULT DecryptBytes(BYTE* block, DWORD length, DWORD* plainLength) {
  if (block == nullptr || plainLength == nullptr) return E_FAIL;
  return DecryptBlock(block, length, plainLength) ? S_OK : E_FAIL;
}

std::string ProtectValue(std::string_view raw) {
  if (raw == kNotSetMarker) return std::string(raw);
  if (raw.size() > kMaxRawValueLength) ThrowHResult(E_INVALIDARG);
  // The raw value's characters and their terminating zero byte, behind the prefix.
  BYTE block[kPrefixLength + kEncryptBuffer];
  std::memcpy(block + kPrefixLength, raw.data(), raw.size());
  block[kPrefixLength + raw.size()] = 0;
  DWORD blockLength = 0;
  if (!EncryptBlock(block, static_cast<DWORD>(raw.size() + 1), &blockLength)) {
    ThrowHResult(eErrorCipherEncryptingFailed);
  }
  std::string stored(2 * static_cast<size_t>(blockLength), '\0');
  WriteHex(block, blockLength, stored.data());
  return stored;
}

std::string UnprotectValue(std::string_view stored) {
  if (stored.empty() || stored == kNotSetMarker) return std::string(stored);
  BYTE block[kPrefixLength + kMaxCiphertext];
  if (stored.size() % 2 != 0 || stored.size() / 2 > sizeof block || !ReadHex(stored, block)) return {};
  DWORD plainLength = 0;
  if (!DecryptBlock(block, static_cast<DWORD>(stored.size() / 2), &plainLength)) return {};
  const auto* text = reinterpret_cast<const char*>(block);
  return std::string(text, strnlen(text, plainLength));
}

bool StoredValueIs(std::string_view stored, std::string_view raw) {
  if (stored.empty() || stored == kNotSetMarker || raw.empty()) return UnprotectValue(stored) == raw;
  // The plaintext is the raw value and its terminating zero byte, then the padding. Its
  // blocks before the last are surely plaintext whatever the padding says, so a byte
  // among them that differs from raw + "\0" tells a different value (a text that ends
  // sooner or goes on longer) without the rest; only a value that may be equal is read
  // whole, which also checks its padding.
  constexpr size_t kBlock = 8;
  const size_t bytes = stored.size() / 2;
  if (stored.size() % 2 != 0 || bytes > kPrefixLength + kMaxCiphertext || bytes < kPrefixLength + 2 * kBlock) {
    return UnprotectValue(stored) == raw;
  }
  const size_t leading = std::min((raw.size() + kBlock) / kBlock, (bytes - kPrefixLength) / kBlock - 1) * kBlock;
  BYTE block[kPrefixLength + kBlock];
  if (!ReadHex(stored.substr(0, 2 * kPrefixLength), block)) return UnprotectValue(stored) == raw;
  bool differs = false;
  const bool read = Key().With([&](HCRYPTKEY key, HCRYPTPROV) {
    if (!CryptSetKeyParam(key, KP_IV, block, 0)) return false;
    BYTE* plain = block + kPrefixLength;
    for (size_t at = 0; at < leading && !differs; at += kBlock) {  // one block at a time, chained
      DWORD length = kBlock;
      if (!ReadHex(stored.substr(2 * (kPrefixLength + at), 2 * kBlock), plain) ||
          !CryptDecrypt(key, 0, FALSE, 0, plain, &length)) {
        return false;
      }
      for (size_t i = at; i < at + kBlock && i <= raw.size(); ++i) {
        differs = differs || plain[i - at] != (i < raw.size() ? static_cast<BYTE>(raw[i]) : 0);
      }
    }
    return true;
  });
  if (read && differs) return false;
  return UnprotectValue(stored) == raw;
}

}  // namespace lumora
