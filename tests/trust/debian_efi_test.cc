// Real files signed by others: the EFI programs Debian signs for Secure Boot, fetched from
// the archive at test time (tests/fixtures/fetch_debian_efi.sh). The strict forms and the
// chain policy must accept them as they are, osslsigncode must agree, and one changed
// byte must make both refuse.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/trust/signature_fixture.h"
#include "trust/validate_exe.h"

namespace lumora {
namespace {

std::string EfiFile(const std::string& name) { return std::string(LUMORA_DEBIAN_EFI) + "/" + name; }

struct Signed {
  const char* file;
  const char* signer;
};

void PrintTo(const Signed& file, std::ostream* out) { *out << file.file; }

class DebianEfiTest : public ::testing::TestWithParam<Signed> {
 protected:
  void SetUp() override {
    std::ifstream unavailable(EfiFile("unavailable"));
    if (unavailable) {
      std::stringstream why;
      why << unavailable.rdbuf();
      GTEST_SKIP() << "Debian's signed EFI files could not be fetched: " << why.str();
    }
  }
  static int Osslsigncode(const std::string& path) {
    return testing::RunProgram({"/usr/bin/osslsigncode", "verify", "-CAfile", EfiFile("debian-ca.pem"), "-in", path});
  }
};

TEST_P(DebianEfiTest, VerifiesAgainstTheDebianCaAsOsslsigncodeDoes) {
  const std::string path = EfiFile(GetParam().file);
  ValidateExe check(path);
  check.SetTrustAnchors(EfiFile("debian-ca.pem"));
  EXPECT_TRUE(check.Validate()) << std::hex << check.LastResult();
  EXPECT_EQ(check.SignerName(), GetParam().signer);
  EXPECT_EQ(Osslsigncode(path), 0);

  ValidateExe systemRoots(path);
  systemRoots.SetTrustAnchors("/nonexistent/roots.pem");
  EXPECT_FALSE(systemRoots.Validate()) << "the system's web roots do not vouch for boot loaders";
  EXPECT_EQ(systemRoots.LastResult(), CERT_E_UNTRUSTEDROOT);
}

TEST_P(DebianEfiTest, OneChangedByteMakesBothRefuse) {
  testing::TempHome home;
  std::vector<BYTE> bytes = testing::Bytes(EfiFile(GetParam().file));
  bytes[bytes.size() / 2] ^= 0x20;
  const std::string changed = home.path() + "/changed.efi";
  testing::Write(changed, bytes);
  ValidateExe check(changed);
  check.SetTrustAnchors(EfiFile("debian-ca.pem"));
  EXPECT_FALSE(check.Validate());
  EXPECT_EQ(check.LastResult(), CRYPT_E_HASH_VALUE);
  EXPECT_NE(Osslsigncode(changed), 0);
}

INSTANTIATE_TEST_SUITE_P(Debian, DebianEfiTest,
                         ::testing::Values(Signed{"grubx64.efi.signed", "Debian Secure Boot Signer 2022 - grub2"},
                                           Signed{"fwupdx64.efi.signed", "Debian Secure Boot Signer 2022 - fwupd"}),
                         [](const auto& info) { return std::string(info.param.file).substr(0, 4); });

}  // namespace
}  // namespace lumora
