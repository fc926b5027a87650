// lumora-admin: provisioning and inspection of an installation.
//   init   makes the state folder, registers the companion services there, writes the
//          settings (2: database path, 6: installation directory) and the empty profile
//          database (five tables, no password);
//   check  opens the store exactly as a new profile object does (so the first check of
//          an installation makes its password) and checks the database.
#define SQLITE_HAS_CODEC 1
#include <sqlcipher/sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "lumora/profile.h"
#include "lumora/registry.h"
#include "common/settings_client.h"
#include "store/profile_database.h"
#include "store/store_context.h"
#include "store_schema.h"

namespace fs = std::filesystem;
using namespace lumora;

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void Usage(FILE* out) {
  std::fprintf(out,
               "usage: lumora-admin [--home DIR] COMMAND [--help]\n"
               "\n"
               "commands:\n"
               "  init    create the state folder DIR with its settings, registry and empty profile database\n"
               "  check   open the store as a profile object does (making its password on first use) and check it\n"
               "\n"
               "DIR defaults to $LUMORA_HOME, else /var/lib/lumora.\n");
}

void InitUsage() {
  std::printf(
      "usage: lumora-admin [--home DIR] init [--services LIBRARY]\n"
      "  Creates DIR if needed, registers the companion services (LIBRARY, default: the one installed\n"
      "  beside this program), writes setting 2 (DIR/profile.db) and setting 6 (DIR/install), and creates\n"
      "  the profile database with the tables Main, Arrays, Certs, Enums and Scratch and no password.\n"
      "  An existing database is kept as it is.\n");
}

void CheckUsage() {
  std::printf(
      "usage: lumora-admin [--home DIR] check\n"
      "  Opens the store of DIR exactly as a new profile object does (the first check of an installation\n"
      "  gives the database its password), runs the engine's integrity check and prints one line per fact.\n"
      "  Exits 1 with the reason and result code when the store cannot be opened.\n");
}

int Error(const std::string& message) {
  std::fprintf(stderr, "lumora-admin: %s\n", message.c_str());
  return kExitFailure;
}

std::string Code(HRESULT hr) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(hr));
  return buffer;
}

fs::path DefaultServicesLibrary() {
  const fs::path self = ModulePathOf(reinterpret_cast<const void*>(&Usage));
  return self.parent_path().parent_path() / "lib" / "liblumora-services.so";
}

int Init(const fs::path& home, const std::vector<std::string>& args) {
  fs::path services = DefaultServicesLibrary();
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      InitUsage();
      return 0;
    } else if (args[i] == "--services" && i + 1 < args.size()) {
      services = args[++i];
    } else {
      std::fprintf(stderr, "lumora-admin: init: unknown argument '%s'\n", args[i].c_str());
      InitUsage();
      return kExitUsage;
    }
  }
  std::error_code ec;
  fs::create_directories(home, ec);
  if (ec || !fs::is_directory(home))
    return Error("cannot create the state folder '" + home.string() + "': " + ec.message());
  if (::access(home.c_str(), W_OK) != 0) return Error("the state folder '" + home.string() + "' is not writable");
  std::printf("state folder: %s\n", home.c_str());

  const HRESULT registered = RegisterServerLibrary(services);
  if (FAILED(registered)) {
    return Error("cannot register the companion services from '" + services.string() + "' (" + Code(registered) + ")");
  }
  std::printf("registered: companion services from %s\n", services.c_str());

  const fs::path database = home / "profile.db";
  const fs::path install = home / "install";
  fs::create_directories(install, ec);
  if (ec) return Error("cannot create the installation directory '" + install.string() + "': " + ec.message());
  HRESULT hr = WriteSetting(kSettingDatabasePath, database.string());
  if (SUCCEEDED(hr)) hr = WriteSetting(kSettingInstallDirectory, install.string());
  if (FAILED(hr)) return Error("cannot write the settings (" + Code(hr) + ")");
  std::printf("setting 2 (database path): %s\n", database.c_str());
  std::printf("setting 6 (installation directory): %s\n", install.c_str());

  if (fs::exists(database)) {
    std::printf("database: %s already exists; kept as it is\n", database.c_str());
    return 0;
  }
  std::string error;
  if (!admin::CreateProfileDatabase(database.string(), &error)) {
    return Error("cannot create the database '" + database.string() + "': " + error);
  }
  std::printf("database: %s (tables Main Arrays Certs Enums Scratch; no password)\n", database.c_str());
  return 0;
}

int Check(const fs::path& home, const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      CheckUsage();
      return 0;
    }
    std::fprintf(stderr, "lumora-admin: check: unknown argument '%s'\n", arg.c_str());
    CheckUsage();
    return kExitUsage;
  }
  if (!fs::is_directory(home)) return Error("the state folder '" + home.string() + "' does not exist (run init)");
  if (AcquireCryptProvider() != 0) {
    return Error("cannot open the store: no cryptographic provider (" + Code(eErrorCipherInitializingFailed) + ")");
  }
  HRESULT hr = S_OK;
  std::string reason;
  try {
    hr = OpenProfileDatabase();
    if (FAILED(hr)) reason = "the database password cannot be obtained (is the state folder initialised?)";
  } catch (const CDaoException& e) {
    hr = e.m_scode;
    reason = e.what();
  }
  if (FAILED(hr)) {
    ReleaseCryptProvider();
    return Error("cannot open the store: " + reason + " (" + Code(hr) + ")");
  }
  char password[12] = {};
  const bool hasPassword = GetDatabasePassword(password, sizeof password) >= 0 && password[0] != '\0';
  sqlite3* db = ProfileDatabase()->Handle();
  std::string tables;
  std::vector<std::string> missing;
  for (const char* table : admin::kTableNames) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?", -1, &statement, nullptr);
    sqlite3_bind_text(statement, 1, table, -1, SQLITE_STATIC);
    if (sqlite3_step(statement) == SQLITE_ROW) {
      tables += (tables.empty() ? "" : " ") + std::string(table);
    } else {
      missing.emplace_back(table);
    }
    sqlite3_finalize(statement);
  }
  std::string integrity;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK) {
    while (sqlite3_step(statement) == SQLITE_ROW) {
      integrity += (integrity.empty() ? "" : "; ") +
                   std::string(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    }
  }
  sqlite3_finalize(statement);
  CloseProfileDatabase();
  ReleaseCryptProvider();
  std::printf("password: %s\n", hasPassword ? "set" : "none");
  std::printf("tables: %s\n", tables.c_str());
  std::printf("integrity: %s\n", integrity.c_str());
  if (!missing.empty()) return Error("missing table " + missing.front());
  return integrity == "ok" ? 0 : kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const char* envHome = std::getenv("LUMORA_HOME");
  fs::path home = envHome != nullptr && *envHome != '\0' ? envHome : "/var/lib/lumora";
  size_t i = 0;
  for (; i < args.size(); ++i) {
    if (args[i] == "--home") {
      if (i + 1 >= args.size()) {
        Usage(stderr);
        return kExitUsage;
      }
      home = args[++i];
    } else if (args[i] == "--help" || args[i] == "-h") {
      Usage(stdout);
      return 0;
    } else {
      break;
    }
  }
  if (i >= args.size()) {
    Usage(stderr);
    return kExitUsage;
  }
  home = fs::absolute(home);
  setenv("LUMORA_HOME", home.c_str(), 1);
  const std::string command = args[i];
  const std::vector<std::string> rest(args.begin() + static_cast<long>(i) + 1, args.end());
  if (command == "init") return Init(home, rest);
  if (command == "check") return Check(home, rest);
  std::fprintf(stderr, "lumora-admin: unknown command '%s'\n", command.c_str());
  Usage(stderr);
  return kExitUsage;
}
