// Code signatures of PE images, cabinets and ELF modules as the store checks them: real
// files made by openssl, windres, ld, gcab, osslsigncode and lumora-sign.
#include "trust/validate_exe.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>

#include <map>
#include <memory>

#include "platform/codesign/system_library.h"
#include "tests/trust/signature_fixture.h"
#include "trust/cert_container.h"

namespace lumora {
namespace {

using testing::Fixture;

struct Verdict {
  bool valid;
  std::string signer;
  std::vector<BYTE> record;
};

Verdict Check(const std::string& path) {
  ValidateExe check(path);
  check.SetTrustAnchors(testing::Anchors());
  const bool valid = check.Validate();
  return {valid, check.SignerName(), check.CertificateRecord()};
}

class FormsTest : public ::testing::TestWithParam<std::string> {
 protected:
  std::string File(const std::string& leaf) const { return Fixture(GetParam() + "/" + leaf + "." + Extension()); }
  std::string Extension() const { return GetParam() == "pe" ? "dll" : GetParam() == "cab" ? "cab" : "so"; }
};

TEST_P(FormsTest, SignedFilesPassAndNameTheirSigner) {
  const Verdict alpha = Check(File("alpha"));
  EXPECT_TRUE(alpha.valid);
  EXPECT_EQ(alpha.signer, "Alpha Software Ltd");
  EXPECT_EQ(Check(File("beta")).signer, "Beta Tools Inc");
  const Verdict noCn = Check(File("nocn"));
  EXPECT_TRUE(noCn.valid);
  EXPECT_EQ(noCn.signer, "O=NoCN Company") << "without a CN: the first line of the subject, key included";
  ASSERT_GE(alpha.record.size(), kWinCertificateHeader);
  EXPECT_EQ(alpha.record[4] | alpha.record[5] << 8, WIN_CERT_REVISION_2_0);
  EXPECT_EQ(alpha.record[6], WIN_CERT_TYPE_PKCS_SIGNED_DATA);
}

TEST_P(FormsTest, UntrustedExpiredAndWrongUsageFail) {
  const Verdict expired = Check(File("expired"));
  EXPECT_FALSE(expired.valid);
  EXPECT_EQ(expired.signer, "Gamma Ltd") << "the name is set even when a later step fails";
  EXPECT_FALSE(Check(File("rogue")).valid) << "a chain to an untrusted root";
  EXPECT_FALSE(Check(File("nousage")).valid) << "a leaf without the code-signing usage";
  EXPECT_FALSE(Check(File("unsigned")).valid);
  ValidateExe systemAnchors(File("alpha"));
  systemAnchors.SetTrustAnchors("/nonexistent/roots.pem");
  EXPECT_FALSE(systemAnchors.Validate()) << "the system's store does not know the test root";
}

TEST_P(FormsTest, RecordsCompareBySigningCertificate) {
  const Verdict alpha = Check(File("alpha"));
  const Verdict other = Check(File("alpha-other"));
  const Verdict alpha2 = Check(File("alpha2"));
  const Verdict beta = Check(File("beta"));
  ASSERT_TRUE(other.valid);
  EXPECT_NE(alpha.record, other.record);
  EXPECT_TRUE(SameSigner(alpha.record, other.record)) << "two files, one signing certificate";
  EXPECT_FALSE(SameSigner(alpha.record, alpha2.record)) << "two certificates of one company differ";
  EXPECT_FALSE(SameSigner(alpha.record, beta.record));
  EXPECT_FALSE(SameSigner(alpha.record, {})) << "a record that does not decode";
  std::vector<BYTE> wrongRevision = alpha.record;
  wrongRevision[5] = 0x01;
  EXPECT_FALSE(SameSigner(alpha.record, wrongRevision)) << "only revision 0x0200 records are taken";
}

INSTANTIATE_TEST_SUITE_P(EveryForm, FormsTest, ::testing::Values("pe", "cab", "elf"));

class TamperedTest : public ::testing::Test {
 protected:
  void SetUp() override { m_files = testing::MakeTamperedFiles(m_home.path()); }
  bool Valid(const std::string& name) {
    for (const auto& file : m_files) {
      if (file.name == name) return Check(file.path).valid;
    }
    ADD_FAILURE() << "no such tampered file " << name;
    return true;
  }
  testing::TempHome m_home;
  std::vector<testing::Tampered> m_files;
};

TEST_F(TamperedTest, AnyChangeOrHiddenDataFails) {
  for (const char* name :
       {"pe-content-byte.dll", "pe-appended.dll", "pe-table-short.dll", "pe-entry-length.dll", "pe-message-byte.dll",
        "pe-signature-byte.dll", "cab-content-byte.cab", "cab-message-byte.cab", "cab-appended.cab",
        "elf-content-byte.so", "elf-trailer.so", "elf-length.so"}) {
    EXPECT_FALSE(Valid(name)) << name;
  }
  EXPECT_TRUE(Valid("pe-second-entry.dll")) << "the first entry is judged";
  for (const auto& file : m_files) {
    if (file.name == "pe-second-entry.dll") {
      EXPECT_EQ(Check(file.path).signer, "Alpha Software Ltd");
    }
  }
}

TEST(CabinetFormTest, OnlyWhatFollowsTheDeclaredSizeIsACabinetRecord) {
  testing::TraceCapture traces;
  EXPECT_FALSE(Check(Fixture("cab/unsigned.cab")).valid) << "nothing after the size: tried as an image, which fails";
  EXPECT_FALSE(Check(Fixture("cab/short.cab")).valid) << "too short for the size word: no cabinet";
  EXPECT_FALSE(Check(Fixture("nowhere/at/all.dll")).valid) << "a path to no file";
  ValidateExe noTarget("");
  EXPECT_FALSE(noTarget.HasTarget());
  EXPECT_FALSE(noTarget.Validate());
  EXPECT_TRUE(traces.texts().empty()) << "no signed message was reached";
}

// An ELF module whose signed message carries no certificates.
std::string UnsignedCertificatesModule(const std::string& folder) {
  std::vector<BYTE> file = testing::Bytes(Fixture("elf/unsigned.so"));
  BIO* certBio = BIO_new_file(Fixture("pki/alpha.pem").c_str(), "r");
  BIO* keyBio = BIO_new_file(Fixture("pki/alpha.key").c_str(), "r");
  X509* cert = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
  EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
  BIO* content = BIO_new_mem_buf(file.data(), static_cast<int>(file.size()));
  PKCS7* p7 = PKCS7_sign(cert, key, nullptr, content, PKCS7_DETACHED | PKCS7_BINARY | PKCS7_NOCERTS);
  unsigned char* der = nullptr;
  const int length = i2d_PKCS7(p7, &der);
  file.insert(file.end(), der, der + length);
  const BYTE trailer[12] = {0,
                            0,
                            2,
                            0,
                            0,
                            0,
                            0,
                            0,
                            static_cast<BYTE>(length >> 24),
                            static_cast<BYTE>(length >> 16),
                            static_cast<BYTE>(length >> 8),
                            static_cast<BYTE>(length)};
  file.insert(file.end(), trailer, trailer + 12);
  file.insert(file.end(), kModuleSignatureMagic, kModuleSignatureMagic + kModuleSignatureMagicLength);
  OPENSSL_free(der);
  PKCS7_free(p7);
  BIO_free(content);
  EVP_PKEY_free(key);
  X509_free(cert);
  BIO_free(keyBio);
  BIO_free(certBio);
  const std::string path = folder + "/nocerts.so";
  testing::Write(path, file);
  return path;
}

TEST(SignedMessageTest, WithoutCertificatesVerificationFailsNamelessly) {
  testing::TempHome home;
  testing::TraceCapture traces;
  const Verdict verdict = Check(UnsignedCertificatesModule(home.path()));
  EXPECT_FALSE(verdict.valid);
  EXPECT_EQ(verdict.signer, "");
  EXPECT_THAT(traces.texts(), ::testing::ElementsAre("Verify Signature failed"));
}

TEST(SignedMessageTest, SignerCertificateTimeCheck) {
  for (const auto& [leaf, valid] : {std::pair<const char*, bool>{"alpha", true}, {"expired", false}}) {
    const Verdict verdict = Check(Fixture(std::string("elf/") + leaf + ".so"));
    DecodeSignedMessage message;
    ASSERT_EQ(message.Decode(verdict.record.data() + 8, static_cast<DWORD>(verdict.record.size() - 8)), S_OK);
    ASSERT_EQ(message.GetSigner(), S_OK);
    EXPECT_EQ(SignerCertificateTimeValid(message), valid) << leaf;
    EXPECT_FALSE(message.PublicKeyInfo().empty());
  }
  DecodeSignedMessage junk;
  const BYTE notAMessage[] = {0x30, 0x03, 0x02, 0x01, 0x05};
  EXPECT_TRUE(FAILED(junk.Decode(notAMessage, sizeof notAMessage)));
}

class LibraryFailureTest : public ::testing::Test {
 protected:
  void TearDown() override {
    codesign::SetLibraryLoadFailure("CRYPT32.DLL", false);
    codesign::SetLibraryLoadFailure("IMAGEHLP.DLL", false);
    codesign::SetLibraryLoadFailure("wintrust.dll", false);
    codesign::SetMissingEntryPoint("CertCompare", false);
  }
};

TEST_F(LibraryFailureTest, AWrapperWithoutItsLibraryFailsEveryCheckThatNeedsIt) {
  {
    testing::TraceCapture traces;
    codesign::SetLibraryLoadFailure("CRYPT32.DLL", true);
    EXPECT_FALSE(Check(Fixture("pe/alpha.dll")).valid);
    EXPECT_EQ(GetLastError(), ERROR_DLL_NOT_FOUND);
    EXPECT_THAT(traces.texts(), ::testing::Contains("CRYPT32::CRYPT32: error loading: 126"));
    EXPECT_THAT(traces.texts(), ::testing::Contains("Verify Signature failed"));
    codesign::SetLibraryLoadFailure("CRYPT32.DLL", false);
  }
  {
    testing::TraceCapture traces;
    codesign::SetLibraryLoadFailure("IMAGEHLP.DLL", true);
    EXPECT_FALSE(Check(Fixture("pe/alpha.dll")).valid);
    EXPECT_FALSE(Check(Fixture("elf/alpha.so")).valid);
    EXPECT_TRUE(Check(Fixture("cab/alpha.cab")).valid) << "a cabinet is read without the image library";
    EXPECT_THAT(traces.texts(), ::testing::Contains("UImagehlp::UImagehlp: error loading: 126"));
    codesign::SetLibraryLoadFailure("IMAGEHLP.DLL", false);
  }
  codesign::SetLibraryLoadFailure("wintrust.dll", true);
  EXPECT_FALSE(Check(Fixture("cab/alpha.cab")).valid) << "no trust provider, no trust";
  codesign::SetLibraryLoadFailure("wintrust.dll", false);

  const Verdict alpha = Check(Fixture("pe/alpha.dll"));
  const Verdict other = Check(Fixture("pe/alpha-other.dll"));
  codesign::SetMissingEntryPoint("CertCompare", true);
  EXPECT_FALSE(SameSigner(alpha.record, other.record)) << "a missing entry point fails its call";
  EXPECT_EQ(GetLastError(), ERROR_DLL_NOT_FOUND);
  codesign::SetMissingEntryPoint("CertCompare", false);
  EXPECT_TRUE(SameSigner(alpha.record, other.record));
  EXPECT_EQ(codesign::LoadedCount("CRYPT32.DLL"), 0) << "every load was given back";
  EXPECT_EQ(codesign::LoadedCount("IMAGEHLP.DLL"), 0);
}

TEST(CrossCheckTest, OurVerdictsMatchOsslsigncode) {
  testing::TempHome home;
  std::vector<std::string> files;
  for (const char* form : {"pe", "cab"}) {
    for (const char* leaf :
         {"alpha", "alpha2", "alpha-other", "beta", "nocn", "expired", "nousage", "rogue", "unsigned"}) {
      files.push_back(Fixture(std::string(form) + "/" + leaf + (std::string(form) == "pe" ? ".dll" : ".cab")));
    }
  }
  files.push_back(Fixture("cab/short.cab"));
  for (const auto& tampered : testing::MakeTamperedFiles(home.path())) {
    if (tampered.name.rfind("elf", 0) != 0) files.push_back(tampered.path);
  }
  ASSERT_GE(files.size(), 20u);
  // Where the store is stricter or more lenient than osslsigncode by design: zero padding
  // beyond 7 bytes in an entry is room to hide data, so the store refuses it; and the store
  // judges the first entry of the table only.
  const std::map<std::string, bool> byDesign = {{"pe-entry-length.dll", false}, {"pe-second-entry.dll", true}};
  for (const std::string& file : files) {
    std::string output;
    const int ossl =
        testing::RunProgram({"/usr/bin/osslsigncode", "verify", "-CAfile", testing::Anchors(), "-in", file}, &output);
    const std::string name = file.substr(file.rfind('/') + 1);
    const auto expected = byDesign.find(name);
    if (expected != byDesign.end()) {
      EXPECT_EQ(Check(file).valid, expected->second) << file;  // whatever this osslsigncode version says
      continue;
    }
    EXPECT_EQ(Check(file).valid, ossl == 0) << file << "\n" << output;
  }
}

}  // namespace
}  // namespace lumora
