// lumora-sign as partners use it: signing ELF files in place without touching their
// permissions, refusing to sign twice or with a certificate that cannot sign code, and
// checking any signed form with one line (or one JSON object) that says why a file fails.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/trust/signature_fixture.h"

namespace lumora {
namespace {

using testing::Fixture;

int Sign(const std::vector<std::string>& args, std::string* output = nullptr) {
  std::vector<std::string> argv = {LUMORA_SIGN};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string ignored;
  return testing::RunProgram(argv, output != nullptr ? output : &ignored);
}

std::vector<std::string> Key(const std::string& leaf) {
  return {"--cert",  Fixture("pki/" + leaf + ".pem"),      "--key", Fixture("pki/" + leaf + ".key"),
          "--chain", Fixture("pki/" + leaf + "-chain.pem")};
}

std::vector<std::string> With(std::vector<std::string> first, const std::vector<std::string>& more) {
  first.insert(first.end(), more.begin(), more.end());
  return first;
}

std::string Verified(const std::string& path, const std::string& anchors = testing::Anchors()) {
  std::string output;
  Sign({"--verify", path, "--anchors", anchors}, &output);
  return output;
}

mode_t Mode(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
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
  EXPECT_EQ(Sign(With(Key("beta"), {module})), 1) << "an already signed file is refused";
  EXPECT_EQ(Verified(module), "valid: Alpha Software Ltd\n") << "and left as it was";
  ASSERT_EQ(Sign(With(Key("beta"), {"--replace", module})), 0);
  EXPECT_EQ(Verified(module), "valid: Beta Tools Inc\n");
  const std::string copy = home.path() + "/copy.so";
  ASSERT_EQ(Sign(With(Key("alpha"), {"--out", copy, Fixture("elf/unsigned.so")})), 0);
  EXPECT_EQ(Verified(copy), "valid: Alpha Software Ltd\n");
  EXPECT_EQ(Verified(Fixture("pe/alpha.dll")), "valid: Alpha Software Ltd\n");
  EXPECT_EQ(Verified(Fixture("cab/beta.cab")), "valid: Beta Tools Inc\n");
  EXPECT_EQ(Sign({"--verify", Fixture("elf/rogue.so"), "--anchors", testing::Anchors()}, &output), 1);
  EXPECT_EQ(output, "invalid: Rogue Ltd (chain not trusted)\n");
}

// Signing in place once wrote a new file with the umask's mode: a signed program that no
// longer ran, and a private one that others could now read.
TEST(LumoraSignTest, SigningInPlaceKeepsTheFilesMode) {
  testing::TempHome home;
  for (const mode_t mode : {0755, 0700, 0640, 0500}) {
    const std::string module = home.path() + "/module-" + std::to_string(mode) + ".so";
    std::filesystem::copy_file(Fixture("elf/unsigned.so"), module);
    ASSERT_EQ(::chmod(module.c_str(), mode), 0);
    std::string output;
    ASSERT_EQ(Sign(With(Key("alpha"), {module}), &output), 0) << output;
    EXPECT_EQ(Mode(module), mode) << std::oct << mode;
    EXPECT_EQ(Verified(module), "valid: Alpha Software Ltd\n");
  }
  // A link signed in place stays a link to the signed file.
  const std::string target = home.path() + "/target.so";
  const std::string link = home.path() + "/link.so";
  std::filesystem::copy_file(Fixture("elf/unsigned.so"), target);
  std::filesystem::create_symlink(target, link);
  ASSERT_EQ(Sign(With(Key("alpha"), {link})), 0);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Verified(target), "valid: Alpha Software Ltd\n");
  // Nothing is left beside the files.
  size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(home.path())) ++entries;
  EXPECT_EQ(entries, 6u);
}

TEST(LumoraSignTest, EveryFailureSaysWhy) {
  testing::TempHome home;
  std::vector<testing::Tampered> tampered = testing::MakeTamperedFiles(home.path());
  auto path = [&](const std::string& name) {
    for (const auto& file : tampered) {
      if (file.name == name) return file.path;
    }
    return std::string();
  };
  testing::Write(home.path() + "/text.txt", {'h', 'i', '\n'});
  const std::vector<std::pair<std::string, std::string>> cases = {
      {home.path() + "/missing.so", "invalid: (file missing)\n"},
      {home.path(), "invalid: (a directory)\n"},
      {home.path() + "/text.txt", "invalid: (not a PE, cabinet or ELF file)\n"},
      {Fixture("elf/unsigned.so"), "invalid: (no certificate record)\n"},
      {Fixture("pe/expired.dll"), "invalid: Gamma Ltd (certificate expired)\n"},
      {Fixture("pe/nousage.dll"), "invalid: Delta Ltd (no code-signing usage)\n"},
      {Fixture("pe/sha1leaf.dll"), "invalid: Theta Ltd (weak or unknown digest)\n"},
      {Fixture("pe/caleaf.dll"), "invalid: Eta Ltd (signer certificate is a CA)\n"},
      {path("pe-content-byte.dll"), "invalid: Alpha Software Ltd (digest mismatch)\n"},
      {path("pe-signature-byte.dll"), "invalid: Alpha Software Ltd (signature does not verify)\n"},
      {path("pe-random-entry.dll"), "invalid: (malformed signature)\n"},
      {path("cab-junk.cab"), "invalid: Alpha Software Ltd (malformed signature)\n"},
  };
  for (const auto& [file, expected] : cases) EXPECT_EQ(Verified(file), expected) << file;
  EXPECT_EQ(Verified(Fixture("elf/revoked.so"), Fixture("pki/anchors-crl.pem")),
            "invalid: Kappa Ltd (certificate revoked)\n");
}

TEST(LumoraSignTest, JsonVerdicts) {
  std::string output;
  EXPECT_EQ(Sign({"--json", "--verify", Fixture("pe/alpha.dll"), "--anchors", testing::Anchors()}, &output), 0);
  EXPECT_EQ(output, "{\"file\": \"" + Fixture("pe/alpha.dll") +
                        "\", \"valid\": true, \"signer\": \"Alpha Software Ltd\", \"reason\": null}\n");
  EXPECT_EQ(Sign({"--verify", Fixture("elf/rogue.so"), "--json", "--anchors", testing::Anchors()}, &output), 1);
  EXPECT_EQ(output, "{\"file\": \"" + Fixture("elf/rogue.so") +
                        "\", \"valid\": false, \"signer\": \"Rogue Ltd\", \"reason\": \"chain not trusted\"}\n");
}

TEST(LumoraSignTest, AnchorsThatCannotServeAreAnError) {
  testing::TempHome home;
  std::string output;
  const std::string empty = home.path() + "/empty.pem";
  testing::Write(empty, {'#', '\n'});
  for (const std::string& anchors : {home.path() + "/missing.pem", empty, home.path()}) {
    EXPECT_EQ(Sign({"--verify", Fixture("pe/alpha.dll"), "--anchors", anchors}, &output), 2) << anchors;
    EXPECT_EQ(output, "") << "no verdict against anchors that do not exist";
  }
}

// The check refuses such files; signing them would only make programs that never pass.
TEST(LumoraSignTest, RefusesCertificatesThatCannotSignCode) {
  testing::TempHome home;
  const std::string module = home.path() + "/module.so";
  std::filesystem::copy_file(Fixture("elf/unsigned.so"), module);
  for (const char* leaf : {"nousage", "keyagree", "caleaf", "sha1leaf"}) {
    EXPECT_EQ(Sign(With(Key(leaf), {module})), 1) << leaf;
    EXPECT_EQ(Verified(module), "invalid: (no certificate record)\n") << leaf << ": the file is untouched";
  }
  EXPECT_EQ(Sign(With(Key("noeku"), {module})), 0) << "a leaf that names no extended usages may sign";
}

TEST(LumoraSignTest, CommandLineInAnyOrderWithClearErrors) {
  testing::TempHome home;
  std::string output;
  EXPECT_EQ(Sign({"--help"}, &output), 0);
  EXPECT_NE(output.find("usage: lumora-sign"), std::string::npos);
  EXPECT_EQ(Sign({"--version"}, &output), 0);
  EXPECT_EQ(output, std::string("lumora-sign ") + LUMORA_VERSION + "\n");
  EXPECT_EQ(Sign({Fixture("pe/alpha.dll"), "--anchors", testing::Anchors(), "--verify"}, &output), 0)
      << "options after the file";
  EXPECT_EQ(output, "valid: Alpha Software Ltd\n");
  EXPECT_EQ(Sign({"--verify", "--anchors=" + testing::Anchors(), Fixture("pe/alpha.dll")}, &output), 0);
  EXPECT_EQ(Sign({}), 2);
  EXPECT_EQ(Sign({"--bogus", "file"}), 2);
  EXPECT_EQ(Sign({"--verify"}), 2) << "no file";
  EXPECT_EQ(Sign({"--verify", Fixture("pe/alpha.dll"), "--anchors"}), 2) << "a missing value";
  EXPECT_EQ(Sign({"--verify", "--anchors", "--json", Fixture("pe/alpha.dll")}), 2) << "an option is no value";
  EXPECT_EQ(Sign({"--verify", "a.so", "b.so"}), 2);
  EXPECT_EQ(Sign(With(Key("alpha"), {"--verify", Fixture("pe/alpha.dll")})), 2) << "signing options with --verify";
  const std::string pe = home.path() + "/image.dll";
  std::filesystem::copy_file(Fixture("pe/unsigned.dll"), pe);
  EXPECT_EQ(Sign(With(Key("alpha"), {pe})), 1) << "only ELF files are signed here";
  const std::string module = home.path() + "/module.so";
  std::filesystem::copy_file(Fixture("elf/unsigned.so"), module);
  EXPECT_EQ(Sign({"--cert", Fixture("pki/alpha.pem"), "--key", Fixture("pki/beta.key"), module}), 1)
      << "a key that does not belong to the certificate";
  EXPECT_EQ(Sign({"--cert", home.path() + "/none.pem", "--key", Fixture("pki/alpha.key"), module}), 1);
  EXPECT_EQ(Sign(With(Key("alpha"), {home.path() + "/missing.so"})), 1);
  EXPECT_EQ(Sign({module, "--key", Fixture("pki/alpha.key"), "--cert"}), 2) << "a missing value at the end";
}

}  // namespace
}  // namespace lumora
