// The database password and the first open of an installation, through real services,
// a real SQLCipher file and real second processes.
#define SQLITE_HAS_CODEC 1
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "lumora/profile.h"
#include "store/stored_variable.h"
#include "tests/store/store_fixture.h"

namespace lumora {
namespace {

class ProfileDatabaseTest : public testing::StoreTest {
 protected:
  std::string Setting16() {
    std::string value;
    ReadSetting(kSettingPasswordPiece, &value);
    return value;
  }
  std::string Csum() {
    std::string value;
    UStoredVariable("main", 0).GetStringVariable("csum", value);
    return value;
  }
  bool FileIsPlain() {
    std::ifstream file(m_path, std::ios::binary);
    char header[15] = {};
    file.read(header, 15);
    return std::string(header, 15) == "SQLite format 3";
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  }
  static void WriteFile(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
  }
  // Runs `sql` on an engine connection of this process; the last value it returned.
  static std::string EngineQuery(const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    std::string last;
    sqlite3_exec(
        db, sql.c_str(),
        [](void* out, int, char** values, char**) {
          *static_cast<std::string*>(out) = values[0] != nullptr ? values[0] : "";
          return 0;
        },
        &last, nullptr);
    sqlite3_close(db);
    return last;
  }
  SCODE OpenCode() {
    try {
      return OpenProfileDatabase();
    } catch (const CDaoException& e) {
      return e.m_scode;
    }
  }
};

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

bool IsPassword(const std::string& text) {
  return text.size() == 10 && text.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

TEST(XorHexDigitsTest, CombinesDigitByDigitOverTheShorterLength) {
  struct Case {
    std::string target, other, result;
  };
  const Case cases[] = {
      {"0F", "FF0", "F0"}, {"FF0", "0F", "F00"}, {"1234", "1234", "0000"}, {"A5", "5A", "FF"}, {"a5", "00", "05"},
      {"G1", "11", "00"},  {"", "ABC", ""},      {"ABC", "", "ABC"},       {"12", "1a", "00"}, {"9F", "F9", "66"},
  };
  for (Case c : cases) {
    const std::string before = c.target;
    XorHexDigits(c.target, c.other);
    EXPECT_EQ(c.target, c.result) << before << " ^ " << c.other;
  }
}

TEST_F(ProfileDatabaseTest, FirstOpenMakesSetsAndKeepsThePassword) {
  ASSERT_TRUE(FileIsPlain());
  ASSERT_EQ(AcquireCryptProvider(), 0);
  ASSERT_EQ(OpenProfileDatabase(), S_OK);
  char password[12] = {};
  ASSERT_EQ(GetDatabasePassword(password, sizeof password), 0) << "kept once made";
  EXPECT_TRUE(IsPassword(password)) << password;
  EXPECT_FALSE(FileIsPlain()) << "the file has the password now";
  EXPECT_TRUE(IsPassword(Setting16()));
  EXPECT_TRUE(IsPassword(Csum()));
  EXPECT_NE(Setting16(), password) << "the setting holds a scrambled piece, never the password";

  // The file refuses a plain client.
  std::string output;
  EXPECT_NE(testing::RunProgram({"/usr/bin/sqlcipher", m_path, "SELECT count(*) FROM sqlite_master;"}, &output), 0);

  CDaoDatabase* opened = ProfileDatabase();
  EXPECT_EQ(OpenProfileDatabase(), S_OK);
  EXPECT_EQ(ProfileDatabase(), opened) << "an open database is left as it is";

  std::string second;
  ASSERT_EQ(testing::RunProgram(Peer({"open"}), &second), 0) << second;
  EXPECT_EQ(second, std::string(password) + "\n") << "a second process derives the same password";
  ReleaseCryptProvider();
}

// A first open killed at any moment (storing the pieces, copying the file under its new
// password, replacing it) leaves a store that the next open completes or makes afresh,
// and that every process then opens with the same password.
TEST_F(ProfileDatabaseTest, AFirstOpenKilledAtAnyMomentLeavesAStoreThatOpens) {
  std::string output;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(testing::RunProgram(Peer({"open"}), &output), 0) << output;
  const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE(round);
    ResetProcessState();
    std::filesystem::remove(m_path);
    std::string error;
    ASSERT_TRUE(admin::CreateProfileDatabase(m_path, &error)) << error;
    ASSERT_EQ(WriteSetting(kSettingPasswordPiece, ""), S_OK) << "a store whose password was never made";
    {
      testing::ChildProcess victim(Peer({"open"}));
      std::this_thread::sleep_for(took * round / 7);
      victim.Kill();
      victim.Finish();
    }
    std::string first, second;
    ASSERT_EQ(testing::RunProgram(Peer({"open"}), &first), 0) << first;
    ASSERT_EQ(testing::RunProgram(Peer({"open"}), &second), 0) << second;
    EXPECT_EQ(first, second);
    EXPECT_FALSE(FileIsPlain());
  }
}

// A lost or damaged piece of an encrypted store's password is never "repaired" by making
// a new password and overwriting the other piece: the open fails, nothing is written,
// and putting the lost file back brings the store back.
TEST_F(ProfileDatabaseTest, ALostOrDamagedPieceFailsTheOpenAndOverwritesNothing) {
  std::string password;
  ASSERT_EQ(testing::RunProgram(Peer({"open"}), &password), 0) << password;
  const std::string settingsPath = m_home->path() + "/settings.jsonl";
  const std::string variablesPath = m_home->path() + "/variables.jsonl";
  const std::string settings = ReadFile(settingsPath);
  const std::string variables = ReadFile(variablesPath);
  const std::string piece = Setting16();

  std::string cut;  // the setting-16 line cut in half, as a crash in the middle of a write leaves it
  std::istringstream lines(settings);
  for (std::string line; std::getline(lines, line);) {
    cut += line.find("\"id\":16") != std::string::npos ? line.substr(0, line.size() / 2) : line + "\n";
  }
  struct Damage {
    const char* what;
    std::function<void()> apply;
  };
  const Damage damages[] = {
      {"setting 16 cut in half", [&] { WriteFile(settingsPath, cut); }},
      {"setting 16 emptied", [&] { WriteSetting(kSettingPasswordPiece, ""); }},
      {"setting 16 not hexadecimal", [&] { WriteSetting(kSettingPasswordPiece, "ZZZZZZZZZZ"); }},
      {"setting 16 too short", [&] { WriteSetting(kSettingPasswordPiece, piece.substr(0, 9)); }},
      {"csum deleted", [&] { UStoredVariable("main", 0).DeleteVariable("csum"); }},
      {"csum not hexadecimal", [&] { UStoredVariable("main", 0).SetStringVariable("csum", "0123-56789"); }},
      {"csum of another type", [&] { UStoredVariable("main", 0).SetLongVariable("csum", 7); }},
      {"variables file emptied", [&] { WriteFile(variablesPath, ""); }},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    damage.apply();
    const std::string damagedSettings = ReadFile(settingsPath);
    const std::string damagedVariables = ReadFile(variablesPath);
    std::string output;
    EXPECT_EQ(testing::RunProgram(Peer({"open"}), &output), 1);
    EXPECT_EQ(output, "error 8004E200\n");
    EXPECT_EQ(ReadFile(settingsPath), damagedSettings) << "no piece was written";
    EXPECT_EQ(ReadFile(variablesPath), damagedVariables) << "no piece was written";
    EXPECT_FALSE(FileIsPlain());

    WriteFile(settingsPath, settings);
    WriteFile(variablesPath, variables);
    ASSERT_EQ(testing::RunProgram(Peer({"open"}), &output), 0) << output;
    EXPECT_EQ(output, password) << "the restored files give the password back";
  }
}

// A process keeps the password it used between opens. After another process (or itself)
// reset the password, that kept password must never be written onto the file again: the
// store gets a new one that every process derives.
TEST_F(ProfileDatabaseTest, AResetStaysAResetAcrossProcesses) {
  ASSERT_EQ(AcquireCryptProvider(), 0);
  ASSERT_EQ(OpenProfileDatabase(), S_OK);
  char before[12] = {};
  GetDatabasePassword(before, sizeof before);
  CloseProfileDatabase();  // this process keeps its password, as a host between sessions does

  std::string output;
  ASSERT_EQ(testing::RunProgram(Peer({"reset"}), &output), 0) << output;
  ASSERT_TRUE(FileIsPlain());
  ASSERT_EQ(Setting16(), "");
  ASSERT_EQ(OpenProfileDatabase(), S_OK) << "this process opens the reset store";
  char after[12] = {};
  GetDatabasePassword(after, sizeof after);
  EXPECT_TRUE(IsPassword(after));
  EXPECT_NE(std::string(after), before) << "a new password, not the one kept from before the reset";
  EXPECT_FALSE(FileIsPlain());
  ASSERT_EQ(testing::RunProgram(Peer({"open"}), &output), 0) << output;
  EXPECT_EQ(output, std::string(after) + "\n") << "every other process derives the new password";
  CloseProfileDatabase();

  // The process that reset the password opens the store again itself.
  std::string reopened;
  ASSERT_EQ(testing::RunProgram(Peer({"reset", "--reopen"}), &reopened), 0) << reopened;
  EXPECT_NE(reopened, std::string(after) + "\n");
  ASSERT_EQ(testing::RunProgram(Peer({"open"}), &output), 0) << output;
  EXPECT_EQ(output, reopened);
  ReleaseCryptProvider();
}

// An empty or truncated file opens under any password as an empty database; a store
// without its tables is damaged, and nothing is made for it or written into it.
TEST_F(ProfileDatabaseTest, AStoreWithoutItsTablesIsDamagedAndNothingIsWritten) {
  const SCODE kDamaged = static_cast<SCODE>(0x800A0BE9);
  ASSERT_EQ(AcquireCryptProvider(), 0);
  std::filesystem::resize_file(m_path, 0);
  EXPECT_EQ(OpenCode(), kDamaged) << "a new installation whose file is empty";
  EXPECT_EQ(std::filesystem::file_size(m_path), 0u);
  EXPECT_EQ(Setting16(), "") << "no password was made";
  EXPECT_EQ(Csum(), "");

  std::filesystem::remove(m_path);
  std::string error;
  ASSERT_TRUE(admin::CreateProfileDatabase(m_path, &error)) << error;
  std::string output;
  ASSERT_EQ(testing::RunProgram({"/usr/bin/sqlcipher", m_path, "DROP TABLE Scratch;"}, &output), 0);
  const std::string withoutScratch = ReadFile(m_path);
  EXPECT_EQ(OpenCode(), kDamaged) << "a table missing";
  EXPECT_EQ(ReadFile(m_path), withoutScratch);
  EXPECT_EQ(Setting16(), "");

  std::filesystem::remove(m_path);
  ASSERT_TRUE(admin::CreateProfileDatabase(m_path, &error)) << error;
  ASSERT_EQ(OpenProfileDatabase(), S_OK);
  const std::string piece = Setting16();
  CloseProfileDatabase();
  std::filesystem::resize_file(m_path, 0);
  EXPECT_EQ(OpenCode(), kDamaged) << "an encrypted store truncated, opened with the kept password";
  EXPECT_EQ(testing::RunProgram(Peer({"open"}), &output), 1);
  EXPECT_EQ(output.substr(0, 15), "error 800A0BE9 ") << "and with the password from its pieces";
  EXPECT_EQ(std::filesystem::file_size(m_path), 0u);
  EXPECT_EQ(Setting16(), piece);
  ReleaseCryptProvider();
}

// What a later engine does differently, this process's engine is made to do: other
// defaults for every new connection. Our files keep their pinned settings, and the
// host's own defaults are left as it set them.
TEST_F(ProfileDatabaseTest, CipherSettingsArePinnedWhateverTheEngineDefaults) {
  const char* kOtherDefaults =
      "PRAGMA cipher_default_kdf_iter = 4000; PRAGMA cipher_default_page_size = 4096;"
      "PRAGMA cipher_default_use_hmac = OFF;";
  ASSERT_EQ(EngineQuery(kOtherDefaults), "");
  ASSERT_EQ(AcquireCryptProvider(), 0);
  ASSERT_EQ(OpenProfileDatabase(), S_OK) << "the first open re-keys the file";
  char password[12] = {};
  GetDatabasePassword(password, sizeof password);
  CloseProfileDatabase();
  ASSERT_EQ(OpenProfileDatabase(), S_OK) << "and opens it again under the other defaults";
  CloseProfileDatabase();
  std::unique_ptr<CDaoDatabase> slot;
  ChangeDatabasePassword(slot, password, "0123456789");

  // A separate engine with the pinned settings reads the re-keyed file; with any other
  // page size, iteration count or HMAC use it cannot.
  const std::string pinned =
      "PRAGMA key = '0123456789'; PRAGMA cipher_page_size = 1024; PRAGMA kdf_iter = 64000;"
      "PRAGMA cipher_use_hmac = ON;";
  std::string output;
  EXPECT_EQ(testing::RunProgram({"/usr/bin/sqlcipher", m_path, pinned + "SELECT count(*) FROM Main;"}, &output), 0);
  EXPECT_EQ(output, "0\n");
  for (const char* other :
       {"PRAGMA cipher_page_size = 4096;", "PRAGMA kdf_iter = 4000;", "PRAGMA cipher_use_hmac = OFF;"}) {
    EXPECT_NE(
        testing::RunProgram({"/usr/bin/sqlcipher", m_path, pinned + other + "SELECT count(*) FROM Main;"}, &output), 0)
        << other;
  }
  EXPECT_EQ(EngineQuery("PRAGMA cipher_default_kdf_iter;"), "4000") << "the host's defaults are its own";
  EXPECT_EQ(EngineQuery("PRAGMA cipher_default_page_size;"), "4096");
  EngineQuery(
      "PRAGMA cipher_default_kdf_iter = 64000; PRAGMA cipher_default_page_size = 1024;"
      "PRAGMA cipher_default_use_hmac = ON;");
  ReleaseCryptProvider();
}

TEST_F(ProfileDatabaseTest, ProviderFailuresAndItsUseCount) {
  EXPECT_EQ(CryptProviderUseCount(), 0);
  crypto::SetAcquisitionFailure(NTE_FAIL);
  EXPECT_EQ(AcquireCryptProvider(), -1);
  EXPECT_EQ(CryptProviderUseCount(), 0) << "a failed acquisition does not count";
  EXPECT_EQ(OpenProfileDatabase(), eErrorCipherInitializingFailed);
  crypto::SetAcquisitionFailure(NTE_BAD_KEYSET);
  EXPECT_EQ(AcquireCryptProvider(), 0) << "a missing key set is made on the second try";
  crypto::SetAcquisitionFailure(S_OK);
  const long contexts = crypto::OpenProviderContexts();
  EXPECT_EQ(AcquireCryptProvider(), 0);
  EXPECT_EQ(CryptProviderUseCount(), 2);
  EXPECT_EQ(crypto::OpenProviderContexts(), contexts) << "one context, counted twice";
  ASSERT_EQ(OpenProfileDatabase(), S_OK);
  EXPECT_EQ(CryptProviderUseCount(), 2) << "opening takes its reference only while it works";
  ReleaseCryptProvider();
  EXPECT_NE(CryptProvider(), 0u);
  ReleaseCryptProvider();
  EXPECT_EQ(CryptProvider(), 0u) << "released with the last user";
  EXPECT_EQ(crypto::OpenProviderContexts(), contexts - 1);
  EXPECT_EQ(ReleaseCryptProvider(), 0) << "one release too many does nothing";
  EXPECT_EQ(CryptProviderUseCount(), 0);
}

TEST_F(ProfileDatabaseTest, NoRandomBytesUsesTheFallbacks) {
  ASSERT_EQ(AcquireCryptProvider(), 0);
  crypto::SetRandomFailure(true);
  const HRESULT hr = OpenProfileDatabase();
  crypto::SetRandomFailure(false);
  ASSERT_EQ(hr, S_OK);
  char password[12] = {};
  GetDatabasePassword(password, sizeof password);
  EXPECT_EQ(std::string(password), "7E3D9A1C5B");
  ReleaseCryptProvider();
}

TEST_F(ProfileDatabaseTest, AMissingSettingsServiceNeverMakesAPassword) {
  ASSERT_EQ(AcquireCryptProvider(), 0);
  GetDatabasePath();  // the path is kept; the service goes away afterwards
  ASSERT_EQ(std::filesystem::remove_all(m_home->path() + "/registry") > 0, true);
  EXPECT_EQ(OpenProfileDatabase(), eErrorCipherInitializingFailed);
  EXPECT_TRUE(FileIsPlain()) << "nothing was set on the file";
  ReleaseCryptProvider();
}

TEST_F(ProfileDatabaseTest, PasswordChangeFailsWhileAnotherProcessHasTheFileOpen) {
  ASSERT_EQ(AcquireCryptProvider(), 0);
  ASSERT_EQ(OpenProfileDatabase(), S_OK);
  char password[12] = {};
  GetDatabasePassword(password, sizeof password);
  const std::string marker = m_home->path() + "/holding";
  testing::ChildProcess holder(Peer({"hold-open", marker}));
  while (!std::filesystem::exists(marker)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::unique_ptr<CDaoDatabase> slot;
  try {
    ChangeDatabasePassword(slot, password, "");
    ADD_FAILURE() << "the password changed under another user";
  } catch (const CDaoException& e) {
    EXPECT_EQ(e.m_scode, static_cast<SCODE>(0x800A0BE5));
  }
  std::filesystem::remove(marker);
  EXPECT_EQ(holder.Finish(), 0);
  CloseProfileDatabase();
  ChangeDatabasePassword(slot, password, "");  // nobody holds it now
  EXPECT_FALSE(slot) << "the slot holds nothing when nothing was open";
  EXPECT_TRUE(FileIsPlain());
  ReleaseCryptProvider();
}

TEST_F(ProfileDatabaseTest, EightSimultaneousFirstOpensAgreeOnOnePassword) {
  const std::string go = m_home->path() + "/go";
  std::vector<std::unique_ptr<testing::ChildProcess>> peers;
  for (int i = 0; i < 8; ++i)
    peers.push_back(std::make_unique<testing::ChildProcess>(Peer({"open", "--wait-for", go})));
  std::ofstream(go).close();
  std::set<std::string> passwords;
  for (auto& peer : peers) {
    std::string output;
    EXPECT_EQ(peer->Finish(&output), 0) << output;
    passwords.insert(output);
  }
  ASSERT_EQ(passwords.size(), 1u);
  EXPECT_TRUE(IsPassword(passwords.begin()->substr(0, 10)));
  ASSERT_EQ(AcquireCryptProvider(), 0);
  EXPECT_EQ(OpenProfileDatabase(), S_OK);
  ReleaseCryptProvider();
}

TEST_F(ProfileDatabaseTest, AFirstOpenThatDiedHalfWayIsCompleted) {
  std::string output;
  EXPECT_EQ(testing::RunProgram(Peer({"open-die-after-store"}), &output), 9);
  EXPECT_TRUE(IsPassword(Setting16())) << "the pieces were stored";
  EXPECT_TRUE(FileIsPlain()) << "but the file never got its password";
  ASSERT_EQ(testing::RunProgram(Peer({"open"}), &output), 0) << output;
  EXPECT_FALSE(FileIsPlain());
  std::string again;
  ASSERT_EQ(testing::RunProgram(Peer({"open"}), &again), 0);
  EXPECT_EQ(again, output);
}

// The database, its log and its lock files are for owner and group only, whatever the
// umask of the process that makes them: the first open re-keys the file into a new one.
TEST(ProfileDatabaseFilesTest, AreForOwnerAndGroupWhateverTheUmask) {
  for (const mode_t mask : {mode_t{0}, mode_t{077}}) {
    SCOPED_TRACE(mask);
    const mode_t previous = ::umask(mask);
    {
      testing::TempHome home;
      ASSERT_EQ(home.RegisterServices(), S_OK);
      const std::string path = home.path() + "/profile.db";
      std::string error;
      ASSERT_TRUE(admin::CreateProfileDatabase(path, &error)) << error;
      EXPECT_EQ(ModeOf(path), 0660u) << "as made by provisioning";
      ASSERT_EQ(WriteSetting(kSettingDatabasePath, path), S_OK);
      ASSERT_EQ(AcquireCryptProvider(), 0);
      ASSERT_EQ(OpenProfileDatabase(), S_OK);
      for (const char* suffix : {"", "-wal", "-shm", ".lock", ".first-open"}) {
        EXPECT_EQ(ModeOf(path + suffix), 0660u) << suffix;
      }
      CloseProfileDatabase();
      ReleaseCryptProvider();
      ForgetDatabasePath();
      ForgetKeptPasswordForTests();
      EXPECT_EQ(ModeOf(path), 0660u);
      CoFreeUnusedLibraries();
    }
    ::umask(previous);
  }
}
}  // namespace
}  // namespace lumora
