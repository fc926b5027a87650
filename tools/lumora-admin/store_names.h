// The names the component's interfaces have no way to list: the sections that hold
// variables or registered certificates, and the keys of a section's scratch area. They
// are read from the store itself, read-only, one column at a time, through the database
// layer's recordsets; everything else the commands show comes through the privileged
// objects. Opening needs the password's pieces, as any reader does; nothing is ever
// written, not even a first password. One thread.
#ifndef LUMORA_TOOLS_LUMORA_ADMIN_STORE_NAMES_H_
#define LUMORA_TOOLS_LUMORA_ADMIN_STORE_NAMES_H_

#include <string>
#include <vector>

#include "lumora/automation.h"
#include "platform/database/dao_database.h"

namespace lumora::admin {

class StoreNames {
 public:
  // Opens the database of setting 2 read-only. False with *problem (in words) and *code.
  bool Open(std::string* problem, HRESULT* code);

  // Every Section value of the table, each spelling once, in the store's order. Throws
  // CDaoException.
  std::vector<std::string> SectionsOf(const char* table);
  // The keys of a section's scratch area in the store's order (the section compared as the
  // store compares it, without regard to letter case). Throws CDaoException.
  std::vector<std::string> ScratchKeys(const std::string& section);

  void Close() { m_database.Close(); }

 private:
  CDaoDatabase m_database;
};

}  // namespace lumora::admin

#endif  // LUMORA_TOOLS_LUMORA_ADMIN_STORE_NAMES_H_
