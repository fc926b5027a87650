// lumora-admin consent: setting 20 shown and set through the real program, on an
// installation that 'init' made.
#include <gtest/gtest.h>

#include "common/settings_client.h"
#include "lumora/winerror.h"
#include "tests/support/temp_home.h"

namespace lumora {
namespace {

int Admin(const std::vector<std::string>& args, std::string* output) {
  std::string command = std::string("exec ") + LUMORA_ADMIN;
  for (const std::string& arg : args) command += " '" + arg + "'";
  return testing::RunProgram({"/bin/sh", "-c", command + " 2>&1"}, output);
}

TEST(ConsentCommandTest, ShowsAndSetsWhoAnswersAndRefusesWhatIsNoChoice) {
  testing::TempHome temp;
  const std::string home = temp.path() + "/state";
  std::string output;
  ASSERT_EQ(Admin({"--home", home, "init"}, &output), 0) << output;
  ASSERT_EQ(Admin({"--home", home, "consent", "show"}, &output), 0) << output;
  EXPECT_EQ(output.rfind("auto (not set)\n", 0), 0u) << output;

  const std::string script = "script:" + temp.path() + "/answers.jsonl";
  ASSERT_EQ(Admin({"--home", home, "consent", "set", script}, &output), 0) << output;
  ASSERT_EQ(Admin({"--home", home, "consent", "show"}, &output), 0);
  EXPECT_NE(output.find(script + "\n  answers read from"), std::string::npos) << output;
  EXPECT_NE(output.find("does not exist"), std::string::npos) << output;

  for (const char* bad : {"script:answers.jsonl", "script:", "allow", "", "Auto"}) {
    EXPECT_EQ(Admin({"--home", home, "consent", "set", bad}, &output), 2) << bad;
    EXPECT_NE(output.find("is not a choice"), std::string::npos) << output;
  }
  EXPECT_EQ(Admin({"--home", home, "consent", "set"}, &output), 2);
  EXPECT_EQ(Admin({"--home", home, "consent", "drop"}, &output), 2);
  setenv("LUMORA_HOME", home.c_str(), 1);
  std::string stored;
  ASSERT_EQ(ReadSetting(kSettingConsentPresenter, &stored), S_OK);
  EXPECT_EQ(stored, script) << "a refused choice changes nothing";

  ASSERT_EQ(Admin({"--home", home, "consent", "set", "deny"}, &output), 0);
  EXPECT_NE(output.find("every dialog is refused"), std::string::npos) << output;
  ASSERT_EQ(WriteSetting(kSettingConsentPresenter, "allow-everything"), S_OK);
  ASSERT_EQ(Admin({"--home", home, "consent", "show"}, &output), 0);
  EXPECT_NE(output.find("not a choice"), std::string::npos) << output;
  CoFreeUnusedLibraries();

  EXPECT_EQ(Admin({"--home", temp.path() + "/nothing", "consent", "set", "deny"}, &output), 1) << output;
}

}  // namespace
}  // namespace lumora
