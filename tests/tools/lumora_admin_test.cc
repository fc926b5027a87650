// lumora-admin as a user runs it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/temp_home.h"

namespace lumora {
namespace {

int Admin(const std::vector<std::string>& args, std::string* output) {
  std::vector<std::string> argv = {LUMORA_ADMIN};
  argv.insert(argv.end(), args.begin(), args.end());
  return testing::RunProgram(argv, output);
}

TEST(LumoraAdminTest, InitThenCheckMakesAWorkingStore) {
  testing::TempHome temp;
  const std::string home = temp.path() + "/state";
  std::string output;
  ASSERT_EQ(Admin({"--home", home, "init"}, &output), 0) << output;
  EXPECT_NE(output.find("setting 2 (database path): " + home + "/profile.db\n"), std::string::npos) << output;
  EXPECT_NE(output.find("setting 6 (installation directory): " + home + "/install\n"), std::string::npos);
  EXPECT_NE(output.find("tables Main Arrays Certs Enums Scratch; no password"), std::string::npos);
  ASSERT_EQ(Admin({"--home", home, "check"}, &output), 0) << output;
  EXPECT_EQ(output, "password: set\ntables: Main Arrays Certs Enums Scratch\nintegrity: ok\n");
  ASSERT_EQ(Admin({"--home", home, "check"}, &output), 0) << "the second check opens with the same password";
  ASSERT_EQ(Admin({"--home", home, "init"}, &output), 0);
  EXPECT_NE(output.find("already exists; kept as it is"), std::string::npos) << "init never destroys a store";
  ASSERT_EQ(Admin({"--home", home, "check"}, &output), 0) << output;
}

TEST(LumoraAdminTest, ClearErrorsAndHelp) {
  testing::TempHome temp;
  std::string output;
  EXPECT_EQ(Admin({"--home", temp.path() + "/nothing", "check"}, &output), 1);
  const std::string file = temp.path() + "/a-file";
  std::ofstream(file) << "x";
  EXPECT_EQ(Admin({"--home", file + "/below", "init"}, &output), 1) << "a folder cannot be made under a file";
  EXPECT_EQ(Admin({"--home", temp.path(), "check"}, &output), 1) << "a folder that was never initialised";
  EXPECT_EQ(Admin({"frobnicate"}, &output), 2);
  EXPECT_EQ(Admin({}, &output), 2);
  EXPECT_EQ(Admin({"--help"}, &output), 0);
  EXPECT_NE(output.find("usage: lumora-admin"), std::string::npos);
  EXPECT_EQ(Admin({"init", "--help"}, &output), 0);
  EXPECT_NE(output.find("init"), std::string::npos);
  EXPECT_EQ(Admin({"check", "--help"}, &output), 0);
  EXPECT_EQ(Admin({"--home", temp.path(), "init", "--bogus"}, &output), 2);
}

}  // namespace
}  // namespace lumora
