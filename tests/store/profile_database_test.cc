// The database password and the first open of an installation, through real services,
// a real SQLCipher file and real second processes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
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
  SCODE OpenCode() {
    try {
      return OpenProfileDatabase();
    } catch (const CDaoException& e) {
      return e.m_scode;
    }
  }
};

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

TEST_F(ProfileDatabaseTest, LostMaskFailsWithTheWrongPasswordCode) {
  ASSERT_EQ(AcquireCryptProvider(), 0);
  ASSERT_EQ(OpenProfileDatabase(), S_OK);
  const std::string piece = Setting16();
  ResetProcessState();
  ASSERT_EQ(UStoredVariable("main", 0).DeleteVariable("csum"), S_OK);
  EXPECT_EQ(OpenCode(), static_cast<SCODE>(0x800A0BD7));
  EXPECT_TRUE(IsPassword(Csum())) << "a new mask was written";
  EXPECT_NE(Setting16(), piece) << "the setting's text was stored again under the new mask";
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

}  // namespace
}  // namespace lumora
