// The database connection, its password, the sidecar lock and transactions.
#define SQLITE_HAS_CODEC 1
#include "dao_database.h"

#include <fcntl.h>
#include <sqlcipher/sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace {

constexpr int kBusyTimeoutMs = 10000;

// The cipher settings are pinned, so that a later engine keeps opening our files.
constexpr const char* kPinnedCipher =
    "PRAGMA kdf_iter = 64000; PRAGMA cipher_page_size = 1024; PRAGMA cipher_use_hmac = ON;"
    "PRAGMA cipher_hmac_algorithm = HMAC_SHA1; PRAGMA cipher_kdf_algorithm = PBKDF2_HMAC_SHA1;";
constexpr const char* kPinnedDefaults =
    "PRAGMA cipher_default_kdf_iter = 64000; PRAGMA cipher_default_page_size = 1024;"
    "PRAGMA cipher_default_use_hmac = ON;";

std::string PasswordOf(const std::string& connect) {
  if (connect.empty()) return {};
  const std::string prefix = ";pwd=";
  if (connect.compare(0, prefix.size(), prefix) != 0) {
    AfxThrowDaoException(kJetUnexpected, "Unrecognised connect string");
  }
  return connect.substr(prefix.size());
}

bool LooksEncrypted(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && info.st_size > 0 && info.st_size % 1024 == 0;
}

void FsyncPath(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

void ThrowSqliteError(sqlite3* db, int code, const std::string& context) {
  const std::string message = context + ": " + (db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code));
  switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      AfxThrowDaoException(kJetLockedByOtherUser, message);
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      AfxThrowDaoException(kJetNotADatabase, message);
    case SQLITE_READONLY:
      AfxThrowDaoException(kJetReadOnly, message);
    case SQLITE_CANTOPEN:
      AfxThrowDaoException(kJetFileNotFound, message);
    default:
      AfxThrowDaoException(kJetUnexpected, message);
  }
}

void CDaoWorkspace::BeginTrans() {
  m_pDatabase->Execute(m_depth == 0 ? "BEGIN IMMEDIATE" : "SAVEPOINT nested" + std::to_string(m_depth));
  ++m_depth;
}

void CDaoWorkspace::CommitTrans() {
  if (m_depth == 0) AfxThrowDaoException(kJetUnexpected, "CommitTrans without BeginTrans");
  --m_depth;
  m_pDatabase->Execute(m_depth == 0 ? "COMMIT" : "RELEASE nested" + std::to_string(m_depth));
}

CDaoDatabase::CDaoDatabase() : m_pWorkspace(std::make_unique<CDaoWorkspace>(this)) {}

CDaoDatabase::~CDaoDatabase() { Close(); }

sqlite3* CDaoDatabase::Handle() const {
  if (m_db == nullptr) AfxThrowDaoException(kJetObjectClosed, "The database is not open");
  return m_db;
}

void CDaoDatabase::Execute(const std::string& sql) {
  const int rc = sqlite3_exec(Handle(), sql.c_str(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) ThrowSqliteError(m_db, rc, "Execute");
}

void CDaoDatabase::Open(const std::string& path, bool exclusive, bool readOnly, const std::string& connect) {
  if (IsOpen()) AfxThrowDaoException(kJetUnexpected, "The database is already open");
  const std::string password = PasswordOf(connect);
  struct stat info {};
  if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    AfxThrowDaoException(kJetFileNotFound, "Could not find file '" + path + "'");
  }
  const int lockFd = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lockFd < 0) AfxThrowDaoException(kJetUnexpected, "Cannot open the lock file of '" + path + "'");
  bool locked = false;
  if (exclusive) {
    locked = ::flock(lockFd, LOCK_EX | LOCK_NB) == 0;
  } else {
    // An exclusive holder (a password change) is brief: wait for it up to the busy timeout.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    while (!(locked = ::flock(lockFd, LOCK_SH | LOCK_NB) == 0) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  if (!locked) {
    ::close(lockFd);
    AfxThrowDaoException(kJetFileInUse, "Could not use '" + path + "'; file already in use");
  }
  m_lockFd = lockFd;
  m_path = path;
  m_exclusive = exclusive;
  m_readOnly = readOnly;
  try {
    Connect(password);
  } catch (...) {
    ::close(m_lockFd);
    m_lockFd = -1;
    throw;
  }
  m_password = password;
}

void CDaoDatabase::Connect(const std::string& password) {
  sqlite3* db = nullptr;
  const int flags = (m_readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_FULLMUTEX;
  int rc = sqlite3_open_v2(m_path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close(db);
    ThrowSqliteError(nullptr, rc, "Open '" + m_path + "'");
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  sqlite3_extended_result_codes(db, 0);
  if (!password.empty()) {
    rc = sqlite3_key_v2(db, "main", password.data(), static_cast<int>(password.size()));
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, kPinnedCipher, nullptr, nullptr, nullptr);
  }
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  // Write-ahead logging: every page read from disk must be decrypted, and only with a
  // log does the page cache stay valid from one transaction to the next.
  if (rc == SQLITE_OK && !m_readOnly) rc = sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
  // ... and it holds the working set of a large profile (32 MB).
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "PRAGMA cache_size = -32768", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    const std::string message = sqlite3_errmsg(db);
    sqlite3_close(db);
    if (rc == SQLITE_NOTADB && (!password.empty() || LooksEncrypted(m_path))) {
      AfxThrowDaoException(kJetBadPassword, "Not a valid password: " + message);
    }
    ThrowSqliteError(nullptr, rc, "Open '" + m_path + "'");
  }
  m_db = db;
}

void CDaoDatabase::Disconnect() {
  if (m_db != nullptr) {
    sqlite3_close_v2(m_db);
    m_db = nullptr;
  }
}

void CDaoDatabase::Close() {
  Disconnect();
  if (m_lockFd >= 0) {
    ::close(m_lockFd);
    m_lockFd = -1;
  }
  m_password.clear();
  m_pWorkspace = std::make_unique<CDaoWorkspace>(this);
}

void CDaoDatabase::NewPassword(const std::string& oldPassword, const std::string& newPassword) {
  Handle();
  if (!m_exclusive) AfxThrowDaoException(kJetFileInUse, "A password can be set only on a database opened exclusively");
  if (oldPassword != m_password) AfxThrowDaoException(kJetBadPassword, "Not a valid password");
  const std::string temporary = m_path + ".rekey";
  ::unlink(temporary.c_str());
  // The connection may not create files, so the (empty, hence valid) new file is made here.
  const int created = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (created < 0) AfxThrowDaoException(kJetUnexpected, "NewPassword: cannot create '" + temporary + "'");
  ::close(created);
  // Everything is copied into a new file under the new password, which then replaces the old.
  sqlite3_stmt* attach = nullptr;
  int rc = sqlite3_exec(m_db, kPinnedDefaults, nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_prepare_v2(m_db, "ATTACH DATABASE ?1 AS rekeyed KEY ?2", -1, &attach, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_bind_text(attach, 1, temporary.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(attach, 2, newPassword.data(), static_cast<int>(newPassword.size()), SQLITE_TRANSIENT);
    rc = sqlite3_step(attach) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(m_db);
  }
  sqlite3_finalize(attach);
  bool attached = rc == SQLITE_OK;
  if (rc == SQLITE_OK && !newPassword.empty()) {
    rc = sqlite3_exec(m_db,
                      "PRAGMA rekeyed.kdf_iter = 64000; PRAGMA rekeyed.cipher_page_size = 1024;"
                      "PRAGMA rekeyed.cipher_use_hmac = ON;",
                      nullptr, nullptr, nullptr);
  }
  if (rc == SQLITE_OK) rc = sqlite3_exec(m_db, "SELECT sqlcipher_export('rekeyed')", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    const std::string message = sqlite3_errmsg(m_db);
    if (attached) sqlite3_exec(m_db, "DETACH DATABASE rekeyed", nullptr, nullptr, nullptr);
    ::unlink(temporary.c_str());
    AfxThrowDaoException(kJetUnexpected, "NewPassword: " + message);
  }
  sqlite3_exec(m_db, "DETACH DATABASE rekeyed", nullptr, nullptr, nullptr);
  Disconnect();
  // The last connection has folded its log back into the file. A log still there would
  // be applied to the new file: never replace the file then.
  struct stat log {};
  if (stat((m_path + "-wal").c_str(), &log) == 0 && log.st_size > 0) {
    ::unlink(temporary.c_str());
    Connect(m_password);
    AfxThrowDaoException(kJetFileInUse, "NewPassword: the database log of '" + m_path + "' is still in use");
  }
  ::unlink((m_path + "-wal").c_str());
  ::unlink((m_path + "-shm").c_str());
  FsyncPath(temporary, O_RDONLY);
  if (::rename(temporary.c_str(), m_path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    Connect(m_password);
    AfxThrowDaoException(kJetUnexpected, "NewPassword: cannot replace '" + m_path + "'");
  }
  FsyncPath(DirectoryOf(m_path), O_RDONLY | O_DIRECTORY);
  Connect(newPassword);
  m_password = newPassword;
}

void AfxDaoTerm() {}
