// The empty profile database of a new installation: the five tables and the indexes on
// the columns that lookups use, in a file without a password. Only provisioning makes
// it; the component never creates the file or its tables.
#ifndef LUMORA_TOOLS_LUMORA_ADMIN_STORE_SCHEMA_H_
#define LUMORA_TOOLS_LUMORA_ADMIN_STORE_SCHEMA_H_

#include <string>

#include "store/profile_database.h"

namespace lumora::admin {

// The tables in the order they are made and listed: the ones the store requires.
inline constexpr const auto& kTableNames = kProfileTables;

// Creates the database at `path` (readable and writable by owner and group only), which
// must not exist yet. The file appears whole or not at all. False with *error set on
// failure.
bool CreateProfileDatabase(const std::string& path, std::string* error);

}  // namespace lumora::admin

#endif  // LUMORA_TOOLS_LUMORA_ADMIN_STORE_SCHEMA_H_
