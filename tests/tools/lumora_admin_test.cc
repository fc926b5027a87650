// lumora-admin as a user runs it: each command through the real program, against real
// state folders, and what it leaves on disk.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "common/settings_client.h"
#include "fileio/file_lock.h"
#include "lumora/registry.h"
#include "services/json_line.h"
#include "store/stored_variable.h"
#include "tests/support/temp_home.h"
#include "tools/lumora-admin/store_schema.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

// Runs lumora-admin; standard output and standard error both land in *output.
int Admin(const std::vector<std::string>& args, std::string* output, const std::string& input = "") {
  std::string command = "exec ";
  if (!input.empty()) command = "printf '" + input + "' | ";
  command += LUMORA_ADMIN;
  for (const std::string& arg : args) command += " '" + arg + "'";
  return testing::RunProgram({"/bin/sh", "-c", command + " 2>&1"}, output);
}

std::string Read(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

mode_t ModeOf(const fs::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

// Everything under a folder (name -> digest of the content), for "nothing changed"
// comparisons. Lock files and the engine's log files are bookkeeping, not content.
std::map<std::string, size_t> Snapshot(const fs::path& folder) {
  std::map<std::string, size_t> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file() || name.ends_with(".lock") || name.ends_with(".first-open") ||
        name.ends_with("-wal") || name.ends_with("-shm")) {
      continue;
    }
    files[fs::relative(entry.path(), folder).string()] = std::hash<std::string>()(Read(entry.path()));
  }
  return files;
}

class LumoraAdminTest : public ::testing::Test {
 protected:
  void SetUp() override { m_home = m_temp.path() + "/state"; }
  void Init() {
    std::string output;
    ASSERT_EQ(Admin({"--home", m_home, "init"}, &output), 0) << output;
  }
  // A state folder made by hand the way an older version left it: services registered,
  // the database path set, a database without a password and no pieces.
  void InitWithoutPassword() {
    fs::create_directory(m_home);
    setenv("LUMORA_HOME", m_home.c_str(), 1);
    ASSERT_EQ(RegisterServerLibrary(LUMORA_SERVICES_LIBRARY), S_OK);
    std::string error;
    ASSERT_TRUE(admin::CreateProfileDatabase(m_home + "/profile.db", &error)) << error;
    ASSERT_EQ(WriteSetting(kSettingDatabasePath, m_home + "/profile.db"), S_OK);
    CoFreeUnusedLibraries();
  }
  std::string Check(int expected, const std::vector<std::string>& more = {}) {
    std::vector<std::string> args = {"--home", m_home, "check"};
    args.insert(args.end(), more.begin(), more.end());
    std::string output;
    EXPECT_EQ(Admin(args, &output), expected) << output;
    return output;
  }

  testing::TempHome m_temp;
  std::string m_home;
};

TEST_F(LumoraAdminTest, InitMakesAStoreWithItsPasswordAndCheckFindsItHealthy) {
  std::string output;
  ASSERT_EQ(Admin({"init", "--home", m_home}, &output), 0) << output;
  EXPECT_NE(output.find("state folder: " + m_home + " (personal)\n"), std::string::npos) << output;
  EXPECT_NE(output.find("setting 2 (database path): " + m_home + "/profile.db\n"), std::string::npos);
  EXPECT_NE(output.find("setting 6 (installation directory): " + m_home + "/install\n"), std::string::npos);
  EXPECT_NE(output.find("password: made and set on the database"), std::string::npos) << output;
  EXPECT_EQ(ModeOf(m_home), 0700u) << "a personal state folder is its owner's alone";
  EXPECT_EQ(ModeOf(m_home + "/settings.jsonl"), 0660u);
  EXPECT_EQ(ModeOf(m_home + "/variables.jsonl"), 0660u);
  EXPECT_EQ(ModeOf(m_home + "/profile.db"), 0660u);
  EXPECT_NE(Read(m_home + "/profile.db").substr(0, 15), "SQLite format 3") << "init gave the file its password";

  EXPECT_EQ(Check(0), "state folder: " + m_home + "\nsettings: " + m_home + "/settings.jsonl\ndatabase: " + m_home +
                          "/profile.db (setting 2)\npassword: set (put together from setting 16 and the stored "
                          "variable \"csum\")\ntables: Main Arrays Certs Enums Scratch\nintegrity: ok\ncheck: the "
                          "store is healthy\n");
  const std::string database = Read(m_home + "/profile.db");
  const std::string pieces = Read(m_home + "/variables.jsonl");
  ASSERT_EQ(Admin({"--home", m_home, "init"}, &output), 0) << output;
  EXPECT_NE(output.find("already exists; kept as it is"), std::string::npos) << "init never destroys a store";
  EXPECT_NE(output.find("password: already set"), std::string::npos) << output;
  EXPECT_TRUE(Read(m_home + "/profile.db") == database);
  EXPECT_EQ(Read(m_home + "/variables.jsonl"), pieces);
  Check(0);
}

// check looks and never writes: not the first password, not into a damaged database,
// not over a lost piece.
TEST_F(LumoraAdminTest, CheckChangesNothing) {
  InitWithoutPassword();
  auto before = Snapshot(m_home);
  std::string output = Check(0);
  EXPECT_NE(output.find("password: none yet: the first open of the store makes one"), std::string::npos) << output;
  EXPECT_EQ(Snapshot(m_home), before) << "no password made, no piece written";
  EXPECT_EQ(Read(m_home + "/profile.db").substr(0, 15), "SQLite format 3");

  fs::resize_file(m_home + "/profile.db", 0);
  output = Check(1);
  EXPECT_NE(output.find("check: the database is damaged"), std::string::npos) << output;
  EXPECT_NE(output.find("recover"), std::string::npos) << output;
  EXPECT_EQ(fs::file_size(m_home + "/profile.db"), 0u) << "nothing written into the empty file";
  EXPECT_FALSE(fs::exists(m_home + "/variables.jsonl")) << "no piece written";

  fs::remove_all(m_home);
  Init();
  std::ofstream(m_home + "/variables.jsonl", std::ios::trunc).close();  // "csum" lost
  before = Snapshot(m_home);
  output = Check(1);
  EXPECT_NE(output.find("password: lost\n"), std::string::npos) << output;
  EXPECT_NE(output.find("a piece of the database password is missing or damaged"), std::string::npos) << output;
  EXPECT_EQ(Snapshot(m_home), before);
}

// A database whose index no longer matches its rows: the engine's own lines, one line
// that sums them up, and nothing written into it.
TEST_F(LumoraAdminTest, CheckSumsUpTheEnginesIntegrityFindings) {
  InitWithoutPassword();
  const std::string database = m_home + "/profile.db";
  std::string sql;
  for (int i = 0; i < 3; ++i) sql += "INSERT INTO Main (Section, Key) VALUES ('s" + std::to_string(i) + "', 'k');";
  sql +=
      "PRAGMA writable_schema = ON;"
      "UPDATE sqlite_master SET sql = 'CREATE INDEX MainSectionKey ON Main (Key, Section)'"
      " WHERE name = 'MainSectionKey';";
  std::string output;
  ASSERT_EQ(testing::RunProgram({"/usr/bin/sqlcipher", database, sql}, &output), 0) << output;
  const std::string before = Read(database);
  output = Check(1);
  EXPECT_NE(output.find("integrity: row 1 missing from index MainSectionKey\n"), std::string::npos) << output;
  EXPECT_NE(output.find("integrity: 3 problem(s) reported by the engine\n"
                        "check: the engine's integrity check found problems in the database"),
            std::string::npos)
      << output;
  EXPECT_TRUE(Read(database) == before);
}

TEST_F(LumoraAdminTest, CheckNamesTheRealCause) {
  std::string output = Check(1);
  EXPECT_NE(output.find("check: the state folder " + m_home + " does not exist"), std::string::npos) << output;
  EXPECT_NE(output.find("what to do: run 'lumora-admin --home " + m_home + " init'"), std::string::npos);

  fs::create_directory(m_home);
  output = Check(1);
  EXPECT_NE(output.find("is not initialised: no companion services are registered in it"), std::string::npos) << output;

  fs::remove_all(m_home);
  Init();
  const std::string settings = Read(m_home + "/settings.jsonl");
  std::string withoutPath;
  std::istringstream lines(settings);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("\"id\":2,") == std::string::npos) withoutPath += line + "\n";
  }
  std::ofstream(m_home + "/settings.jsonl", std::ios::trunc) << withoutPath;
  output = Check(1);
  EXPECT_NE(output.find("check: setting 2 (the database path) is not set in " + m_home + "/settings.jsonl"),
            std::string::npos)
      << output;
  EXPECT_EQ(output.find("Could not find file ''"), std::string::npos) << output;
  std::ofstream(m_home + "/settings.jsonl", std::ios::trunc) << settings;

  fs::rename(m_home + "/profile.db", m_home + "/elsewhere.db");
  output = Check(1);
  EXPECT_NE(output.find("check: the database " + m_home + "/profile.db (setting 2) does not exist"), std::string::npos)
      << output;
  fs::rename(m_home + "/elsewhere.db", m_home + "/profile.db");
  Check(0);

  // Another user: the folder is personal, so it may not even look in.
  if (::geteuid() == 0 && !fs::exists("/usr/bin/setpriv")) GTEST_SKIP() << "setpriv is needed to drop privileges";
  std::vector<std::string> asOther = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                      LUMORA_ADMIN,       "--home",        m_home,          "check"};
  if (::geteuid() != 0) asOther.erase(asOther.begin(), asOther.begin() + 4);
  ::chmod(m_temp.path().c_str(), 0755);
  ASSERT_EQ(testing::RunProgram(asOther, &output), 1) << output;
  EXPECT_NE(output.find("check: the state folder " + m_home + " cannot be read by this user"), std::string::npos)
      << output;
  EXPECT_NE(output.find("mode 0700"), std::string::npos) << output;
  ::chmod(m_home.c_str(), 0755);
  ASSERT_EQ(testing::RunProgram(asOther, &output), 1) << output;
  EXPECT_NE(output.find("cannot be read by this user"), std::string::npos) << output;
  EXPECT_EQ(output.find("not initialised"), std::string::npos) << "a permission problem is not a missing store";
}

TEST_F(LumoraAdminTest, CheckWarnsWhenTheDatabaseLiesOutsideTheStateFolder) {
  Init();
  const std::string copy = m_temp.path() + "/copy";
  fs::copy(m_home, copy, fs::copy_options::recursive);
  std::string output;
  ASSERT_EQ(Admin({"--home", copy, "check"}, &output), 0) << output;
  EXPECT_NE(output.find("database: " + m_home + "/profile.db (setting 2)\n"), std::string::npos) << output;
  EXPECT_NE(output.find("warning: the database " + m_home + "/profile.db lies outside the state folder " + copy),
            std::string::npos)
      << output;
  ASSERT_EQ(Admin({"--home", copy, "init"}, &output), 0) << output;
  EXPECT_NE(output.find("note: setting 2 named " + m_home + "/profile.db before"), std::string::npos) << output;
  ASSERT_EQ(Admin({"--home", copy, "check"}, &output), 0) << output;
  EXPECT_EQ(output.find("warning:"), std::string::npos) << "init points the copy at its own database";
}

TEST_F(LumoraAdminTest, CheckSpeaksJson) {
  Init();
  services::JsonObject report;
  std::string output = Check(0, {"--json"});
  ASSERT_TRUE(services::ParseJsonLine(output.substr(0, output.find('\n')), &report)) << output;
  EXPECT_EQ(services::TextField(report, "result"), "healthy");
  EXPECT_EQ(services::TextField(report, "database"), m_home + "/profile.db");
  EXPECT_EQ(report["tables"].strings, (std::vector<std::string>{"Main", "Arrays", "Certs", "Enums", "Scratch"}));
  EXPECT_EQ(report["integrity"].strings, std::vector<std::string>{"ok"});

  fs::resize_file(m_home + "/profile.db", 0);
  output = Check(1, {"--json"});
  ASSERT_TRUE(services::ParseJsonLine(output.substr(0, output.find('\n')), &report)) << output;
  EXPECT_EQ(services::TextField(report, "result"), "damaged");
  EXPECT_EQ(services::TextField(report, "code"), "0x800A0BE9");
  EXPECT_NE(services::TextField(report, "advice").find("recover"), std::string::npos);
}

TEST_F(LumoraAdminTest, RecoverStartsAfreshOnlyWhenAskedAndOnlyWhenNeeded) {
  Init();
  auto before = Snapshot(m_home);
  std::string output;
  ASSERT_EQ(Admin({"--home", m_home, "recover", "--yes"}, &output), 0) << output;
  EXPECT_NE(output.find("Nothing to recover"), std::string::npos) << output;
  EXPECT_EQ(Snapshot(m_home), before) << "a store that opens is left alone";

  std::ofstream(m_home + "/variables.jsonl", std::ios::trunc).close();  // "csum" lost
  before = Snapshot(m_home);
  const std::string oldDatabase = Read(m_home + "/profile.db");
  EXPECT_EQ(Admin({"--home", m_home, "recover"}, &output, "no\\n"), 1) << output;
  EXPECT_NE(output.find("Nothing was changed."), std::string::npos) << output;
  EXPECT_EQ(Admin({"--home", m_home, "recover"}, &output), 1) << "no answer is no";
  EXPECT_EQ(Snapshot(m_home), before);
  {
    fileio::FileLock inUse;  // a program that has the store open
    ASSERT_EQ(inUse.Lock(m_home + "/profile.db.lock", fileio::LockMode::kShared), 0);
    EXPECT_EQ(Admin({"--home", m_home, "recover", "--yes"}, &output), 1) << output;
    EXPECT_NE(output.find("in use by another program"), std::string::npos) << output;
    EXPECT_EQ(Snapshot(m_home), before);
  }

  ASSERT_EQ(Admin({"--home", m_home, "recover"}, &output, "yes\\n"), 0) << output;
  EXPECT_NE(output.find("every profile variable of every"), std::string::npos) << "it says what is lost";
  fs::path aside;
  for (const auto& entry : fs::directory_iterator(m_home)) {
    if (entry.path().filename().string().starts_with("lost-")) aside = entry.path();
  }
  ASSERT_FALSE(aside.empty()) << output;
  EXPECT_NE(output.find(aside.string()), std::string::npos) << "it says where the old files are";
  EXPECT_TRUE(Read(aside / "profile.db") == oldDatabase) << "the old database is kept whole";
  EXPECT_EQ(std::hash<std::string>()(Read(aside / "settings.jsonl")), before["settings.jsonl"]);
  EXPECT_TRUE(fs::exists(aside / "variables.jsonl"));
  EXPECT_EQ(ModeOf(aside) & 0007, 0u) << "nobody else may look at the old pieces";
  output = Check(0);
  EXPECT_NE(output.find("password: set"), std::string::npos) << output;

  fs::resize_file(m_home + "/profile.db", 0);  // a damaged database is recovered the same way
  ASSERT_EQ(Admin({"--home", m_home, "recover", "--yes"}, &output), 0) << output;
  Check(0);
}

TEST_F(LumoraAdminTest, OptionsGoAnywhereAndMistakesAreNamed) {
  Init();
  std::string output;
  EXPECT_EQ(Admin({"check", "--home", m_home}, &output), 0) << "after the command";
  EXPECT_EQ(Admin({"--home=" + m_home, "check", "--json"}, &output), 0) << output;
  EXPECT_EQ(Admin({"--json", "--home", m_home, "check"}, &output), 0) << "a command's option before it";

  EXPECT_EQ(Admin({"check", "--home"}, &output), 2);
  EXPECT_NE(output.find("option --home needs a value (DIR)"), std::string::npos) << output;
  EXPECT_EQ(Admin({"--home", "--json", "check"}, &output), 2) << "an option is no value";
  EXPECT_NE(output.find("option --home needs a value"), std::string::npos) << output;
  EXPECT_EQ(Admin({"init", "--group="}, &output), 2);
  EXPECT_NE(output.find("option --group needs a value (NAME)"), std::string::npos) << output;
  EXPECT_EQ(Admin({"--home", m_home, "check", "--yes"}, &output), 2);
  EXPECT_NE(output.find("option --yes is not an option of check"), std::string::npos) << output;
  EXPECT_EQ(Admin({"--home", m_home, "check", "--bogus"}, &output), 2);
  EXPECT_NE(output.find("unknown option '--bogus'"), std::string::npos) << output;
  EXPECT_EQ(Admin({"--json=yes", "check"}, &output), 2);
  EXPECT_NE(output.find("option --json takes no value"), std::string::npos) << output;
  EXPECT_EQ(Admin({"frobnicate"}, &output), 2);
  EXPECT_NE(output.find("unknown command 'frobnicate'"), std::string::npos) << output;
  EXPECT_EQ(Admin({"check", "extra"}, &output), 2);
  EXPECT_EQ(Admin({}, &output), 2);

  EXPECT_EQ(Admin({"--version"}, &output), 0);
  EXPECT_EQ(output.rfind("lumora-admin ", 0), 0u) << output;
  EXPECT_EQ(Admin({"--help"}, &output), 0);
  for (const char* command : {"init", "check", "recover"}) EXPECT_NE(output.find(command), std::string::npos);
  EXPECT_EQ(Admin({"recover", "-h"}, &output), 0);
  EXPECT_NE(output.find("--yes"), std::string::npos) << output;
  EXPECT_EQ(Admin({"--help", "init"}, &output), 0);
  EXPECT_NE(output.find("--group NAME"), std::string::npos) << output;
}

TEST_F(LumoraAdminTest, AFailedInitLeavesNothingBehind) {
  const std::string nested = m_temp.path() + "/new/state";
  std::string output;
  EXPECT_EQ(Admin({"--home", nested, "init", "--services", "/nonexistent/liblumora-services.so"}, &output), 1);
  EXPECT_NE(output.find("cannot register the companion services"), std::string::npos) << output;
  EXPECT_FALSE(fs::exists(m_temp.path() + "/new")) << "the folders it made are gone";

  EXPECT_EQ(Admin({"--home", nested, "init", "--group", "no-such-group-here"}, &output), 1);
  EXPECT_NE(output.find("there is no group named 'no-such-group-here'"), std::string::npos) << output;
  EXPECT_FALSE(fs::exists(m_temp.path() + "/new"));

  std::ofstream(m_temp.path() + "/a-file") << "x";
  EXPECT_EQ(Admin({"--home", m_temp.path() + "/a-file/below", "init"}, &output), 1) << output;

  fs::create_directory(m_home);
  std::ofstream(m_home + "/keep") << "mine";
  EXPECT_EQ(Admin({"--home", m_home, "init", "--services", "/nonexistent.so"}, &output), 1);
  EXPECT_EQ(Read(m_home + "/keep"), "mine") << "a folder that was there stays, with what it held";
}

TEST_F(LumoraAdminTest, InitSharesTheStateFolderWithAGroup) {
  const struct group* group = ::getgrnam("users");
  if (group == nullptr || ::geteuid() != 0) GTEST_SKIP() << "needs the group 'users' and the right to give it";
  const gid_t gid = group->gr_gid;
  std::string output;
  ASSERT_EQ(Admin({"--home", m_home, "init", "--group", "users"}, &output), 0) << output;
  EXPECT_NE(output.find("(shared by the group users)"), std::string::npos) << output;
  EXPECT_EQ(ModeOf(m_home), 02770u);
  for (const auto& entry : fs::recursive_directory_iterator(m_home)) {
    if (entry.is_symlink()) continue;  // the link to the object runtime: the runtime's mode is its own
    struct stat info {};
    ASSERT_EQ(::stat(entry.path().c_str(), &info), 0);
    EXPECT_EQ(info.st_gid, gid) << entry.path() << " belongs to the group";
    EXPECT_EQ(info.st_mode & 0007, 0u) << entry.path() << " is closed to others";
    if (entry.is_directory()) {
      EXPECT_NE(info.st_mode & S_ISGID, 0u) << entry.path();
    }
  }
  Check(0);
}

TEST_F(LumoraAdminTest, TrustedRootsAreAddedOnceAndListed) {
  std::string output;
  ASSERT_EQ(Admin({"--home", m_home, "init"}, &output), 0) << output;
  EXPECT_NE(output.find("root section: registered for Lumora Profile"), std::string::npos) << output;
  ASSERT_EQ(Admin({"--home", m_home, "trust", "list", "--json"}, &output), 0);
  EXPECT_NE(output.find("Lumora Profile Product Root"), std::string::npos) << output;
  const std::string roots = m_home + "/install/TrustedRoots.pem";
  const std::string before = Read(roots);

  std::ofstream(m_temp.path() + "/not-a-certificate.pem") << "-----BEGIN NOTHING-----\n";
  EXPECT_EQ(Admin({"--home", m_home, "trust", "add", m_temp.path() + "/not-a-certificate.pem"}, &output), 1);
  EXPECT_EQ(Admin({"--home", m_home, "trust", "add", m_temp.path() + "/missing.pem"}, &output), 1);
  EXPECT_EQ(Admin({"--home", m_home, "trust", "add"}, &output), 2) << "the file is missing";
  EXPECT_EQ(Admin({"--home", m_home, "trust", "remove", "x"}, &output), 2);
  EXPECT_EQ(Read(roots), before) << "nothing was written";

  // The product root again: already trusted, added once.
  ASSERT_EQ(Admin({"--home", m_home, "trust", "add", std::string(LUMORA_PRODUCT_FILES) + "/product-root.pem"}, &output),
            0);
  EXPECT_NE(output.find("already trusted"), std::string::npos) << output;
  EXPECT_EQ(Read(roots), before);
  // Re-running init keeps what the administrator added and the root's registration.
  ASSERT_EQ(Admin({"--home", m_home, "init"}, &output), 0) << output;
  EXPECT_NE(output.find("root section: registered for Lumora Profile"), std::string::npos) << output;
  EXPECT_EQ(Read(roots), before);
}

// A system installation: lumora-admin installed in PREFIX/bin names the installation
// directory the package installed (PREFIX/lib/lumora) instead of making one in the state
// folder. Its files are the product's own; init must not copy them onto themselves, and
// may run again (after an upgrade) without touching them.
TEST_F(LumoraAdminTest, InitNamesTheInstalledInstallationDirectoryAndLeavesItsFilesAlone) {
  const fs::path prefix = m_temp.path() + "/usr";
  const fs::path product = prefix / "lib" / "lumora";
  fs::create_directories(prefix / "bin");
  fs::create_directories(product);
  // The tool finds its libraries through bin/../lib, the product's files in lib/lumora.
  for (const auto& entry : fs::directory_iterator(fs::path(LUMORA_PRODUCT_FILES).parent_path())) {
    if (entry.path().filename().string().starts_with("lib")) {
      fs::create_symlink(entry.path(), prefix / "lib" / entry.path().filename());
    }
  }
  fs::copy_file(std::string(LUMORA_PRODUCT_FILES) + "/ExceptionList.dll", product / "ExceptionList.dll");
  fs::copy_file(std::string(LUMORA_PRODUCT_FILES) + "/product-root.pem", product / "product-root.pem");
  // The administrator's roots file holds another root, its last line without a newline:
  // the product root must be added as a certificate of its own, not glued onto it.
  const std::string other = m_temp.path() + "/other-root";
  std::string made;
  ASSERT_EQ(testing::RunProgram(
                {"/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                 "-nodes", "-keyout", other + ".key", "-out", other + ".pem", "-subj", "/CN=Other Root", "-days", "30"},
                &made),
            0)
      << made;
  std::string otherRoot = Read(other + ".pem");
  while (!otherRoot.empty() && otherRoot.back() == '\n') otherRoot.pop_back();
  // As the package installs it: a link to the configuration file, readable by all.
  const fs::path etcRoots = m_temp.path() + "/etc/TrustedRoots.pem";
  fs::create_directories(etcRoots.parent_path());
  std::ofstream(etcRoots, std::ios::binary) << otherRoot;
  fs::permissions(etcRoots, static_cast<fs::perms>(0644));
  fs::create_symlink(etcRoots, product / "TrustedRoots.pem");
  fs::copy_file(LUMORA_ADMIN, prefix / "bin" / "lumora-admin");
  const std::string exceptionList = Read(product / "ExceptionList.dll");
  // The dialog program is installed in the directory itself, not linked there.
  const std::string helperText = "#!/bin/sh\n# the installed dialog program\n";
  std::ofstream(product / "lumora-consent", std::ios::binary) << helperText;
  fs::permissions(product / "lumora-consent", static_cast<fs::perms>(0755));

  const std::string tool = (prefix / "bin" / "lumora-admin").string();
  std::string output;
  const auto run = [&](const std::vector<std::string>& args) {
    std::string command = "exec '" + tool + "'";
    for (const std::string& arg : args) command += " '" + arg + "'";
    return testing::RunProgram({"/bin/sh", "-c", command + " 2>&1"}, &output);
  };
  ASSERT_EQ(run({"--home", m_home, "init", "--install-dir", product.string()}), 0) << output;
  EXPECT_NE(output.find("setting 6 (installation directory): " + product.string()), std::string::npos) << output;
  EXPECT_NE(output.find("root section: registered for Lumora Profile"), std::string::npos)
      << "the signature check found the trusted roots in the named directory: " << output;
  EXPECT_FALSE(fs::exists(m_home + "/install")) << "no second installation directory";
  EXPECT_EQ(Read(product / "ExceptionList.dll"), exceptionList);
  const std::string roots = Read(product / "TrustedRoots.pem");
  EXPECT_EQ(roots.find(otherRoot + "\n-----BEGIN CERTIFICATE-----"), 0u) << roots;
  EXPECT_TRUE(fs::is_symlink(product / "TrustedRoots.pem")) << "the link stays; the file it names was replaced";
  EXPECT_EQ(ModeOf(etcRoots), 0644u) << "the group's programs must still read the roots";
  ASSERT_EQ(run({"--home", m_home, "trust", "list"}), 0) << output;
  EXPECT_NE(output.find("Other Root"), std::string::npos) << output;
  EXPECT_NE(output.find("Lumora Profile Product Root"), std::string::npos) << output;
  EXPECT_TRUE(fs::is_symlink(product / "liblumora-automation.so"));
  EXPECT_FALSE(fs::is_symlink(product / "lumora-consent"));
  EXPECT_EQ(Read(product / "lumora-consent"), helperText) << "the installed dialog program is kept";
  ASSERT_EQ(run({"--home", m_home, "check"}), 0) << output;

  // Again, as after an upgrade: the store is kept, the files untouched.
  const fs::path linked = fs::read_symlink(product / "liblumora-automation.so");
  ASSERT_EQ(run({"--home", m_home, "init", "--install-dir", product.string()}), 0) << output;
  EXPECT_NE(output.find("already exists; kept as it is"), std::string::npos) << output;
  EXPECT_EQ(Read(product / "ExceptionList.dll"), exceptionList);
  EXPECT_EQ(Read(product / "TrustedRoots.pem"), roots) << "the product root is there: nothing to add";
  EXPECT_EQ(fs::read_symlink(product / "liblumora-automation.so"), linked);
}

}  // namespace
}  // namespace lumora
