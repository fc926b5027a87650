// The store's state, found out step by step from the state folder down to the engine's
// integrity check, stopping at the first thing that is wrong and naming it.
#define SQLITE_HAS_CODEC 1
#include "store_checkup.h"

#include <grp.h>
#include <pwd.h>
#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "common/settings_client.h"
#include "lumora/profile.h"
#include "lumora/registry.h"
#include "lumora/services.h"
#include "store/profile_database.h"
#include "store/store_context.h"

namespace fs = std::filesystem;

namespace lumora::admin {
namespace {

using Verdict = StoreCheckup::Verdict;

bool Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

// Who may read `path`, in words: "owner alice, group lumora, mode 2770".
std::string Ownership(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return "unknown owner";
  const struct passwd* user = ::getpwuid(info.st_uid);
  const struct group* group = ::getgrgid(info.st_gid);
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
  return std::string("owner ") + (user != nullptr ? user->pw_name : std::to_string(info.st_uid)) + ", group " +
         (group != nullptr ? group->gr_name : std::to_string(info.st_gid)) + ", mode " + mode;
}

class Examiner {
 public:
  explicit Examiner(StoreCheckup& report) : m_report(report) {}

  void Run() {
    if (!RunToTheFile() || !Pieces() || !Probe()) return;
    OpenAndCheck();
  }
  bool RunToTheFile() { return RunToTheServices() && Settings() && DatabaseFile(); }
  bool RunToTheServices() { return StateFolder() && Registry(); }

 private:
  bool Stop(Verdict verdict, std::string problem, std::string advice, HRESULT code = S_OK) {
    m_report.verdict = verdict;
    m_report.problem = std::move(problem);
    m_report.advice = std::move(advice);
    m_report.code = code;
    return false;
  }
  std::string InitAdvice() const { return "run 'lumora-admin --home " + m_report.home + " init'"; }
  std::string RecoverAdvice() const {
    return "put back settings.jsonl and variables.jsonl from a backup that holds the lost piece; if there is none, "
           "'lumora-admin --home " +
           m_report.home + " recover' keeps the old files aside and starts an empty store";
  }
  bool NoPermission(const std::string& what, const std::string& path) {
    return Stop(Verdict::kNoPermission, what + " " + path + " cannot be read by this user (" + Ownership(path) + ")",
                "run as its owner or as a member of its group", E_ACCESSDENIED);
  }

  bool StateFolder() {
    const std::string& home = m_report.home;
    struct stat info {};
    if (::stat(home.c_str(), &info) != 0) {
      if (errno == EACCES) {
        return Stop(Verdict::kNoPermission, "the state folder " + home + " cannot be reached by this user",
                    "run as a user who may enter the folders above it", E_ACCESSDENIED);
      }
      return Stop(Verdict::kNotInitialised, "the state folder " + home + " does not exist", InitAdvice());
    }
    if (!S_ISDIR(info.st_mode)) return Stop(Verdict::kFailed, home + " is not a folder", "name the state folder");
    if (::access(home.c_str(), R_OK | X_OK) != 0) return NoPermission("the state folder", home);
    return true;
  }

  bool Registry() {
    const std::string registry = m_report.home + "/registry";
    if (!Exists(registry)) {
      return Stop(
          Verdict::kNotInitialised,
          "the state folder " + m_report.home + " is not initialised: no companion services are registered in it",
          InitAdvice());
    }
    if (::access(registry.c_str(), R_OK | X_OK) != 0) return NoPermission("the registry", registry);
    if (!RegKeyExists("HKEY_CLASSES_ROOT\\CLSID\\" + GuidToString(CLSID_LumoraSettings))) {
      return Stop(Verdict::kNotInitialised, "the settings service is not registered in " + m_report.home, InitAdvice());
    }
    return true;
  }

  bool Settings() {
    const std::string& file = m_report.settingsFile;
    if (!Exists(file)) {
      return Stop(Verdict::kNotInitialised,
                  "the state folder " + m_report.home + " holds no settings (" + file + " does not exist)",
                  InitAdvice());
    }
    if (::access(file.c_str(), R_OK) != 0) return NoPermission("the settings file", file);
    std::string path;
    const HRESULT hr = ReadSetting(kSettingDatabasePath, &path);
    if (hr == HRESULT_FROM_WIN32(ERROR_NOT_FOUND) || (SUCCEEDED(hr) && path.empty())) {
      return Stop(Verdict::kNotInitialised, "setting 2 (the database path) is not set in " + file, InitAdvice(),
                  CDaoException::ScodeOf(kJetFileNotFound));
    }
    if (hr == E_ACCESSDENIED) return NoPermission("the settings file", file);
    if (FAILED(hr)) return Stop(Verdict::kFailed, "the settings service failed to read setting 2", "", hr);
    m_report.database = path;
    std::error_code ec;
    const fs::path relative =
        fs::weakly_canonical(path, ec).lexically_relative(fs::weakly_canonical(m_report.home, ec));
    m_report.databaseOutsideHome = relative.empty() || *relative.begin() == "..";
    if (m_report.databaseOutsideHome) {
      m_report.warnings.push_back("the database " + path + " lies outside the state folder " + m_report.home +
                                  ": setting 2 names it by its full path, so a copied state folder still uses "
                                  "(and this checks) that file, not one in the copy");
    }
    return true;
  }

  bool DatabaseFile() {
    const std::string& path = m_report.database;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
      if (errno == EACCES) return NoPermission("the folder of the database", fs::path(path).parent_path().string());
      return Stop(Verdict::kNotInitialised, "the database " + path + " (setting 2) does not exist",
                  InitAdvice() + " to make an empty store there, or correct setting 2",
                  CDaoException::ScodeOf(kJetFileNotFound));
    }
    if (::access(path.c_str(), R_OK) != 0) return NoPermission("the database", path);
    return true;
  }

  bool Pieces() {
    HRESULT failure = S_OK;
    m_pieces = ReadPasswordPieces(&m_password, &failure);
    if (m_pieces != PasswordPieces::kUnreadable) return true;
    const std::string variables = m_report.home + "/variables.jsonl";
    if (failure == E_ACCESSDENIED) {
      return NoPermission(
          "a file holding the password's pieces",
          Exists(variables) && ::access(variables.c_str(), R_OK) != 0 ? variables : m_report.settingsFile);
    }
    return Stop(Verdict::kFailed, "the password's pieces cannot be read", "", failure);
  }

  bool Probe() {
    try {
      m_state = ProbeDatabaseFile(m_report.database);
      return true;
    } catch (const CDaoException& e) {
      return Failure(e);
    }
  }

  bool Failure(const CDaoException& e) {
    switch (e.JetError()) {
      case kJetNotADatabase:
        return Stop(Verdict::kDamaged, std::string("the database is damaged: ") + e.what(),
                    "put it back from a backup; if there is none, 'lumora-admin --home " + m_report.home +
                        " recover' keeps it aside and starts an empty store",
                    e.m_scode);
      case kJetReadOnly:
        return NoPermission("a lock file of the database", m_report.database + ".lock");
      case kJetFileInUse:
      case kJetLockedByOtherUser:
        return Stop(Verdict::kFailed, std::string("the database is busy: ") + e.what(), "try again in a moment",
                    e.m_scode);
      default:
        return Stop(Verdict::kFailed, e.what(), "", e.m_scode);
    }
  }

  void OpenAndCheck() {
    std::string password;
    const bool filePassword = m_state == DatabaseFileState::kWithPassword;
    switch (m_pieces) {
      case PasswordPieces::kFound:
        if (filePassword) {
          password = m_password;
          m_report.password = "set (put together from setting 16 and the stored variable \"csum\")";
        } else {
          m_report.password =
              "stored but not yet set on the file (a first open stopped half-way); the next open sets it";
        }
        break;
      case PasswordPieces::kNone:
        if (filePassword) {
          m_report.password = "lost";
          Stop(Verdict::kPasswordLost, "the database has a password, but setting 16 holds no piece of it",
               RecoverAdvice(), eErrorCipherInitializingFailed);
          return;
        }
        m_report.password = "none yet: the first open of the store makes one (init does)";
        break;
      case PasswordPieces::kDamaged:
        if (filePassword) {
          m_report.password = "lost";
          Stop(Verdict::kPasswordLost,
               "a piece of the database password is missing or damaged (setting 16 in settings.jsonl, or the "
               "stored variable \"csum\" in variables.jsonl)",
               RecoverAdvice(), eErrorCipherInitializingFailed);
          return;
        }
        m_report.password = "none yet (its pieces are incomplete): the first open of the store makes one";
        break;
      case PasswordPieces::kUnreadable:
        return;
    }
    CDaoDatabase database;
    try {
      database.Open(m_report.database, false, true, password.empty() ? std::string() : ";pwd=" + password);
      const short count = database.GetTableDefCount();
      for (short i = 0; i < count; ++i) {
        CDaoTableDefInfo info;
        database.GetTableDefInfo(i, info);
        m_report.tables.push_back(info.m_strName);
      }
    } catch (const CDaoException& e) {
      if (e.JetError() == kJetBadPassword) {
        m_report.password = "lost";
        Stop(Verdict::kPasswordLost,
             "the password put together from setting 16 and \"csum\" does not open the database (the pieces belong "
             "to another password)",
             RecoverAdvice(), e.m_scode);
        return;
      }
      Failure(e);
      return;
    }
    for (const char* table : kProfileTables) {
      if (std::find(m_report.tables.begin(), m_report.tables.end(), table) == m_report.tables.end()) {
        m_report.missingTables.emplace_back(table);
      }
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(database.Handle(), "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK) {
      while (sqlite3_step(statement) == SQLITE_ROW) {
        m_report.integrity.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
      }
    }
    sqlite3_finalize(statement);
    if (!m_report.missingTables.empty()) {
      std::string names;
      for (const std::string& table : m_report.missingTables) names += (names.empty() ? "" : " ") + table;
      Stop(Verdict::kDamaged, "the database is damaged: it lacks the table(s) " + names,
           "put it back from a backup; if there is none, 'lumora-admin --home " + m_report.home +
               " recover' keeps it aside and starts an empty store",
           CDaoException::ScodeOf(kJetNotADatabase));
    } else if (m_report.integrity != std::vector<std::string>{"ok"}) {
      Stop(Verdict::kDamaged, "the engine's integrity check found problems in the database",
           "put it back from a backup; if there is none, 'lumora-admin --home " + m_report.home +
               " recover' keeps it aside and starts an empty store",
           CDaoException::ScodeOf(kJetNotADatabase));
    }
  }

  StoreCheckup& m_report;
  PasswordPieces m_pieces = PasswordPieces::kNone;
  std::string m_password;
  DatabaseFileState m_state = DatabaseFileState::kWithoutPassword;
};

}  // namespace

StoreCheckup CheckUpStore(const std::string& home) {
  StoreCheckup report;
  report.home = home;
  report.settingsFile = home + "/settings.jsonl";
  Examiner(report).Run();
  return report;
}

StoreCheckup CheckUpInstallation(const std::string& home, bool withStore) {
  StoreCheckup report;
  report.home = home;
  report.settingsFile = home + "/settings.jsonl";
  Examiner examiner(report);
  if (withStore) {
    examiner.RunToTheFile();
  } else {
    examiner.RunToTheServices();
  }
  return report;
}

const char* VerdictName(StoreCheckup::Verdict verdict) {
  switch (verdict) {
    case Verdict::kHealthy:
      return "healthy";
    case Verdict::kNotInitialised:
      return "not-initialised";
    case Verdict::kNoPermission:
      return "no-permission";
    case Verdict::kPasswordLost:
      return "password-lost";
    case Verdict::kDamaged:
      return "damaged";
    case Verdict::kFailed:
      return "failed";
  }
  return "failed";
}

}  // namespace lumora::admin
