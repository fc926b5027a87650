// The empty profile database of a new installation: the five tables and the indexes on
// the columns that lookups use, in a file without a password. Only provisioning makes
// it; the component never creates the file or its tables.
#ifndef LUMORA_TOOLS_LUMORA_ADMIN_STORE_SCHEMA_H_
#define LUMORA_TOOLS_LUMORA_ADMIN_STORE_SCHEMA_H_

#include <string>

namespace lumora::admin {

// The tables in the order they are made and listed.
inline constexpr const char* kTableNames[] = {"Main", "Arrays", "Certs", "Enums", "Scratch"};

// Creates the database at `path`, which must not exist yet. False with *error set on failure.
bool CreateProfileDatabase(const std::string& path, std::string* error);

}  // namespace lumora::admin

#endif  // LUMORA_TOOLS_LUMORA_ADMIN_STORE_SCHEMA_H_
