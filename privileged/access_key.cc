// The access key.
#include "access_key.h"

#include "common/process_state.h"
#include "store/store_context.h"

namespace lumora {
namespace {

// Stands in for a key when the provider gives no random bytes.
constexpr char kFallbackKey[] = "qzvkmw";

std::string& KeptKey() {
  static std::string key;  // guarded by ProcessStateMutex; lives as long as the component
  return key;
}

}  // namespace

std::string MakeAccessKey() {
  std::string key = kFallbackKey;
  if (AcquireCryptProvider() == 0) {
    BYTE bytes[5];
    if (CryptGenRandom(CryptProvider(), sizeof bytes, bytes)) {
      static const char kDigits[] = "0123456789ABCDEF";
      key.clear();
      for (BYTE b : bytes) {
        key.push_back(kDigits[b >> 4]);
        key.push_back(kDigits[b & 0xF]);
      }
    }
    ReleaseCryptProvider();
  }
  ProcessStateLock lock;
  KeptKey() = key;
  return key;
}

bool AccessKeyMatches(std::string_view key) {
  ProcessStateLock lock;
  return !KeptKey().empty() && key == KeptKey();
}

void ForgetAccessKeyForTests() {
  ProcessStateLock lock;
  KeptKey().clear();
}

}  // namespace lumora
