// init: provisions a state folder: the folder itself (personal, or shared by a group),
// the registered companion services, the settings, the empty profile database, and at
// the end the database's password, made by opening the store once as a profile object
// does. A failed init removes the folders it made.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "admin_command.h"
#include "common/settings_client.h"
#include "installation.h"
#include "lumora/profile.h"
#include "lumora/registry.h"
#include "store/profile_database.h"
#include "store/store_context.h"
#include "store_schema.h"

namespace fs = std::filesystem;

namespace lumora::admin {
namespace {

// By their run-time names: the unversioned development links are not on every machine.
fs::path DefaultServicesLibrary() { return LibraryFolder() / "liblumora-services.so.1"; }
fs::path DefaultComponentLibrary() { return LibraryFolder() / "libprprofile.so.1"; }

// Removes, on failure, the folders this run made: the first one that was missing and
// everything under it, so that a failed init leaves no empty state folder behind.
class MadeFolders {
 public:
  explicit MadeFolders(const fs::path& home) {
    fs::path missing;
    std::error_code ec;
    for (fs::path folder = home; !folder.empty() && !fs::exists(folder, ec); folder = folder.parent_path()) {
      missing = folder;
      if (folder == folder.parent_path()) break;
    }
    m_first = missing;
  }
  ~MadeFolders() {
    if (m_keep || m_first.empty()) return;
    std::error_code ec;
    fs::remove_all(m_first, ec);
  }
  MadeFolders(const MadeFolders&) = delete;
  MadeFolders& operator=(const MadeFolders&) = delete;
  bool HomeIsNew() const { return !m_first.empty(); }
  void Keep() { m_keep = true; }

 private:
  fs::path m_first;
  bool m_keep = false;
};

bool IsEmptyFolder(const fs::path& folder) {
  std::error_code ec;
  return fs::is_directory(folder, ec) && fs::is_empty(folder, ec);
}

// Gives a new (or empty) state folder its mode: personal 0700; shared, the group with
// the set-group-id bit (so that everything made inside belongs to the group) and 2770.
int SetFolderMode(const fs::path& home, const struct group* group) {
  if (group != nullptr && ::chown(home.c_str(), static_cast<uid_t>(-1), group->gr_gid) != 0) {
    return Fail("cannot give the state folder " + home.string() + " to the group " + group->gr_name + ": " +
                std::strerror(errno) + " (run as root, or as a member of " + group->gr_name + ")");
  }
  const mode_t mode = group != nullptr ? 02770 : 0700;
  if (::chmod(home.c_str(), mode) != 0) {
    return Fail("cannot set the mode of the state folder " + home.string() + ": " + std::strerror(errno));
  }
  return kExitOk;
}

// An existing folder with content keeps its mode; say so when others can read it.
void WarnAboutExistingMode(const fs::path& home, const struct group* group) {
  struct stat info {};
  if (::stat(home.c_str(), &info) != 0) return;
  if (group != nullptr && info.st_gid != group->gr_gid) {
    std::printf(
        "warning: the existing state folder %s does not belong to the group %s; its owner, group and mode "
        "were kept as they are\n",
        home.c_str(), group->gr_name);
  }
  if ((info.st_mode & 0007) != 0) {
    std::printf(
        "warning: other users may enter the state folder %s (mode %o): they could read the pieces of the "
        "database password; 'chmod o-rwx %s' closes it\n",
        home.c_str(), static_cast<unsigned>(info.st_mode & 07777), home.c_str());
  }
}

// Opens the store once, as a profile object does: the first open makes the password.
// While it is open, the product's certificate is registered for the root section.
int OpenStoreOnce(const fs::path& database) {
  std::string ignored;
  const bool hadPassword = ReadPasswordPieces(&ignored) == PasswordPieces::kFound;
  if (AcquireCryptProvider() != 0) {
    return Fail("cannot open the store: no cryptographic provider (" + Code(eErrorCipherInitializingFailed) + ")");
  }
  HRESULT hr = S_OK;
  std::string reason = "the database password cannot be put together from its pieces";
  std::string rootMessage;
  std::string rootError;
  try {
    hr = OpenProfileDatabase();
    if (SUCCEEDED(hr)) RegisterProductForRoot(&rootMessage, &rootError);
  } catch (const CDaoException& e) {
    hr = e.m_scode;
    reason = e.what();
  }
  CloseProfileDatabase();
  ReleaseCryptProvider();
  if (FAILED(hr)) {
    return Fail("cannot open the store " + database.string() + ": " + reason + " (" + Code(hr) +
                "); 'lumora-admin check' tells more");
  }
  std::printf(hadPassword ? "password: already set; the store opens with it\n"
                          : "password: made and set on the database; its two pieces are kept in setting 16 and in "
                            "the stored variable \"csum\", never the password itself\n");
  if (!rootError.empty()) return Fail(rootError);
  std::printf("%s\n", rootMessage.c_str());
  return kExitOk;
}

int Init(const Options& options) {
  const fs::path home = options.home;
  const fs::path services = options.Value("--services", DefaultServicesLibrary().string());
  const struct group* group = nullptr;
  if (options.Has("--group")) {
    const std::string name = options.Value("--group");
    group = ::getgrnam(name.c_str());
    if (group == nullptr)
      return Fail("there is no group named '" + name + "' (create it first: groupadd " + name + ")");
  }
  // What init makes is for the owner, or for the owner and the group, alone.
  ::umask(group != nullptr ? 007 : 077);

  MadeFolders made(home);
  std::error_code ec;
  const bool wasEmpty = IsEmptyFolder(home);
  fs::create_directories(home, ec);
  if (ec || !fs::is_directory(home)) {
    return Fail("cannot create the state folder " + home.string() + ": " +
                (ec ? ec.message() : std::string("a file of that name is in the way")));
  }
  if (made.HomeIsNew() || wasEmpty) {
    if (const int failed = SetFolderMode(home, group); failed != kExitOk) return failed;
  } else {
    WarnAboutExistingMode(home, group);
  }
  if (::access(home.c_str(), W_OK) != 0) return Fail("the state folder " + home.string() + " is not writable");
  std::printf("state folder: %s (%s)\n", home.c_str(),
              group != nullptr ? (std::string("shared by the group ") + group->gr_name).c_str() : "personal");

  const HRESULT registered = RegisterServerLibrary(services.string());
  if (FAILED(registered)) {
    return Fail("cannot register the companion services from " + services.string() + " (" + Code(registered) + ")");
  }
  std::printf("registered: companion services from %s\n", services.c_str());
  const fs::path component = options.Value("--component", DefaultComponentLibrary().string());
  const HRESULT componentRegistered = RegisterServerLibrary(component.string());
  if (FAILED(componentRegistered)) {
    return Fail("cannot register the profile component from " + component.string() + " (" + Code(componentRegistered) +
                ")");
  }
  std::printf("registered: the profile component (PRProfile.PRProfile and the privileged classes) from %s\n",
              component.c_str());

  const fs::path database = home / "profile.db";
  // A local installation keeps its installation directory in the state folder; a system
  // installation names the one the package installed (--install-dir).
  const fs::path install = options.Has("--install-dir")
                               ? fs::absolute(options.Value("--install-dir"), ec).lexically_normal()
                               : home / "install";
  fs::create_directories(install, ec);
  if (ec) return Fail("cannot create the installation directory " + install.string() + ": " + ec.message());
  // Setting 2 names the database by its full path: a state folder copied from another
  // would still name the original's, so init always points it at this folder's own.
  std::string previous;
  const bool hadPath = SUCCEEDED(ReadSetting(kSettingDatabasePath, &previous)) && !previous.empty();
  const std::string databasePath = database.string();
  HRESULT hr = WriteSetting(kSettingDatabasePath, databasePath);
  if (SUCCEEDED(hr)) hr = WriteSetting(kSettingInstallDirectory, install.string());
  if (FAILED(hr)) return Fail("cannot write the settings (" + Code(hr) + ")");
  std::printf("setting 2 (database path): %s\n", databasePath.c_str());
  if (hadPath && previous != databasePath) {
    std::printf("note: setting 2 named %s before; the store of this folder is %s\n", previous.c_str(),
                databasePath.c_str());
  }
  std::printf("setting 6 (installation directory): %s\n", install.c_str());
  std::string installError;
  if (!FillInstallDirectory(install, &installError)) return Fail(installError);
  std::printf(
      "installation directory: the signed exception list, the trusted roots (%s) and a link to the "
      "object runtime\n",
      kTrustedRootsFile);
  const fs::path helper = ConsentHelperProgram();
  if (helper.empty()) {
    std::printf("consent dialogs: no dialog program beside this one; the terminal answers them\n");
  } else {
    std::printf("consent dialogs: a link to the dialog program %s\n", helper.c_str());
  }

  if (fs::exists(databasePath, ec)) {
    std::printf("database: %s already exists; kept as it is\n", databasePath.c_str());
  } else {
    std::string error;
    if (!CreateProfileDatabase(databasePath, &error)) {
      return Fail("cannot create the database " + databasePath + ": " + error);
    }
    std::printf("database: %s (tables Main Arrays Certs Enums Scratch)\n", databasePath.c_str());
  }
  if (const int failed = OpenStoreOnce(databasePath); failed != kExitOk) return failed;
  made.Keep();
  return kExitOk;
}

constexpr OptionSpec kOptions[] = {
    {"--services", "LIBRARY", "the companion services to register (default: the one installed beside this program)"},
    {"--component", "LIBRARY", "the profile component to register (default: the one installed beside this program)"},
    {"--install-dir", "DIR",
     "the installation directory to name in setting 6 and fill (default: DIR/install of the state folder)"},
    {"--group", "NAME", "share the state folder with the members of group NAME (set-group-id, mode 2770)"},
};

}  // namespace

const Command kInitCommand = {
    "init",
    "make a state folder with its settings, services and an empty store",
    "Makes the state folder (personal: mode 0700; with --group: owned by that group with the set-group-id\n"
    "bit, mode 2770, so that its members share the store and nobody else can read it), registers the\n"
    "companion services and the profile component there, writes setting 2 (the database path,\n"
    "DIR/profile.db) and setting 6 (the installation directory: DIR/install, or --install-dir), fills\n"
    "the installation directory (the signed exception list, TrustedRoots.pem with the product root, a\n"
    "link to the object runtime), creates the profile database with its five tables, and opens the\n"
    "store once, which gives the database its password and registers the product's certificate for the\n"
    "root section \"/\" (so that no partner program can claim it, nor the common sections). An existing\n"
    "store is kept as it is, and init may run again (after an upgrade, say) to register the libraries\n"
    "anew. A failed init removes the folders it made.",
    kOptions,
    &Init,
};

}  // namespace lumora::admin
