// The process-wide profile database and the first open of an installation.
#include "profile_database.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "common/process_state.h"
#include "common/settings_client.h"
#include "lumora/profile.h"
#include "store_context.h"

namespace lumora {
namespace {

constexpr int kResetPasswordBuffer = 255;

constexpr int kPasswordBuffer = 12;

std::unique_ptr<CDaoDatabase>& Slot() {
  static std::unique_ptr<CDaoDatabase> database;  // guarded by ProcessStateMutex
  return database;
}

FirstOpenHook g_afterPasswordStored = nullptr;

std::string ConnectString(const std::string& password) { return password.empty() ? std::string() : ";pwd=" + password; }

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

// Opens the store's file with `password` and makes sure it is a profile database.
void OpenStore(CDaoDatabase& database, const std::string& path, const std::string& password) {
  database.Open(path, false, false, ConnectString(password));
  try {
    RequireProfileTables(database);
  } catch (const CDaoException&) {
    database.Close();
    throw;
  }
}

bool IsBadPassword(const CDaoException& e) { return e.JetError() == kJetBadPassword; }

// Puts the password on a file that has none and leaves a fresh, closed object in the slot.
void SetFirstPassword(std::unique_ptr<CDaoDatabase>& slot, const std::string& password) {
  ChangeDatabasePassword(slot, "", password);
  slot = std::make_unique<CDaoDatabase>();
}

}  // namespace

FirstOpenLock::FirstOpenLock() {
  const std::string path = GetDatabasePath();
  if (!path.empty()) (void)m_lock.Lock(path + ".first-open", fileio::LockMode::kExclusive);
}

CDaoDatabase* ProfileDatabase() {
  std::lock_guard lock(ProcessStateMutex());
  return Slot().get();
}

void SetAfterPasswordStoredHook(FirstOpenHook hook) {
  std::lock_guard lock(ProcessStateMutex());
  g_afterPasswordStored = hook;
}

void RequireProfileTables(CDaoDatabase& database) {
  std::vector<std::string> names;
  const short count = database.GetTableDefCount();
  for (short i = 0; i < count; ++i) {
    CDaoTableDefInfo info;
    database.GetTableDefInfo(i, info);
    names.push_back(info.m_strName);
  }
  for (const char* table : kProfileTables) {
    if (std::find(names.begin(), names.end(), table) == names.end()) {
      AfxThrowDaoException(kJetNotADatabase, "'" + database.GetName() + "' is damaged: it has no table " + table);
    }
  }
}

DatabaseFileState ProbeDatabaseFile(const std::string& path) {
  CDaoDatabase plain;
  try {
    plain.Open(path, false, true, "");
  } catch (const CDaoException& e) {
    if (IsBadPassword(e)) return DatabaseFileState::kWithPassword;
    throw;
  }
  RequireProfileTables(plain);
  return DatabaseFileState::kWithoutPassword;
}

bool DatabaseOpensWithoutPassword() {
  try {
    return ProbeDatabaseFile(GetDatabasePath()) == DatabaseFileState::kWithoutPassword;
  } catch (const CDaoException&) {
    return false;
  }
}

HRESULT OpenProfileDatabase() {
  std::lock_guard lock(ProcessStateMutex());
  std::unique_ptr<CDaoDatabase>& slot = Slot();
  if (slot && slot->IsOpen()) return S_OK;
  if (!slot) slot = std::make_unique<CDaoDatabase>();
  ProviderReference provider;
  if (!provider.held()) return eErrorCipherInitializingFailed;
  const std::string path = GetDatabasePath();

  // The password kept from an earlier open in this process. The file refuses it only
  // when another process (or a reset here) changed the password since: then it is
  // forgotten, never written onto the file, and the pieces say what holds now.
  std::string password;
  if (KeptPassword(&password)) {
    try {
      OpenStore(*slot, path, password);
      return S_OK;
    } catch (const CDaoException& e) {
      if (!IsBadPassword(e)) throw;
    }
    ForgetKeptPassword();
  }

  // Reading the pieces, making a password and completing an interrupted first open are
  // serialised across processes, so that two first opens cannot make two passwords. A
  // lock that cannot be had (a folder this user may only read) leaves the open to derive
  // the password, which writes nothing; making one would fail to store its pieces.
  FirstOpenLock firstOpen;
  char buffer[kPasswordBuffer] = {};
  const int result = GetDatabasePassword(buffer, kPasswordBuffer);
  if (result < 0) {
    ProbeDatabaseFile(path);  // a missing or damaged file says so with the engine's code
    return eErrorCipherInitializingFailed;
  }
  password = buffer;
  if (result == 1) {
    if (g_afterPasswordStored != nullptr) g_afterPasswordStored();
    SetFirstPassword(slot, password);
  }
  try {
    OpenStore(*slot, path, password);
  } catch (const CDaoException& e) {
    // A first open that died between storing the pieces and setting the password left
    // the file without one: it gets the password the pieces gave in this very open.
    if (!IsBadPassword(e) || result != 0 || !DatabaseOpensWithoutPassword()) throw;
    SetFirstPassword(slot, password);
    OpenStore(*slot, path, password);
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

HRESULT ResetDatabasePassword() {
  std::lock_guard lock(ProcessStateMutex());
  std::string piece;
  const HRESULT read = ReadSetting(kSettingPasswordPiece, &piece);
  if (read == HRESULT_FROM_WIN32(ERROR_NOT_FOUND)) return S_OK;  // never made: nothing to reset
  if (FAILED(read)) return read;
  if (piece.empty()) return S_OK;
  // Taking the password off the file and emptying the piece are one step for every other
  // process: an open in between would derive the old password and put it back.
  FirstOpenLock firstOpen;
  ProviderReference provider;
  if (!provider.held()) return eErrorCipherInitializingFailed;
  char buffer[kResetPasswordBuffer] = {};
  if (GetDatabasePassword(buffer, kResetPasswordBuffer) < 0) return eErrorCipherInitializingFailed;
  ChangeDatabasePassword(Slot(), buffer, "");
  return WriteSetting(kSettingPasswordPiece, "");
}

}  // namespace lumora
