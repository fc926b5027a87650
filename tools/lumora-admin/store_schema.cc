// The profile database's schema. Text columns that filters compare ignore letter case.
#include "store_schema.h"

#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "fileio/atomic_file.h"

namespace lumora::admin {
namespace {

constexpr const char* kSchema = R"sql(
BEGIN;
CREATE TABLE Main (
  Section TEXT COLLATE NOCASE, Key TEXT COLLATE NOCASE, Value TEXT, FieldName TEXT COLLATE NOCASE,
  Privacy INTEGER, Type INTEGER, Volatility INTEGER, IsReadOnly INTEGER, IsLinked INTEGER, LastShared REAL);
CREATE INDEX MainSectionKey ON Main (Section COLLATE NOCASE, Key COLLATE NOCASE);
CREATE TABLE Arrays (uki TEXT COLLATE NOCASE, key TEXT COLLATE NOCASE, value TEXT);
CREATE INDEX ArraysUkiKey ON Arrays (uki COLLATE NOCASE, key COLLATE NOCASE);
CREATE TABLE Certs (Section TEXT COLLATE NOCASE, Usage INTEGER, Cert TEXT COLLATE NOCASE, CertData BLOB);
CREATE INDEX CertsSection ON Certs (Section COLLATE NOCASE);
CREATE INDEX CertsCert ON Certs (Cert COLLATE NOCASE);
CREATE TABLE Enums (Label TEXT COLLATE NOCASE, enumIndex INTEGER, uki TEXT COLLATE NOCASE);
CREATE INDEX EnumsUkiIndex ON Enums (uki COLLATE NOCASE, enumIndex);
CREATE TABLE Scratch (section TEXT COLLATE NOCASE, key TEXT COLLATE NOCASE, value TEXT);
CREATE INDEX ScratchSectionKey ON Scratch (section COLLATE NOCASE, key COLLATE NOCASE);
COMMIT;
)sql";

}  // namespace

bool CreateProfileDatabase(const std::string& path, std::string* error) {
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) {
    *error = "'" + path + "' already exists";
    return false;
  }
  // The schema is built in a file beside the target, which takes the target's name only
  // when complete: an interrupted init leaves no half-made database behind.
  fileio::AtomicFile file;
  if (const int failed = file.Begin(path); failed != 0) {
    *error = std::strerror(failed);
    return false;
  }
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(file.TemporaryPath().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    *error = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close(db);
    return false;
  }
  sqlite3_close(db);
  if (const int failed = file.CommitAsNew(); failed != 0) {
    *error = failed == EEXIST ? "'" + path + "' already exists" : std::strerror(failed);
    return false;
  }
  return true;
}

}  // namespace lumora::admin
