// The settings client and the kept database path.
#include "common/settings_client.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/temp_home.h"

namespace lumora {
namespace {

class SettingsClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ForgetDatabasePath();
    m_home = std::make_unique<testing::TempHome>();
  }
  void TearDown() override {
    ForgetDatabasePath();
    CoFreeUnusedLibraries();
    m_home.reset();
  }
  std::unique_ptr<testing::TempHome> m_home;
};

TEST_F(SettingsClientTest, PathIsReadOnceAndKeptWhileNotEmpty) {
  EXPECT_EQ(GetDatabasePath(), "") << "no service registered: no path";
  std::string value = "kept";
  EXPECT_EQ(ReadSetting(kSettingDatabasePath, &value), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(value, "kept") << "a failed read leaves the caller's text alone";

  ASSERT_EQ(m_home->RegisterServices(), S_OK);
  EXPECT_EQ(GetDatabasePath(), "") << "an empty kept path is asked for again, and the setting is missing";
  ASSERT_EQ(WriteSetting(kSettingDatabasePath, m_home->path() + "/profile.db"), S_OK);
  EXPECT_EQ(GetDatabasePath(), m_home->path() + "/profile.db");
  ASSERT_EQ(WriteSetting(kSettingDatabasePath, "/elsewhere.db"), S_OK);
  EXPECT_EQ(GetDatabasePath(), m_home->path() + "/profile.db") << "once read, the path is kept";
  ForgetDatabasePath();
  EXPECT_EQ(GetDatabasePath(), "/elsewhere.db");

  ASSERT_EQ(WriteSetting(kSettingPasswordPiece, ""), S_OK);
  value = "x";
  ASSERT_EQ(ReadSetting(kSettingPasswordPiece, &value), S_OK);
  EXPECT_EQ(value, "");
}

}  // namespace
}  // namespace lumora
