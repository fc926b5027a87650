// The process-wide profile database and the first open of an installation.
#include "profile_database.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "lumora/profile.h"
#include "common/process_state.h"
#include "common/settings_client.h"
#include "store_context.h"

namespace lumora {
namespace {

constexpr int kPasswordBuffer = 12;

std::unique_ptr<CDaoDatabase>& Slot() {
  static std::unique_ptr<CDaoDatabase> database;  // guarded by ProcessStateMutex
  return database;
}

FirstOpenHook g_afterPasswordStored = nullptr;

std::string ConnectString(const std::string& password) { return password.empty() ? std::string() : ";pwd=" + password; }

// Serialises first opens of one database across processes while it lives.
class FirstOpenLock {
 public:
  explicit FirstOpenLock(const std::string& databasePath) {
    if (databasePath.empty()) return;
    m_fd = ::open((databasePath + ".first-open").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd >= 0) {
      while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~FirstOpenLock() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FirstOpenLock(const FirstOpenLock&) = delete;
  FirstOpenLock& operator=(const FirstOpenLock&) = delete;

 private:
  int m_fd = -1;
};

// Holds one provider reference for its lifetime.
class ProviderReference {
 public:
  ProviderReference() : m_held(AcquireCryptProvider() == 0) {}
  ~ProviderReference() {
    if (m_held) ReleaseCryptProvider();
  }
  ProviderReference(const ProviderReference&) = delete;
  ProviderReference& operator=(const ProviderReference&) = delete;
  bool held() const { return m_held; }

 private:
  bool m_held;
};

// Gets the password; a new one is set on the file before anyone can use it.
HRESULT ObtainPassword(std::unique_ptr<CDaoDatabase>& slot, std::string* password) {
  ProviderReference provider;
  if (!provider.held()) return eErrorCipherInitializingFailed;
  FirstOpenLock lock(GetDatabasePath());
  char buffer[kPasswordBuffer] = {};
  const int result = GetDatabasePassword(buffer, kPasswordBuffer);
  if (result < 0) return eErrorCipherInitializingFailed;
  *password = buffer;
  if (result == 1) {
    if (g_afterPasswordStored != nullptr) g_afterPasswordStored();
    ChangeDatabasePassword(slot, "", *password);
    slot = std::make_unique<CDaoDatabase>();
  }
  return S_OK;
}

// After a first open that died between storing the pieces and setting the password, the
// file still opens without one: give it the password now.
bool CompleteInterruptedFirstOpen(const std::string& password) {
  const std::string path = GetDatabasePath();
  FirstOpenLock lock(path);
  try {
    CDaoDatabase plain;
    plain.Open(path, true, false, "");
    plain.NewPassword("", password);
    return true;
  } catch (const CDaoException&) {
    return false;
  }
}

}  // namespace

CDaoDatabase* ProfileDatabase() {
  std::lock_guard lock(ProcessStateMutex());
  return Slot().get();
}

void SetAfterPasswordStoredHook(FirstOpenHook hook) {
  std::lock_guard lock(ProcessStateMutex());
  g_afterPasswordStored = hook;
}

HRESULT OpenProfileDatabase() {
  std::lock_guard lock(ProcessStateMutex());
  std::unique_ptr<CDaoDatabase>& slot = Slot();
  if (slot && slot->IsOpen()) return S_OK;
  if (!slot) slot = std::make_unique<CDaoDatabase>();
  std::string password;
  const HRESULT hr = ObtainPassword(slot, &password);
  if (FAILED(hr)) return hr;
  try {
    slot->Open(GetDatabasePath(), false, false, ConnectString(password));
  } catch (const CDaoException& e) {
    if (e.JetError() != kJetBadPassword || password.empty() || !CompleteInterruptedFirstOpen(password)) throw;
    slot->Open(GetDatabasePath(), false, false, ConnectString(password));
  }
  return S_OK;
}

void CloseProfileDatabase() {
  std::lock_guard lock(ProcessStateMutex());
  Slot().reset();
  AfxDaoTerm();
}

void ChangeDatabasePassword(std::unique_ptr<CDaoDatabase>& slot, const std::string& oldPassword,
                            const std::string& newPassword) {
  std::lock_guard lock(ProcessStateMutex());
  const bool wasOpen = slot && slot->IsOpen();
  if (wasOpen) slot = std::make_unique<CDaoDatabase>();
  {
    CDaoDatabase exclusive;
    exclusive.Open(GetDatabasePath(), true, false, ConnectString(oldPassword));
    exclusive.NewPassword(oldPassword, newPassword);
  }
  slot.reset();
  if (wasOpen) {
    slot = std::make_unique<CDaoDatabase>();
    slot->Open(GetDatabasePath(), false, false, ConnectString(newPassword));
  }
}

}  // namespace lumora
