// lumora-sign as partners use it: signing ELF files, refusing to sign twice, and checking
// any signed form with exactly one line of output.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/trust/signature_fixture.h"

namespace lumora {
namespace {

using testing::Fixture;

int Sign(const std::vector<std::string>& args, std::string* output) {
  std::vector<std::string> argv = {LUMORA_SIGN};
  argv.insert(argv.end(), args.begin(), args.end());
  return testing::RunProgram(argv, output);
}

std::vector<std::string> Key(const std::string& leaf) {
  return {"--cert",  Fixture("pki/" + leaf + ".pem"),      "--key", Fixture("pki/" + leaf + ".key"),
          "--chain", Fixture("pki/" + leaf + "-chain.pem")};
}

std::vector<std::string> With(std::vector<std::string> first, const std::vector<std::string>& more) {
  first.insert(first.end(), more.begin(), more.end());
  return first;
}

TEST(LumoraSignTest, SignsOnceVerifiesEveryForm) {
  testing::TempHome home;
  const std::string module = home.path() + "/module.so";
  std::filesystem::copy_file(Fixture("elf/unsigned.so"), module);
  std::string output;
  ASSERT_EQ(Sign(With(Key("alpha"), {module}), &output), 0) << output;
  EXPECT_EQ(output, "signed: " + module + "\n");
  EXPECT_EQ(Sign({"--verify", module, "--anchors", testing::Anchors()}, &output), 0);
  EXPECT_EQ(output, "valid: Alpha Software Ltd\n");
  EXPECT_EQ(Sign(With(Key("beta"), {module}), &output), 1) << "an already signed file is refused";
  EXPECT_EQ(Sign({"--verify", module, "--anchors", testing::Anchors()}, &output), 0);
  EXPECT_EQ(output, "valid: Alpha Software Ltd\n") << "and left as it was";
  ASSERT_EQ(Sign(With(Key("beta"), {"--replace", module}), &output), 0);
  EXPECT_EQ(Sign({"--verify", module, "--anchors", testing::Anchors()}, &output), 0);
  EXPECT_EQ(output, "valid: Beta Tools Inc\n");
  const std::string copy = home.path() + "/copy.so";
  ASSERT_EQ(Sign(With(Key("alpha"), {"--out", copy, Fixture("elf/unsigned.so")}), &output), 0);
  EXPECT_EQ(Sign({"--verify", copy, "--anchors", testing::Anchors()}, &output), 0);

  EXPECT_EQ(Sign({"--verify", Fixture("pe/alpha.dll"), "--anchors", testing::Anchors()}, &output), 0);
  EXPECT_EQ(output, "valid: Alpha Software Ltd\n");
  EXPECT_EQ(Sign({"--verify", Fixture("cab/beta.cab"), "--anchors", testing::Anchors()}, &output), 0);
  EXPECT_EQ(output, "valid: Beta Tools Inc\n");
  EXPECT_EQ(Sign({"--verify", Fixture("elf/rogue.so"), "--anchors", testing::Anchors()}, &output), 1);
  EXPECT_EQ(output, "invalid: Rogue Ltd\n");
  EXPECT_EQ(Sign({"--verify", Fixture("elf/unsigned.so"), "--anchors", testing::Anchors()}, &output), 1);
  EXPECT_EQ(output, "invalid: \n");
}

TEST(LumoraSignTest, ClearErrors) {
  testing::TempHome home;
  std::string output;
  EXPECT_EQ(Sign({"--help"}, &output), 0);
  EXPECT_NE(output.find("usage: lumora-sign"), std::string::npos);
  EXPECT_EQ(Sign({}, &output), 2);
  EXPECT_EQ(Sign({"--bogus"}, &output), 2);
  EXPECT_EQ(Sign({"--verify"}, &output), 2);
  const std::string pe = home.path() + "/image.dll";
  std::filesystem::copy_file(Fixture("pe/unsigned.dll"), pe);
  EXPECT_EQ(Sign(With(Key("alpha"), {pe}), &output), 1) << "only ELF files are signed here";
  const std::string module = home.path() + "/module.so";
  std::filesystem::copy_file(Fixture("elf/unsigned.so"), module);
  EXPECT_EQ(Sign({"--cert", Fixture("pki/alpha.pem"), "--key", Fixture("pki/beta.key"), module}, &output), 1)
      << "a key that does not belong to the certificate";
  EXPECT_EQ(Sign({"--cert", home.path() + "/none.pem", "--key", Fixture("pki/alpha.key"), module}, &output), 1);
  EXPECT_EQ(Sign(With(Key("alpha"), {home.path() + "/missing.so"}), &output), 1);
}

}  // namespace
}  // namespace lumora
