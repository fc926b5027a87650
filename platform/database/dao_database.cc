// The database connection, its password, the sidecar lock and transactions.
#define SQLITE_HAS_CODEC 1
#include "dao_database.h"
#include "dao_recordset.h"

#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "fileio/atomic_file.h"

namespace {

constexpr int kBusyTimeoutMs = 10000;

// The cipher settings of every encrypted file we open or write, pinned in full so that a
// later engine (whose defaults differ) keeps opening our files, and so that a host that
// changes the engine's process-wide defaults cannot change ours.
struct CipherSetting {
  const char* pragma;
  const char* value;
};
constexpr CipherSetting kPinnedCipher[] = {
    {"cipher_page_size", "1024"},
    {"kdf_iter", "64000"},
    {"cipher_kdf_algorithm", "PBKDF2_HMAC_SHA1"},
    {"cipher_use_hmac", "ON"},
    {"cipher_hmac_algorithm", "HMAC_SHA1"},
};

// The statements that pin every setting on the attached database `schema`.
std::string PinCipherStatements(const std::string& schema) {
  std::string sql;
  for (const CipherSetting& setting : kPinnedCipher) {
    sql += "PRAGMA " + schema + "." + setting.pragma + " = " + setting.value + ";";
  }
  return sql;
}

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

// Runs `sql` and reads the first column of its first row as a number.
int QueryNumber(sqlite3* db, const char* sql, long long* value) {
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW) {
      *value = sqlite3_column_int64(statement, 0);
      rc = SQLITE_OK;
    }
  }
  sqlite3_finalize(statement);
  return rc;
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

CDaoReadTransaction::CDaoReadTransaction(CDaoDatabase* database) {
  sqlite3* db = database != nullptr ? database->Handle() : nullptr;
  if (db != nullptr && sqlite3_get_autocommit(db) != 0 &&
      sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK) {
    m_database = database;
    m_connection = database->Connection();
  }
}

CDaoReadTransaction::~CDaoReadTransaction() {
  // A connection made since (whose handle may even sit at the old one's address) is not
  // this read's: its transaction belongs to its workspace.
  if (m_database == nullptr || !m_database->IsOpen() || m_database->Connection() != m_connection) return;
  sqlite3_exec(m_database->Handle(), "COMMIT", nullptr, nullptr, nullptr);
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

std::vector<std::string> CDaoDatabase::TableNames() {
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(Handle(),
                              "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' "
                              "ESCAPE '\\' ORDER BY rowid",
                              -1, &statement, nullptr);
  std::vector<std::string> names;
  while (rc == SQLITE_OK && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
    names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    rc = SQLITE_OK;
  }
  sqlite3_finalize(statement);
  if (rc != SQLITE_DONE) ThrowSqliteError(m_db, rc, "GetTableDefInfo");
  return names;
}

short CDaoDatabase::GetTableDefCount() { return static_cast<short>(TableNames().size()); }

void CDaoDatabase::GetTableDefInfo(int nIndex, CDaoTableDefInfo& tabledefinfo) {
  const std::vector<std::string> names = TableNames();
  if (nIndex < 0 || static_cast<size_t>(nIndex) >= names.size()) {
    AfxThrowDaoException(kJetUnexpected, "Item not found in this collection");
  }
  tabledefinfo.m_strName = names[static_cast<size_t>(nIndex)];
}

void CDaoDatabase::Open(const std::string& path, bool exclusive, bool readOnly, const std::string& connect) {
  if (IsOpen()) AfxThrowDaoException(kJetUnexpected, "The database is already open");
  const std::string password = PasswordOf(connect);
  struct stat info {};
  if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    AfxThrowDaoException(kJetFileNotFound, "Could not find file '" + path + "'");
  }
  // An exclusive holder (a password change) is brief: an ordinary open waits for it up
  // to the busy timeout; an exclusive open fails at once while anyone else holds it.
  lumora::fileio::FileLock lock;
  const int error =
      lock.Lock(path + ".lock", exclusive ? lumora::fileio::LockMode::kExclusive : lumora::fileio::LockMode::kShared,
                exclusive ? lumora::fileio::FileLock::kNoWait : std::chrono::milliseconds(kBusyTimeoutMs));
  if (error == EWOULDBLOCK) AfxThrowDaoException(kJetFileInUse, "Could not use '" + path + "'; file already in use");
  if (error != 0) {
    AfxThrowDaoException(error == EACCES || error == EPERM || error == EROFS ? kJetReadOnly : kJetUnexpected,
                         "Cannot open the lock file of '" + path + "': " + std::strerror(error));
  }
  m_path = path;
  m_exclusive = exclusive;
  m_readOnly = readOnly;
  Connect(password);
  m_lock = std::move(lock);
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
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, PinCipherStatements("main").c_str(), nullptr, nullptr, nullptr);
  }
  // Reading the schema proves the password: a page that does not decrypt is "not a
  // database". A file without a single table (an empty or truncated file, which the
  // engine takes for a new database under any password) is no database of ours.
  long long tables = 0;
  if (rc == SQLITE_OK) rc = QueryNumber(db, "SELECT count(*) FROM sqlite_master", &tables);
  if (rc == SQLITE_OK && tables == 0) {
    sqlite3_close(db);
    AfxThrowDaoException(kJetNotADatabase, "'" + m_path + "' holds no tables: it is empty or damaged");
  }
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
  ++m_connection;
}

void CDaoDatabase::Disconnect() {
  if (m_db != nullptr) {
    sqlite3_close_v2(m_db);
    m_db = nullptr;
  }
}

void CDaoDatabase::AttachRecordset(CDaoRecordset* recordset) { m_recordsets.push_back(recordset); }

void CDaoDatabase::DetachRecordset(CDaoRecordset* recordset) { std::erase(m_recordsets, recordset); }

void CDaoDatabase::Close() {
  // Each recordset detaches itself as it closes.
  while (!m_recordsets.empty()) m_recordsets.back()->Close();
  Disconnect();
  m_lock.Unlock();
  m_password.clear();
  m_pWorkspace = std::make_unique<CDaoWorkspace>(this);
}

void CDaoDatabase::NewPassword(const std::string& oldPassword, const std::string& newPassword) {
  Handle();
  if (!m_exclusive) AfxThrowDaoException(kJetFileInUse, "A password can be set only on a database opened exclusively");
  if (oldPassword != m_password) AfxThrowDaoException(kJetBadPassword, "Not a valid password");
  // Everything is copied into a new file under the new password, which then replaces the
  // old. The connection may not create files, so the (empty, hence valid) file is made here.
  lumora::fileio::AtomicFile replacement;
  if (const int error = replacement.Begin(m_path); error != 0) {
    AfxThrowDaoException(kJetUnexpected,
                         "NewPassword: cannot create a file beside '" + m_path + "': " + std::strerror(error));
  }
  sqlite3_stmt* attach = nullptr;
  int rc = sqlite3_prepare_v2(m_db, "ATTACH DATABASE ?1 AS rekeyed KEY ?2", -1, &attach, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_bind_text(attach, 1, replacement.TemporaryPath().c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(attach, 2, newPassword.data(), static_cast<int>(newPassword.size()), SQLITE_TRANSIENT);
    rc = sqlite3_step(attach) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(m_db);
  }
  sqlite3_finalize(attach);
  const bool attached = rc == SQLITE_OK;
  if (rc == SQLITE_OK && !newPassword.empty()) {
    rc = sqlite3_exec(m_db, PinCipherStatements("rekeyed").c_str(), nullptr, nullptr, nullptr);
  }
  if (rc == SQLITE_OK) rc = sqlite3_exec(m_db, "SELECT sqlcipher_export('rekeyed')", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    const std::string message = sqlite3_errmsg(m_db);
    if (attached) sqlite3_exec(m_db, "DETACH DATABASE rekeyed", nullptr, nullptr, nullptr);
    AfxThrowDaoException(kJetUnexpected, "NewPassword: " + message);
  }
  sqlite3_exec(m_db, "DETACH DATABASE rekeyed", nullptr, nullptr, nullptr);
  Disconnect();
  // The last connection has folded its log back into the file. A log still there would
  // be applied to the new file: never replace the file then.
  struct stat log {};
  if (stat((m_path + "-wal").c_str(), &log) == 0 && log.st_size > 0) {
    replacement.Abandon();
    Connect(m_password);
    AfxThrowDaoException(kJetFileInUse, "NewPassword: the database log of '" + m_path + "' is still in use");
  }
  ::unlink((m_path + "-wal").c_str());
  ::unlink((m_path + "-shm").c_str());
  if (const int error = replacement.Commit(); error != 0) {
    Connect(m_password);
    AfxThrowDaoException(kJetUnexpected, "NewPassword: cannot replace '" + m_path + "': " + std::strerror(error));
  }
  Connect(newPassword);
  m_password = newPassword;
}

void AfxDaoTerm() {}
