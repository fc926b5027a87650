// recover: the one explicit way to start afresh when the store cannot be opened any more
// (its password's pieces are lost, or the database is damaged). It keeps the old files
// aside, starts an empty store in their place and says plainly what was lost. It asks
// for confirmation unless --yes is given, and refuses while a program uses the store.
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>

#include "admin_command.h"
#include "common/settings_client.h"
#include "fileio/file_lock.h"
#include "lumora/profile.h"
#include "store/profile_database.h"
#include "store/store_context.h"
#include "store/stored_variable.h"
#include "store_checkup.h"
#include "store_schema.h"

namespace fs = std::filesystem;

namespace lumora::admin {
namespace {

using Verdict = StoreCheckup::Verdict;

fs::path AsideFolder(const fs::path& home) {
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  fs::path folder = home / (std::string("lost-") + stamp);
  for (int n = 2; fs::exists(folder); ++n) folder = home / (std::string("lost-") + stamp + "-" + std::to_string(n));
  return folder;
}

// Moves `from` into `folder`; across file systems by copying. Absent files are skipped.
bool MoveAside(const fs::path& from, const fs::path& folder, std::string* error) {
  std::error_code ec;
  if (!fs::exists(from, ec)) return true;
  const fs::path to = folder / from.filename();
  fs::rename(from, to, ec);
  if (ec && ec == std::errc::cross_device_link) {
    ec.clear();
    fs::copy_file(from, to, ec);
    if (!ec) fs::remove(from, ec);
  }
  if (ec) *error = "cannot move " + from.string() + " to " + to.string() + ": " + ec.message();
  return !ec;
}

int Recover(const Options& options) {
  // What is kept aside holds the old password's pieces: for owner and group only.
  ::umask(::umask(0) | 007);
  const StoreCheckup report = CheckUpStore(options.home);
  switch (report.verdict) {
    case Verdict::kHealthy:
      std::printf("Nothing to recover: the store %s opens with its password and the engine finds no problem.\n",
                  report.database.c_str());
      return kExitOk;
    case Verdict::kPasswordLost:
    case Verdict::kDamaged:
      break;
    default:
      std::printf("recover cannot help here: %s.\n", report.problem.c_str());
      if (!report.advice.empty()) std::printf("What to do: %s.\n", report.advice.c_str());
      return kExitFailure;
  }
  const fs::path database = report.database;
  const fs::path aside = AsideFolder(options.home);
  std::printf(
      "The store cannot be opened: %s.\n"
      "\n"
      "recover keeps the old files in %s and starts a fresh, empty store at %s.\n"
      "Everything the old store held will no longer be readable: every profile variable of every\n"
      "section, the companies' registered signing certificates (each company's program claims its\n"
      "section again when it next asks for it), and the scratch data of administration tools.\n"
      "If the lost piece of the password turns up later (setting 16 in settings.jsonl, the stored\n"
      "variable \"csum\" in variables.jsonl), the kept files can still be opened with it.\n\n",
      report.problem.c_str(), aside.c_str(), database.c_str());
  if (!Confirmed(options)) {
    std::printf("Nothing was changed.\n");
    return kExitFailure;
  }

  // No program may use the store while it is swapped: every open holds the database's
  // lock shared, and first opens hold the first-open lock.
  fileio::FileLock firstOpen, inUse;
  if (firstOpen.Lock(database.string() + ".first-open", fileio::LockMode::kExclusive, fileio::FileLock::kNoWait) != 0 ||
      inUse.Lock(database.string() + ".lock", fileio::LockMode::kExclusive, fileio::FileLock::kNoWait) != 0) {
    return Fail("the store is in use by another program; close it and run recover again (nothing was changed)");
  }
  std::error_code ec;
  fs::create_directory(aside, ec);
  if (ec) return Fail("cannot make the folder " + aside.string() + ": " + ec.message() + " (nothing was changed)");
  for (const char* name : {"settings.jsonl", "variables.jsonl"}) {
    const fs::path file = fs::path(options.home) / name;
    if (fs::exists(file, ec)) fs::copy_file(file, aside / name, ec);
    if (ec) return Fail("cannot copy " + file.string() + " aside: " + ec.message() + " (nothing was changed)");
  }
  std::string error;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    // A log left beside the new database would be applied to it: it goes with the old one.
    if (!MoveAside(database.string() + suffix, aside, &error)) return Fail(error);
  }
  HRESULT hr = WriteSetting(kSettingPasswordPiece, "");
  if (SUCCEEDED(hr)) {
    hr = UStoredVariable("main", 0).DeleteVariable("csum");
    if (hr == HRESULT_FROM_WIN32(ERROR_NOT_FOUND)) hr = S_OK;
  }
  if (FAILED(hr)) return Fail("cannot clear the old password's pieces (" + Code(hr) + ")");
  if (!CreateProfileDatabase(database.string(), &error)) {
    return Fail("cannot create the new database " + database.string() + ": " + error);
  }
  inUse.Unlock();
  firstOpen.Unlock();

  // The first open gives the new store its password, as init does.
  if (AcquireCryptProvider() != 0) return Fail("no cryptographic provider");
  try {
    hr = OpenProfileDatabase();
  } catch (const CDaoException& e) {
    hr = e.m_scode;
  }
  CloseProfileDatabase();
  ReleaseCryptProvider();
  if (FAILED(hr)) return Fail("the new store cannot be opened (" + Code(hr) + ")");
  std::printf(
      "Done. The old database and copies of its settings are in %s.\n"
      "A fresh, empty store with a new password is ready at %s; what the old one held is lost.\n",
      aside.c_str(), database.c_str());
  return kExitOk;
}

constexpr OptionSpec kOptions[] = {
    {"--yes", nullptr, "go on without asking for confirmation"},
};

}  // namespace

const Command kRecoverCommand = {
    "recover",
    "start a fresh, empty store when the old one cannot be opened any more",
    "When the store cannot be opened any more (a piece of its password is lost, or the database is\n"
    "damaged), keeps the old database and copies of the settings in DIR/lost-<date>, starts a fresh,\n"
    "empty store at the same place with a new password, and says what was lost: every profile\n"
    "variable, the registered certificates and the scratch data. Asks for confirmation (type 'yes')\n"
    "unless --yes is given. Does nothing for a store that opens, and refuses while a program uses it.",
    kOptions,
    &Recover,
};

}  // namespace lumora::admin
