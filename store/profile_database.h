// The profile database: one CDaoDatabase for the whole process, shared by every session
// and recordset, opened on demand with the password kept by the store context, closed
// when the last session ends. Guarded by the process-wide state lock; any thread.
#ifndef LUMORA_STORE_PROFILE_DATABASE_H_
#define LUMORA_STORE_PROFILE_DATABASE_H_

#include <memory>
#include <string>

#include "fileio/file_lock.h"
#include "platform/database/dao_database.h"

namespace lumora {

// The five tables a profile database holds. A file without them is damaged.
inline constexpr const char* kProfileTables[] = {"Main", "Arrays", "Certs", "Enums", "Scratch"};

// S_OK when the profile database is open afterwards (also when it already was);
// eErrorCipherInitializingFailed when the provider or the password cannot be had.
// Database failures (no file, wrong password, file in use, damaged file or one without
// the five tables) are thrown as CDaoException. The first open of an installation makes
// the password, stores its pieces and sets it on the file, serialised across processes;
// an open that finds the pieces stored but the file still without its password
// completes that first open with the password the pieces give.
HRESULT OpenProfileDatabase();
// The shared database object (null while absent). Valid until CloseProfileDatabase.
CDaoDatabase* ProfileDatabase();
// Deletes the database object (closing it) and shuts the engine down; the next
// OpenProfileDatabase starts over.
void CloseProfileDatabase();

// Sets `newPassword` on the file at the database path, which must be opened
// exclusively (so it fails while anyone else has the file open). A database open in
// `slot` is closed first and reopened with the new password afterwards; otherwise the
// slot is left empty. Failures are thrown as CDaoException.
void ChangeDatabasePassword(std::unique_ptr<CDaoDatabase>& slot, const std::string& oldPassword,
                            const std::string& newPassword);

// The super user's password reset: takes the password off the database file and empties
// setting 16, so that the next open anywhere makes a new one (values protected under the
// old password no longer read). Nothing is done when no password was ever made. The file
// must be free of other users (3045 is thrown otherwise); the settings service's creation
// failure is returned. The process's own database, when open, is reopened without one.
HRESULT ResetDatabasePassword();

// Held while it lives: the lock that serialises, across processes, everything that reads
// the password's pieces and changes the file's password to match them. First opens and
// their completion take it; so must a password reset, around taking the password off
// the file AND emptying setting 16, or an open in between could derive the old password
// and put it back onto the file. Waits for the lock; without a database path, or when
// the lock file cannot be opened, it holds nothing.
class FirstOpenLock {
 public:
  FirstOpenLock();
  bool held() const { return m_lock.held(); }

 private:
  fileio::FileLock m_lock;
};

// Throws 3049 (damaged) unless the open `database` holds the five tables.
void RequireProfileTables(CDaoDatabase& database);

// Whether the file at `path` has a password, found by opening it read-only without one;
// nothing is written. A missing file, or a file without a password that is damaged or
// lacks the five tables, throws the engine's CDaoException.
enum class DatabaseFileState { kWithoutPassword, kWithPassword };
DatabaseFileState ProbeDatabaseFile(const std::string& path);
// True when the file at the database path is a sound profile database without a
// password: the one state in which a new password may be made. Never throws.
bool DatabaseOpensWithoutPassword();

// Test seam: called in a first open after the new password's pieces are stored and
// before the file gets the password.
using FirstOpenHook = void (*)();
void SetAfterPasswordStoredHook(FirstOpenHook hook);

}  // namespace lumora

#endif  // LUMORA_STORE_PROFILE_DATABASE_H_
