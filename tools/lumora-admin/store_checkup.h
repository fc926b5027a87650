// A look at an installation's store that changes nothing: which settings and database
// it uses, whether the password's pieces are there and open the database, its tables
// and the engine's integrity check, and, when something is wrong, the real cause in
// words and what to do about it. Used by check (which prints it) and recover (which
// acts on it). Call with LUMORA_HOME set to the state folder; one thread.
#ifndef LUMORA_TOOLS_LUMORA_ADMIN_STORE_CHECKUP_H_
#define LUMORA_TOOLS_LUMORA_ADMIN_STORE_CHECKUP_H_

#include <string>
#include <vector>

#include "lumora/automation.h"

namespace lumora::admin {

struct StoreCheckup {
  enum class Verdict {
    kHealthy,         // the store opens and the engine finds nothing wrong
    kNotInitialised,  // no state folder, no registered services, no settings or no database
    kNoPermission,    // something is there but this user may not read it
    kPasswordLost,    // the database has a password its stored pieces do not give
    kDamaged,         // the database is no sound profile database
    kFailed,          // anything else (a service that fails, an engine error)
  };

  std::string home;
  std::string settingsFile;
  std::string database;  // setting 2; empty when not set
  bool databaseOutsideHome = false;
  std::string password;  // what is known of the password, in words
  std::vector<std::string> tables;
  std::vector<std::string> missingTables;
  std::vector<std::string> integrity;  // the engine's own lines
  std::vector<std::string> warnings;

  Verdict verdict = Verdict::kHealthy;
  std::string problem;  // the cause, in one sentence
  std::string advice;   // what to do about it
  HRESULT code = S_OK;  // the result code that went with it, when there was one
};

StoreCheckup CheckUpStore(const std::string& home);
// The first steps only, quick whatever the store holds: the state folder and the
// registered services and, `withStore`, the settings and the database file (not its
// password, tables or integrity). For the commands that then work through the component
// or the services, which name the rest.
StoreCheckup CheckUpInstallation(const std::string& home, bool withStore);

// The verdict as one word for machine-readable output.
const char* VerdictName(StoreCheckup::Verdict verdict);

}  // namespace lumora::admin

#endif  // LUMORA_TOOLS_LUMORA_ADMIN_STORE_CHECKUP_H_
