// A reader beside the writers of the reliability proofs: opens the installation's store as
// a profile object does and, on that connection, reads every row of the Main table in
// one statement, values decrypted, over and over until the file STOP exists. Prints "reads: N rows: M" (the last read's
// row count) and exits 0, or prints "error 0x<code>" and exits 1 at the first failure.
//   lumora-store-reader STOP
#include <sqlcipher/sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "store/profile_database.h"
#include "store/store_context.h"
#include "store/value_protection.h"

using namespace lumora;

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string stop = argv[1];
  if (AcquireCryptProvider() != 0) return 1;
  long reads = 0;
  long rows = 0;
  try {
    const HRESULT opened = OpenProfileDatabase();
    if (FAILED(opened)) {
      std::printf("error 0x%08X\n", static_cast<unsigned>(opened));
      return 1;
    }
    sqlite3* db = ProfileDatabase()->Handle();
    while (access(stop.c_str(), F_OK) != 0) {
      sqlite3_stmt* select = nullptr;
      int rc = sqlite3_prepare_v2(db, "SELECT Value FROM Main", -1, &select, nullptr);
      rows = 0;
      if (rc == SQLITE_OK) rc = SQLITE_ROW;
      while (rc == SQLITE_ROW && (rc = sqlite3_step(select)) == SQLITE_ROW) {
        const auto* value = reinterpret_cast<const char*>(sqlite3_column_text(select, 0));
        UnprotectValue(value != nullptr ? value : "");
        ++rows;
      }
      sqlite3_finalize(select);
      if (rc != SQLITE_DONE) {
        std::printf("error engine %d %s\n", rc, sqlite3_errmsg(db));
        return 1;
      }
      ++reads;
    }
  } catch (const CDaoException& e) {
    std::printf("error 0x%08X %s\n", static_cast<unsigned>(e.m_scode), e.what());
    return 1;
  }
  std::printf("reads: %ld rows: %ld\n", reads, rows);
  CloseProfileDatabase();
  ReleaseCryptProvider();
  return 0;
}
