// Code signatures of PE images, cabinets and ELF modules as the store checks them: real
// files made by openssl, windres, ld, gcab, osslsigncode and lumora-sign, and files
// hand-crafted to break one rule each.
#include "trust/validate_exe.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <openssl/objects.h>
#include <openssl/x509.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>

#include "platform/codesign/system_library.h"
#include "tests/trust/crafted_signatures.h"
#include "tests/trust/signature_fixture.h"
#include "trust/cert_container.h"
#include "trust/system_wrappers.h"

namespace lumora {
namespace {

using testing::Fixture;

struct Verdict {
  bool valid;
  std::string signer;
  std::vector<BYTE> record;
  HRESULT result;
};

Verdict Check(const std::string& path, const std::string& anchors = testing::Anchors()) {
  ValidateExe check(path);
  check.SetTrustAnchors(anchors);
  const bool valid = check.Validate();
  return {valid, check.SignerName(), check.CertificateRecord(), check.LastResult()};
}

class FormsTest : public ::testing::TestWithParam<std::string> {
 protected:
  std::string File(const std::string& leaf) const { return Fixture(GetParam() + "/" + leaf + "." + Extension()); }
  std::string Extension() const { return GetParam() == "pe" ? "dll" : GetParam() == "cab" ? "cab" : "so"; }
};

TEST_P(FormsTest, SignedFilesPassAndNameTheirSigner) {
  const Verdict alpha = Check(File("alpha"));
  EXPECT_TRUE(alpha.valid);
  EXPECT_EQ(alpha.result, S_OK);
  EXPECT_EQ(alpha.signer, "Alpha Software Ltd");
  EXPECT_EQ(Check(File("beta")).signer, "Beta Tools Inc");
  // Without a CN the name is the subject's first line in encoded order, key included.
  const Verdict noCn = Check(File("nocn"));
  EXPECT_TRUE(noCn.valid);
  EXPECT_EQ(noCn.signer, "C=US") << "/C=US/O=NoCN Company";
  EXPECT_EQ(Check(File("nameless")).signer, "O=Nameless Org") << "/O=Nameless Org/OU=Unit";
  EXPECT_TRUE(Check(File("noeku")).valid) << "a leaf without extended key usages may sign code";
  ASSERT_GE(alpha.record.size(), kWinCertificateHeader);
  EXPECT_EQ(alpha.record[4] | alpha.record[5] << 8, WIN_CERT_REVISION_2_0);
  EXPECT_EQ(alpha.record[6], WIN_CERT_TYPE_PKCS_SIGNED_DATA);
}

TEST_P(FormsTest, UntrustedExpiredAndWrongUsageFail) {
  const Verdict expired = Check(File("expired"));
  EXPECT_FALSE(expired.valid);
  EXPECT_EQ(expired.signer, "Gamma Ltd") << "the name is set even when a later step fails";
  EXPECT_EQ(expired.result, GetParam() == "elf" ? TRUST_E_TIME_STAMP : CERT_E_EXPIRED)
      << "an ELF module signed today lies outside the certificate's validity";
  EXPECT_EQ(Check(File("rogue")).result, CERT_E_UNTRUSTEDROOT) << "a chain to an untrusted root";
  EXPECT_EQ(Check(File("nousage")).result, CERT_E_WRONG_USAGE) << "a leaf for server authentication only";
  EXPECT_EQ(Check(File("unsigned")).result, TRUST_E_NOSIGNATURE);
  ValidateExe systemAnchors(File("alpha"));
  systemAnchors.SetTrustAnchors("/nonexistent/roots.pem");
  EXPECT_FALSE(systemAnchors.Validate()) << "the system's store does not know the test root";
}

TEST_P(FormsTest, ChainPolicyRefusesEveryWeakLink) {
  EXPECT_EQ(Check(File("keyagree")).result, CERT_E_WRONG_USAGE) << "a leaf whose key usage is key agreement only";
  EXPECT_EQ(Check(File("caleaf")).result, TRUST_E_BASIC_CONSTRAINTS) << "a leaf that is a CA";
  EXPECT_EQ(Check(File("sha1leaf")).result, NTE_BAD_ALGID) << "a leaf signed with ecdsa-with-SHA1";
  EXPECT_EQ(Check(File("underserver")).result, CERT_E_WRONG_USAGE)
      << "a code-signing leaf under an intermediate restricted to server authentication";
  for (const char* leaf : {"keyagree", "caleaf", "sha1leaf", "underserver"}) {
    EXPECT_FALSE(Check(File(leaf)).signer.empty()) << leaf;
  }
}

TEST_P(FormsTest, RevocationListsInTheAnchorsFileAreChecked) {
  const std::string withList = Fixture("pki/anchors-crl.pem");
  EXPECT_TRUE(Check(File("revoked")).valid) << "without the list nothing is known";
  EXPECT_EQ(Check(File("revoked"), withList).result, CERT_E_REVOKED);
  EXPECT_TRUE(Check(File("alpha"), withList).valid) << "the list names one certificate only";
  EXPECT_TRUE(Check(File("nocn"), withList).valid) << "an issuer without a list is not checked";
}

// An anchors file cut in half, emptied or unreadable trusts nothing: it never falls back to
// the system's store, and never to the part that still parses.
TEST_P(FormsTest, ADamagedAnchorsFileTrustsNothing) {
  testing::TempHome home;
  std::vector<BYTE> anchors = testing::Bytes(Fixture("pki/anchors-crl.pem"));
  const std::string half = home.path() + "/half.pem";
  testing::Write(half, std::vector<BYTE>(anchors.begin(), anchors.begin() + static_cast<long>(anchors.size() / 2)));
  const std::string cut = home.path() + "/cut.pem";  // the root whole, the revocation list cut
  testing::Write(cut, std::vector<BYTE>(anchors.begin(), anchors.end() - 40));
  const std::string empty = home.path() + "/empty.pem";
  testing::Write(empty, {});
  for (const std::string& damaged : {half, cut, empty}) {
    const Verdict verdict = Check(File("alpha"), damaged);
    EXPECT_FALSE(verdict.valid) << damaged;
    EXPECT_EQ(verdict.result, CERT_E_UNTRUSTEDROOT) << damaged;
  }
  const std::string locked = home.path() + "/locked.pem";
  testing::Write(locked, anchors);
  ::chmod(locked.c_str(), 0);
  if (::geteuid() != 0) {
    EXPECT_EQ(Check(File("alpha"), locked).result, CERT_E_UNTRUSTEDROOT);
  }
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

// The check once read the record and the name from one open of the path and gave the
// trust provider the path to open again: a file swapped in between lent its signer to
// the other file's verdict ("valid: Rogue Ltd").
TEST_P(FormsTest, AFileSwappedDuringTheCheckNeverLendsItsSigner) {
  testing::TempHome home;
  const std::string trusted = home.path() + "/trusted";
  const std::string untrusted = home.path() + "/untrusted";
  const std::string target = home.path() + "/target";
  std::filesystem::copy_file(File("alpha"), trusted);
  std::filesystem::copy_file(File("rogue"), untrusted);
  std::filesystem::copy_file(trusted, target);
  const std::vector<BYTE> alphaRecord = Check(trusted).record;
  std::atomic<bool> stop{false};
  std::thread swapper([&] {
    const std::string next = target + ".next";
    for (int i = 0; !stop; ++i) {
      ::unlink(next.c_str());
      if (::link(i % 2 == 0 ? untrusted.c_str() : trusted.c_str(), next.c_str()) == 0) {
        ::rename(next.c_str(), target.c_str());
      }
    }
  });
  // At most 150 checks or 1.5 seconds: the old check mixed about one verdict in six.
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  int valid = 0;
  for (int i = 0; i < 150 && !HasFailure() && std::chrono::steady_clock::now() < end; ++i) {
    const Verdict verdict = Check(target);
    if (verdict.valid) {
      ++valid;
      EXPECT_EQ(verdict.signer, "Alpha Software Ltd") << "check " << i;
      EXPECT_TRUE(SameSigner(verdict.record, alphaRecord)) << "check " << i;
    } else {
      EXPECT_EQ(verdict.signer, "Rogue Ltd") << "check " << i;
      EXPECT_EQ(verdict.result, CERT_E_UNTRUSTEDROOT) << "check " << i;
    }
  }
  stop = true;
  swapper.join();
  RecordProperty("valid", valid);
}

INSTANTIATE_TEST_SUITE_P(EveryForm, FormsTest, ::testing::Values("pe", "cab", "elf"));

class TamperedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_files = testing::MakeTamperedFiles(m_home.path());
    for (auto& file : testing::MakeResignedFiles(m_home.path())) m_files.push_back(std::move(file));
  }
  Verdict Of(const std::string& name) {
    for (const auto& file : m_files) {
      if (file.name == name) return Check(file.path);
    }
    ADD_FAILURE() << "no such tampered file " << name;
    return {true, "", {}, S_OK};
  }
  testing::TempHome m_home;
  std::vector<testing::Tampered> m_files;
};

TEST_F(TamperedTest, AnyChangeOrHiddenDataFails) {
  for (const char* name :
       {"pe-content-byte.dll", "pe-appended.dll", "pe-table-short.dll", "pe-entry-length.dll", "pe-message-byte.dll",
        "pe-signature-byte.dll", "cab-content-byte.cab", "cab-message-byte.cab", "cab-appended.cab",
        "elf-content-byte.so", "elf-trailer.so", "elf-length.so"}) {
    EXPECT_FALSE(Of(name).valid) << name;
  }
  EXPECT_EQ(Of("pe-content-byte.dll").result, CRYPT_E_HASH_VALUE);
  EXPECT_EQ(Of("elf-content-byte.so").result, CRYPT_E_HASH_VALUE);
  EXPECT_EQ(Of("pe-signature-byte.dll").result, TRUST_E_BAD_DIGEST);
}

// Bytes outside the digest that a signer could fill at will after signing.
TEST_F(TamperedTest, UnhashedBytesCannotRideAlong) {
  for (const char* name : {"pe-second-entry.dll", "pe-random-entry.dll", "pe-revision-0100.dll", "pe-type-0.dll",
                           "pe-type-1.dll", "pe-type-0ef1.dll", "cab-reserved1.cab", "cab-junk.cab"}) {
    const Verdict verdict = Of(name);
    EXPECT_FALSE(verdict.valid) << name;
    EXPECT_EQ(verdict.result, TRUST_E_MALFORMED_SIGNATURE) << name;
  }
}

// Files re-signed with a valid key after a change the digest covers: only the strict form
// and the attribute checks can refuse them.
TEST_F(TamperedTest, ResignedFilesInLaxFormsFail) {
  ASSERT_TRUE(Of("pe-resigned.dll").valid) << "the re-signing itself makes files the check accepts";
  ASSERT_TRUE(Of("cab-resigned.cab").valid);
  for (const char* name : {"pe-headers-zero.dll", "pe-headers-past-file.dll", "pe-content-type-data.dll",
                           "cab-previous.cab", "cab-next.cab"}) {
    const Verdict verdict = Of(name);
    EXPECT_FALSE(verdict.valid) << name;
    EXPECT_EQ(verdict.result, TRUST_E_MALFORMED_SIGNATURE) << name;
  }
}

class ElfAttributesTest : public ::testing::Test {
 protected:
  Verdict CheckSigned(const std::vector<BYTE>& file) {
    const std::string path = m_home.path() + "/module" + std::to_string(m_count++) + ".so";
    testing::Write(path, file);
    return Check(path);
  }
  testing::TempHome m_home;
  int m_count = 0;
  const std::vector<BYTE> m_module = testing::Bytes(Fixture("elf/unsigned.so"));
};

TEST_F(ElfAttributesTest, SigningTimeLiesWithinTheSignerCertificate) {
  ASSERT_TRUE(CheckSigned(testing::SignElf(m_module, "alpha")).valid);
  const time_t early = 1546300800;  // 2019-01-01
  const time_t late = 2493072000;   // 2049-01-01
  EXPECT_EQ(CheckSigned(testing::SignElf(m_module, "alpha", &early)).result, TRUST_E_TIME_STAMP);
  EXPECT_EQ(CheckSigned(testing::SignElf(m_module, "alpha", &late)).result, TRUST_E_TIME_STAMP);
  const testing::SignerEdit noTime = [](PKCS7*, PKCS7_SIGNER_INFO* signer) {
    X509_ATTRIBUTE_free(
        X509at_delete_attr(signer->auth_attr, X509at_get_attr_by_NID(signer->auth_attr, NID_pkcs9_signingTime, -1)));
  };
  EXPECT_EQ(CheckSigned(testing::SignElf(m_module, "alpha", nullptr, noTime)).result, TRUST_E_TIME_STAMP);
}

TEST_F(ElfAttributesTest, TheContentIsDataAndTheAttributeSaysSo) {
  const testing::SignerEdit unchanged = [](PKCS7*, PKCS7_SIGNER_INFO*) {};
  ASSERT_TRUE(CheckSigned(testing::SignElf(m_module, "alpha", nullptr, unchanged)).valid);
  constexpr const char* kIndirect = "1.3.6.1.4.1.311.2.1.4";
  const Verdict notData =
      CheckSigned(testing::SignElf(m_module, "alpha", nullptr, testing::SetContentType(kIndirect, true)));
  EXPECT_EQ(notData.result, TRUST_E_MALFORMED_SIGNATURE) << "content type and attribute agree, but not on data";
  const Verdict mismatch =
      CheckSigned(testing::SignElf(m_module, "alpha", nullptr, testing::SetContentType(kIndirect, false)));
  EXPECT_EQ(mismatch.result, TRUST_E_MALFORMED_SIGNATURE) << "the attribute names another content type";
}

TEST(CabinetFormTest, OnlyWhatFollowsTheDeclaredSizeIsACabinetRecord) {
  testing::TraceCapture traces;
  const Verdict unsignedCabinet = Check(Fixture("cab/unsigned.cab"));
  EXPECT_FALSE(unsignedCabinet.valid) << "nothing after the size: tried as an image, which fails";
  EXPECT_EQ(unsignedCabinet.result, TRUST_E_NOSIGNATURE);
  EXPECT_EQ(Check(Fixture("cab/short.cab")).result, HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT))
      << "too short for the size word: no cabinet";
  EXPECT_EQ(Check(Fixture("nowhere/at/all.dll")).result, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  ValidateExe noTarget("");
  EXPECT_FALSE(noTarget.HasTarget());
  EXPECT_FALSE(noTarget.Validate());
  EXPECT_TRUE(traces.texts().empty()) << "no signed message was reached";
}

TEST(FileKindsTest, WhatIsNoRegularFileFailsAtOnce) {
  testing::TempHome home;
  EXPECT_EQ(Check(home.path()).result, HRESULT_FROM_WIN32(ERROR_DIRECTORY_NOT_SUPPORTED));
  const std::string fifo = home.path() + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(Check(fifo).result, HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT)) << "refused, never waited on";
  const std::string empty = home.path() + "/empty";
  testing::Write(empty, {});
  EXPECT_EQ(Check(empty).result, HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT));
  const std::string text = home.path() + "/text";
  testing::Write(text, {'h', 'e', 'l', 'l', 'o'});
  EXPECT_EQ(Check(text).result, HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT));
  const std::string locked = home.path() + "/locked.dll";
  std::filesystem::copy_file(Fixture("pe/alpha.dll"), locked);
  ::chmod(locked.c_str(), 0);
  if (::geteuid() != 0) {
    EXPECT_EQ(Check(locked).result, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  }
}

// A file cut short in place while its digest was computed once ended the process (SIGBUS).
TEST(FileKindsTest, AFileCutShortDuringTheCheckFailsAndTheProcessLives) {
  testing::TempHome home;
  std::vector<BYTE> module = testing::Bytes(Fixture("elf/unsigned.so"));
  module.resize(size_t{32} << 20, 0x5A);
  const std::vector<BYTE> signedModule = testing::SignElf(module, "alpha");
  const std::string path = home.path() + "/big.so";
  int cut = 0;
  for (int i = 0; i < 6; ++i) {
    testing::Write(path, signedModule);
    std::thread cutter([&path, i] {
      std::this_thread::sleep_for(std::chrono::milliseconds(1 + 2 * i));
      ::truncate(path.c_str(), 1 << 20);
    });
    const Verdict verdict = Check(path);
    cutter.join();
    if (verdict.result == HRESULT_FROM_WIN32(ERROR_FILE_INVALID)) {
      ++cut;
      EXPECT_FALSE(verdict.valid);
    } else {
      // Cut before the check began (no signature left), or after it ended.
      EXPECT_TRUE(verdict.valid || verdict.result == TRUST_E_NOSIGNATURE) << std::hex << verdict.result;
    }
  }
  RecordProperty("cut", cut);
}

TEST(SignedMessageTest, WithoutCertificatesVerificationFailsNamelessly) {
  testing::TempHome home;
  testing::TraceCapture traces;
  const std::string path = home.path() + "/nocerts.so";
  testing::Write(path, testing::SignElf(testing::Bytes(Fixture("elf/unsigned.so")), "alpha", nullptr, {}, false));
  const Verdict verdict = Check(path);
  EXPECT_FALSE(verdict.valid);
  EXPECT_EQ(verdict.signer, "");
  EXPECT_EQ(verdict.result, CRYPT_E_SIGNER_NOT_FOUND);
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
  const Verdict noProvider = Check(Fixture("cab/alpha.cab"));
  EXPECT_FALSE(noProvider.valid) << "no trust provider, no trust";
  EXPECT_EQ(noProvider.result, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
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

// The wrappers are process-wide and their users come and go on any thread: a lost update
// of the use count would free a library under another user or keep it for good.
TEST(ConcurrencyTest, ChecksOnEightThreadsAgreeAndGiveEveryLoadBack) {
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &wrong] {
      const char* files[] = {"pe/alpha.dll", "cab/beta.cab", "elf/alpha.so", "pe/rogue.dll"};
      for (int i = 0; i < 15; ++i) {
        const std::string file = files[(t + i) % 4];
        const Verdict verdict = Check(Fixture(file));
        const bool rogue = file == "pe/rogue.dll";
        if (verdict.valid == rogue) ++wrong;
        if (!rogue && SameSigner(verdict.record, verdict.record) == false) ++wrong;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(DecoderCrypt32().Users(), 0);
  EXPECT_EQ(ContainerCrypt32().Users(), 0);
  EXPECT_EQ(Imagehlp().Users(), 0);
  EXPECT_EQ(codesign::LoadedCount("CRYPT32.DLL"), 0);
  EXPECT_EQ(codesign::LoadedCount("IMAGEHLP.DLL"), 0);
}

TEST(CrossCheckTest, OurVerdictsMatchOsslsigncode) {
  testing::TempHome home;
  std::vector<std::string> files;
  for (const char* form : {"pe", "cab"}) {
    for (const char* leaf :
         {"alpha", "alpha2", "alpha-other", "beta", "nocn", "nameless", "noeku", "expired", "nousage", "rogue",
          "revoked", "keyagree", "caleaf", "sha1leaf", "underserver", "unsigned"}) {
      files.push_back(Fixture(std::string(form) + "/" + leaf + (std::string(form) == "pe" ? ".dll" : ".cab")));
    }
  }
  files.push_back(Fixture("cab/short.cab"));
  for (const auto& tampered : testing::MakeTamperedFiles(home.path())) {
    if (tampered.name.rfind("elf", 0) != 0) files.push_back(tampered.path);
  }
  for (const auto& resigned : testing::MakeResignedFiles(home.path())) files.push_back(resigned.path);
  ASSERT_GE(files.size(), 50u);
  // Where the store is stricter than osslsigncode by design. The strict forms: zero
  // padding beyond 7 bytes in an entry, or junk after a cabinet's PKCS #7, is room to
  // hide data; a SizeOfHeaders outside the headers, a signed content type that names
  // other content, and a cabinet that belongs to a set are refused. The chain policy:
  // leaves that are CAs, that may only agree keys, that are signed with SHA-1, or that sit
  // under an intermediate restricted to another usage. (A second table entry, a
  // previous cabinet and a foreign entry header it refuses as we do.)
  const std::map<std::string, bool> byDesign = {{"pe-entry-length.dll", false},
                                                {"cab-junk.cab", false},
                                                {"pe-headers-zero.dll", false},
                                                {"pe-headers-past-file.dll", false},
                                                {"pe-content-type-data.dll", false},
                                                {"cab-next.cab", false},
                                                {"keyagree.dll", false},
                                                {"keyagree.cab", false},
                                                {"caleaf.dll", false},
                                                {"caleaf.cab", false},
                                                {"sha1leaf.dll", false},
                                                {"sha1leaf.cab", false},
                                                {"underserver.dll", false},
                                                {"underserver.cab", false}};
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
  // With the revocation list: osslsigncode takes it apart from the anchors.
  for (const char* file : {"pe/revoked.dll", "cab/revoked.cab", "pe/alpha.dll"}) {
    const int ossl = testing::RunProgram({"/usr/bin/osslsigncode", "verify", "-CAfile", testing::Anchors(), "-CRLfile",
                                          Fixture("pki/inter-crl.pem"), "-in", Fixture(file)});
    EXPECT_EQ(Check(Fixture(file), Fixture("pki/anchors-crl.pem")).valid, ossl == 0) << file;
  }
}

}  // namespace
}  // namespace lumora
