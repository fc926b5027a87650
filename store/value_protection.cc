// Value protection over the store context's provider.
#include "value_protection.h"

#include <cstring>

#include "lumora/error.h"
#include "lumora/profile.h"
#include "store_context.h"

namespace lumora {
namespace {

constexpr DWORD kPrefixLength = 16;
constexpr DWORD kEncryptBuffer = 1008;
constexpr DWORD kMaxCiphertext = 4096;
constexpr int kPasswordBuffer = 12;

// A hash and an RC2 key derived from the database password; both destroyed with it.
class PasswordKey {
 public:
  PasswordKey() {
    const HCRYPTPROV provider = CryptProvider();
    if (provider == 0 || !CryptCreateHash(provider, CALG_MD5, 0, 0, &m_hash)) return;
    char password[kPasswordBuffer] = {};
    if (GetDatabasePassword(password, kPasswordBuffer) < 0) return;
    if (!CryptHashData(m_hash, reinterpret_cast<const BYTE*>(password), static_cast<DWORD>(std::strlen(password)), 0)) {
      return;
    }
    CryptDeriveKey(provider, CALG_RC2, m_hash, 0, &m_key);
  }
  ~PasswordKey() {
    if (m_key != 0) CryptDestroyKey(m_key);
    if (m_hash != 0) CryptDestroyHash(m_hash);
  }
  PasswordKey(const PasswordKey&) = delete;
  PasswordKey& operator=(const PasswordKey&) = delete;
  HCRYPTKEY get() const { return m_key; }

 private:
  HCRYPTHASH m_hash = 0;
  HCRYPTKEY m_key = 0;
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string BytesToHex(const BYTE* bytes, size_t count) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(2 * count);
  for (size_t i = 0; i < count; ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0xF]);
  }
  return text;
}

std::optional<std::vector<BYTE>> HexToBytes(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<BYTE> bytes;
  bytes.reserve(text.size() / 2 + 1);
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = HexValue(text[i]);
    const int low = HexValue(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<BYTE>(high << 4 | low));
  }
  bytes.push_back(0);
  return bytes;
}

HRESULT EncryptBytes(const BYTE* data, DWORD length, std::vector<BYTE>* block) {
  if (block == nullptr || (data == nullptr && length > 0) || length >= kEncryptBuffer) return E_FAIL;
  PasswordKey key;
  if (key.get() == 0) return E_FAIL;
  BYTE prefix[kPrefixLength];
  if (!CryptGenRandom(CryptProvider(), kPrefixLength, prefix) || !CryptSetKeyParam(key.get(), KP_IV, prefix, 0)) {
    return E_FAIL;
  }
  BYTE buffer[kEncryptBuffer] = {};
  if (length > 0) std::memcpy(buffer, data, length);
  DWORD cipherLength = length;
  if (!CryptEncrypt(key.get(), 0, TRUE, 0, buffer, &cipherLength, kEncryptBuffer)) return E_FAIL;
  block->assign(prefix, prefix + kPrefixLength);
  block->insert(block->end(), buffer, buffer + cipherLength);
  return S_OK;
}

HRESULT DecryptBytes(BYTE* block, DWORD length, DWORD* plainLength) {
  if (block == nullptr || plainLength == nullptr || length < kPrefixLength || length - kPrefixLength > kMaxCiphertext) {
    return E_FAIL;
  }
  PasswordKey key;
  if (key.get() == 0 || !CryptSetKeyParam(key.get(), KP_IV, block, 0)) return E_FAIL;
  std::vector<BYTE> cipher(block + kPrefixLength, block + length);
  DWORD decrypted = static_cast<DWORD>(cipher.size());
  if (!CryptDecrypt(key.get(), 0, TRUE, 0, cipher.data(), &decrypted)) return E_FAIL;
  std::memcpy(block, cipher.data(), decrypted);
  *plainLength = decrypted;
  return S_OK;
}

std::string ProtectValue(std::string_view raw) {
  if (raw == kNotSetMarker) return std::string(raw);
  if (raw.size() > kMaxRawValueLength) ThrowHResult(E_INVALIDARG);
  std::vector<BYTE> plain(raw.begin(), raw.end());
  plain.push_back(0);
  std::vector<BYTE> block;
  if (FAILED(EncryptBytes(plain.data(), static_cast<DWORD>(plain.size()), &block))) {
    ThrowHResult(eErrorCipherEncryptingFailed);
  }
  return BytesToHex(block.data(), block.size());
}

std::string UnprotectValue(std::string_view stored) {
  if (stored.empty() || stored == kNotSetMarker) return std::string(stored);
  std::optional<std::vector<BYTE>> bytes = HexToBytes(stored);
  if (!bytes) return {};
  const DWORD length = static_cast<DWORD>(bytes->size() - 1);  // without HexToBytes' terminator
  DWORD plainLength = 0;
  if (FAILED(DecryptBytes(bytes->data(), length, &plainLength))) return {};
  const auto* text = reinterpret_cast<const char*>(bytes->data());
  return std::string(text, strnlen(text, plainLength));
}

}  // namespace lumora
