// How the snapshot objects reach the store between calls. A collection copies its rows
// when it is filled and holds no cursor on the database; whatever it must read later
// (a link's source, an array's elements, enumeration labels) it reads through a
// recordset made for that one call, on the profile database as it is then. Apartment-bound.
#ifndef LUMORA_SNAPSHOT_SNAPSHOT_STORE_H_
#define LUMORA_SNAPSHOT_SNAPSHOT_STORE_H_

#include "platform/database/dao_database.h"

namespace lumora {

// The profile database, opened again if it was closed since the collection was made (a
// privileged session may close it; the session that made the collection still holds the
// provider, so it can be). Failures are thrown.
CDaoDatabase* SnapshotDatabase();

}  // namespace lumora

#endif  // LUMORA_SNAPSHOT_SNAPSHOT_STORE_H_
