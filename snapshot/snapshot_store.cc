// The snapshot objects' way to the store.
#include "snapshot_store.h"

#include "lumora/error.h"
#include "store/profile_database.h"

namespace lumora {

CDaoDatabase* SnapshotDatabase() {
  if (ProfileDatabase() == nullptr) ThrowIfFailed(OpenProfileDatabase());
  CDaoDatabase* database = ProfileDatabase();
  if (database == nullptr) ThrowHResult(E_UNEXPECTED);
  return database;
}

}  // namespace lumora
