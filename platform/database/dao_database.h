// CDaoDatabase and CDaoWorkspace over SQLCipher. A database object owns one connection;
// the file password is the SQLCipher key. While open, a database holds the advisory lock
// of the sidecar file "<path>.lock": shared for an ordinary open, exclusive for an
// exclusive one, which therefore fails at once while anyone else has the file open. Only
// under the exclusive lock is the file ever replaced (NewPassword). A database object is
// used by one thread at a time.
#ifndef LUMORA_PLATFORM_DATABASE_DAO_DATABASE_H_
#define LUMORA_PLATFORM_DATABASE_DAO_DATABASE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dao_exception.h"
#include "fileio/file_lock.h"

struct sqlite3;
class CDaoDatabase;
class CDaoRecordset;

// What the database tells of one of its tables.
struct CDaoTableDefInfo {
  std::string m_strName;
};

class CDaoWorkspace {
 public:
  explicit CDaoWorkspace(CDaoDatabase* database) : m_pDatabase(database) {}
  // Starts a write transaction at once (so a batch never has to upgrade a read lock).
  void BeginTrans();
  void CommitTrans();
  bool InTransaction() const { return m_depth > 0; }

 private:
  CDaoDatabase* m_pDatabase;
  int m_depth = 0;
};

class CDaoDatabase {
 public:
  CDaoDatabase();
  virtual ~CDaoDatabase();
  CDaoDatabase(const CDaoDatabase&) = delete;
  CDaoDatabase& operator=(const CDaoDatabase&) = delete;

  // `connect` is empty or ";pwd=<password>". Throws CDaoException: file not found,
  // not a valid password, file already in use (exclusive), not a database, locked.
  void Open(const std::string& path, bool exclusive = false, bool readOnly = false, const std::string& connect = "");
  void Close();
  bool IsOpen() const { return m_db != nullptr; }
  // Sets a new password (either may be empty) on a database opened exclusively with
  // `oldPassword`. The file is rewritten and replaced atomically; the database stays open.
  void NewPassword(const std::string& oldPassword, const std::string& newPassword);
  // Runs statements that take no parameters (administration and tests).
  void Execute(const std::string& sql);
  // The tables of the open database in the order they were made (the engine's own
  // bookkeeping tables are not counted). An index out of range throws.
  short GetTableDefCount();
  void GetTableDefInfo(int nIndex, CDaoTableDefInfo& tabledefinfo);

  const std::string& GetName() const { return m_path; }
  sqlite3* Handle() const;  // throws when closed
  // Counts the connections this database has made: a holder of the connection's state
  // (a read it began) tells by it that the database was closed or opened again since.
  uint64_t Connection() const { return m_connection; }

  // The recordsets open on this database. Closing (or destroying) the database closes
  // them first, as the framework does, so none is left holding the closed connection:
  // they read as closed afterwards and never touch the database again.
  void AttachRecordset(CDaoRecordset* recordset);
  void DetachRecordset(CDaoRecordset* recordset);

  std::unique_ptr<CDaoWorkspace> m_pWorkspace;

 private:
  void Connect(const std::string& password);
  void Disconnect();
  std::vector<std::string> TableNames();

  sqlite3* m_db = nullptr;
  uint64_t m_connection = 0;
  std::vector<CDaoRecordset*> m_recordsets;  // open on this database, not owned
  lumora::fileio::FileLock m_lock;
  std::string m_path;
  std::string m_password;
  bool m_exclusive = false;
  bool m_readOnly = false;
};

// Holds one read of the database for its scope, unless a transaction is open already
// (that transaction's owner ends it): every statement inside sees the same committed
// state, and the engine takes and checks its read lock once for all of them rather than
// once per statement. Nothing may be written inside it. The database must outlive it; a
// database closed (or opened again) within the scope ended the read with its connection,
// and a transaction of the new connection is never ended by it.
class CDaoReadTransaction {
 public:
  // A null database holds nothing.
  explicit CDaoReadTransaction(CDaoDatabase* database);
  ~CDaoReadTransaction();
  CDaoReadTransaction(const CDaoReadTransaction&) = delete;
  CDaoReadTransaction& operator=(const CDaoReadTransaction&) = delete;

 private:
  CDaoDatabase* m_database = nullptr;
  uint64_t m_connection = 0;
};

// Shuts the engine down once no database is in use. Nothing is held process-wide here,
// so it has nothing to release; it exists so that the store's shutdown reads as written.
void AfxDaoTerm();

// Maps an engine result to the matching exception and throws it.
[[noreturn]] void ThrowSqliteError(sqlite3* db, int code, const std::string& context);

#endif  // LUMORA_PLATFORM_DATABASE_DAO_DATABASE_H_
