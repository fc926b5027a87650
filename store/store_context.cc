// The store context and the database password's pieces.
#include "store_context.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "common/process_state.h"
#include "common/settings_client.h"
#include "profile_database.h"
#include "stored_variable.h"

namespace lumora {
namespace {

// Only the first 10 digits of each fixed mask take part in the scrambling.
constexpr const char* kFirstMask = "5A3C96E1F0B74D28";
constexpr const char* kSecondMask = "C3A5E7190B2D4F68";
// Stand-ins when the provider gives no random bytes.
constexpr const char* kFallbackPassword = "7E3D9A1C5B";
constexpr const char* kFallbackMask = "2F8B4D6E1A";

struct StoreContext {
  std::string keptPassword;
  HCRYPTPROV provider = 0;
  long useCount = 0;
};

StoreContext& Context() {
  static StoreContext context;  // guarded by ProcessStateMutex; lives for the process
  return context;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Five random bytes as ten upper-case digits, or the fallback.
std::string RandomDigits(const char* fallback) {
  BYTE bytes[5];
  const HCRYPTPROV provider = Context().provider;
  if (provider == 0 || !CryptGenRandom(provider, sizeof bytes, bytes)) return fallback;
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (BYTE b : bytes) {
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 0xF]);
  }
  return text;
}

// A sound piece: 10 upper-case hexadecimal digits, as StoreDatabasePassword writes them.
bool IsPiece(const std::string& text) {
  return text.size() == 10 && std::all_of(text.begin(), text.end(), [](char c) { return HexValue(c) >= 0; });
}

void CopyOut(const std::string& password, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return;
  const size_t count = std::min(password.size(), static_cast<size_t>(size - 1));
  std::memcpy(buffer, password.data(), count);
  buffer[count] = '\0';
}

}  // namespace

void XorHexDigits(std::string& target, const std::string& other) {
  static const char kDigits[] = "0123456789ABCDEF";
  const size_t n = std::min(target.size(), other.size());
  for (size_t i = 0; i < n; ++i) {
    const int a = HexValue(target[i]);
    const int b = HexValue(other[i]);
    target[i] = a < 0 || b < 0 ? '0' : kDigits[a ^ b];
  }
}

int AcquireCryptProvider() {
  std::lock_guard lock(ProcessStateMutex());
  StoreContext& context = Context();
  if (context.useCount > 0) {
    ++context.useCount;
    return 0;
  }
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, 0)) {
    if (static_cast<HRESULT>(GetLastError()) != NTE_BAD_KEYSET ||
        !CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET)) {
      return -1;
    }
  }
  context.provider = provider;
  context.useCount = 1;
  return 0;
}

int ReleaseCryptProvider() {
  std::lock_guard lock(ProcessStateMutex());
  StoreContext& context = Context();
  if (context.useCount <= 0) return 0;
  if (--context.useCount > 0) return 0;
  if (context.provider != 0) CryptReleaseContext(context.provider, 0);
  context.provider = 0;
  return 0;
}

HCRYPTPROV CryptProvider() {
  std::lock_guard lock(ProcessStateMutex());
  return Context().provider;
}

long CryptProviderUseCount() {
  std::lock_guard lock(ProcessStateMutex());
  return Context().useCount;
}

HRESULT StoreDatabasePassword(const std::string& password, const std::string& mask) {
  std::string scrambledPassword = password;
  XorHexDigits(scrambledPassword, mask);
  XorHexDigits(scrambledPassword, kFirstMask);
  HRESULT hr = WriteSetting(kSettingPasswordPiece, scrambledPassword);
  if (FAILED(hr)) return hr;
  std::string scrambledMask = mask;
  XorHexDigits(scrambledMask, kSecondMask);
  return UStoredVariable("main", 0).SetStringVariable("csum", scrambledMask);
}

PasswordPieces ReadPasswordPieces(std::string* password, HRESULT* failure) {
  std::string setting;
  const HRESULT read = ReadSetting(kSettingPasswordPiece, &setting);
  if (read == HRESULT_FROM_WIN32(ERROR_NOT_FOUND)) return PasswordPieces::kNone;  // never stored
  if (FAILED(read)) {
    if (failure != nullptr) *failure = read;
    return PasswordPieces::kUnreadable;
  }
  if (setting.empty()) return PasswordPieces::kNone;
  std::string mask;
  const HRESULT readMask = UStoredVariable("main", 0).GetStringVariable("csum", mask);
  const HRESULT notFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
  if (FAILED(readMask) && readMask != notFound && readMask != DISP_E_TYPEMISMATCH) {
    if (failure != nullptr) *failure = readMask;
    return PasswordPieces::kUnreadable;
  }
  if (!IsPiece(setting) || !IsPiece(mask)) return PasswordPieces::kDamaged;
  *password = setting;
  XorHexDigits(*password, mask);
  XorHexDigits(*password, kFirstMask);
  XorHexDigits(*password, kSecondMask);
  return PasswordPieces::kFound;
}

int GetDatabasePassword(char* buffer, int size) {
  std::lock_guard lock(ProcessStateMutex());
  std::string& kept = Context().keptPassword;
  if (!kept.empty()) {
    CopyOut(kept, buffer, size);
    return 0;
  }
  std::string password;
  switch (ReadPasswordPieces(&password)) {
    case PasswordPieces::kFound:
      kept = password;
      CopyOut(kept, buffer, size);
      return 0;
    case PasswordPieces::kUnreadable:
      return -1;
    case PasswordPieces::kNone:
    case PasswordPieces::kDamaged:
      break;
  }
  // Nothing sound is stored. Only a file that still opens without a password may get a
  // new one; for a file that has one, the password is lost and stays lost until an
  // administrator recovers the store.
  if (!DatabaseOpensWithoutPassword()) return -1;
  password = RandomDigits(kFallbackPassword);
  if (FAILED(StoreDatabasePassword(password, RandomDigits(kFallbackMask)))) return -1;
  kept = password;
  CopyOut(kept, buffer, size);
  return 1;
}

bool KeptPassword(std::string* password) {
  std::lock_guard lock(ProcessStateMutex());
  *password = Context().keptPassword;
  return !password->empty();
}

void ForgetKeptPassword() {
  std::lock_guard lock(ProcessStateMutex());
  Context().keptPassword.clear();
}

void ForgetKeptPasswordForTests() { ForgetKeptPassword(); }

}  // namespace lumora
