// The privileged objects from outside: administration programs signed with the product
// certificate or a partner's, each in its own process, against a local installation.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>

#include "common/settings_client.h"
#include "platform/codesign/image_certificates.h"
#include "store/key_set.h"
#include "store/profile_database.h"
#include "store/scratch_set.h"
#include "store/store_context.h"
#include "store/value_protection.h"
#include "tests/acceptance/installation_fixture.h"
#include "trust/validate_exe.h"

namespace lumora::testing {
namespace {

namespace fs = std::filesystem;

class PrivilegedTest : public InstallationTest {
 protected:
  // The certificate record of a signed file, saved where an administration program can
  // read it.
  std::string SaveRecord(const std::string& signedFile, const std::string& name) {
    std::vector<BYTE> bytes;
    EXPECT_TRUE(ReadWholeFile(signedFile, &bytes));
    std::vector<BYTE> record;
    PeCertificate pe{};
    ElfSignature elf{};
    if (SUCCEEDED(ReadPeCertificate(bytes, &pe))) {
      record.assign(pe.entry.begin(), pe.entry.end());
    } else if (SUCCEEDED(ReadElfSignature(bytes, &elf))) {
      record = MakeCertificateRecord(elf.der);
    }
    EXPECT_FALSE(record.empty()) << signedFile;
    const std::string path = m_home->path() + "/" + name + ".record";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(record.data()), static_cast<std::streamsize>(record.size()));
    return path;
  }
  static std::string Result(const std::string& line) { return line.substr(0, 10); }
};

TEST_F(PrivilegedTest, TheSuperUserIsOnlyForTheRootsOwner) {
  EXPECT_EQ(RunSteps(Admin("acme"), {"super"}), (std::vector<std::string>{kAccessDenied}));
  EXPECT_EQ(RunSteps(Admin("unsigned"), {"super"}), (std::vector<std::string>{kAccessDenied}));
  EXPECT_EQ(RunSteps(Admin("product"), {"super", "reserved"}),
            (std::vector<std::string>{kOk, "0x80004001", "0x80004001", "0x80004001", kOk}));
  EXPECT_EQ(CertRows().size(), 1u) << "nothing was claimed on the way";
}

TEST_F(PrivilegedTest, AccessKeysAreForTheRootsOwnerAndTheLastKeyOnly) {
  // Before any key: refused, even for an empty key.
  EXPECT_EQ(RunSteps(Admin("product"), {"trade-key", "-", "trade-key", "0000000000"}),
            (std::vector<std::string>{kAccessDenied, kAccessDenied}));
  EXPECT_EQ(RunSteps(Admin("acme"), {"getkey"}), (std::vector<std::string>{kAccessDenied}));

  const auto results = RunSteps(Admin("product"), {"getkey", "trade", "trade", "getkey", "trade"});
  ASSERT_EQ(results.size(), 5u);
  EXPECT_EQ(Result(results[0]), kOk);
  const std::string first = results[0].substr(11);
  EXPECT_EQ(first.size(), 10u);
  EXPECT_EQ(first.find_first_not_of("0123456789ABCDEF"), std::string::npos) << first;
  EXPECT_EQ(results[1], kOk) << "the key can be traded";
  EXPECT_EQ(results[2], kOk) << "and traded again";
  EXPECT_EQ(Result(results[3]), kOk);
  EXPECT_NE(results[3].substr(11), first);
  EXPECT_EQ(results[4], kOk);

  const auto stale = RunSteps(Admin("product"), {"getkey", "getkey", "trade-key", "ABCDEF0123"});
  ASSERT_EQ(stale.size(), 3u);
  EXPECT_EQ(stale[2], kAccessDenied);
  const auto old = RunSteps(Admin("product"), {"getkey"});
  EXPECT_EQ(RunSteps(Admin("product"), {"trade-key", old[0].substr(11)}), (std::vector<std::string>{kAccessDenied}))
      << "keys live in the process that made them";
}

TEST_F(PrivilegedTest, UnderAuthenticateChecksTheNamedProgramUnlessTrusted) {
  EXPECT_EQ(RunSteps(Admin("product"), {"super", "under", "com.acme.planner", Partner("unsigned"), "0", "under",
                                        "com.acme.planner", Partner("unsigned"), "1", "under", "com.acme.planner",
                                        Partner("acme"), "0", "under", "com.acme.planner", Partner("globex"), "0"}),
            (std::vector<std::string>{kOk, kAccessDenied, kOk, kOk, kAccessDenied}));
  const auto rows = CertRows();
  ASSERT_EQ(rows.size(), 2u) << "the named program claimed the unregistered section";
  EXPECT_EQ(rows[1].section, "com.acme.planner");
  EXPECT_EQ(rows[1].cert, "Acme Planning Ltd");
}

TEST_F(PrivilegedTest, CertificateManagementIsRefusedToPartners) {
  const std::string acme = SaveRecord(Partner("acme"), "acme");
  ASSERT_EQ(RunPartner("globex", {"grant", "com.globex.tools"})["grant"], kOk);
  const auto before = CertRows();
  EXPECT_EQ(RunSteps(Admin("acme"), {"cert-add",
                                     "com.globex.tools",
                                     "0",
                                     acme,
                                     "cert-delete",
                                     "com.globex.tools",
                                     "0",
                                     acme,
                                     "cert-revoke",
                                     "com.globex.tools",
                                     "0",
                                     acme,
                                     "cert-get",
                                     "com.globex.tools",
                                     "0",
                                     "0",
                                     m_home->path() + "/out",
                                     "cert-check",
                                     "com.globex.tools",
                                     "0",
                                     "0",
                                     acme}),
            (std::vector<std::string>(5, kAccessDenied)));
  const auto after = CertRows();
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i].usage, before[i].usage);
  EXPECT_FALSE(fs::exists(m_home->path() + "/out"));
}

TEST_F(PrivilegedTest, TheProductManagesCertificatesWithoutGaps) {
  const std::string acme = SaveRecord(Partner("acme"), "acme");
  const std::string acme2 = SaveRecord(Partner("acme2"), "acme2");
  const std::string globex = SaveRecord(Partner("globex"), "globex");
  const std::string section = "com.shared.section";
  const std::string out = m_home->path() + "/got.record";
  EXPECT_EQ(RunSteps(Admin("product"),
                     {"cert-add", section, "0", acme,   "cert-add", section, "0", acme, "cert-add", section, "0", acme2,
                      "cert-add", section, "0", globex, "cert-get", section, "0", "2",  out}),
            (std::vector<std::string>{kOk, kOk, kOk, kOk, kOk}));
  std::ifstream got(out, std::ios::binary);
  std::ifstream expected(globex, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(got), {}),
            std::string(std::istreambuf_iterator<char>(expected), {}))
      << "number 2 is the third certificate added";
  auto usages = [&]() {
    std::vector<std::pair<std::string, LONG>> found;
    for (const CertRow& row : CertRows()) {
      if (row.section == section) found.emplace_back(row.cert, row.usage);
    }
    return found;
  };
  EXPECT_EQ(usages(), (std::vector<std::pair<std::string, LONG>>{
                          {"Acme Planning Ltd", 0}, {"Acme Planning Ltd", 100}, {"Globex Corporation", 101}}));

  // Deleting number 0 of three gives the last row number 0; number 2 is gone.
  EXPECT_EQ(RunSteps(Admin("product"), {"cert-delete", section, "0", acme, "cert-get", section, "0", "2", out,
                                        "cert-delete", section, "0", acme, "cert-revoke", section, "0", acme2}),
            (std::vector<std::string>{kOk, "0x8004E302", kOk, kOk}));
  EXPECT_EQ(usages(), (std::vector<std::pair<std::string, LONG>>{{"Globex Corporation", 0}}));
  const auto notices = Notices();
  ASSERT_EQ(notices.size(), 2u) << "deleting what is not registered tells nobody";
  EXPECT_EQ(notices[0].first, "Relationship Settings");
  EXPECT_EQ(notices[0].second, "Note: A signing certificate from Acme Planning Ltd has been deleted.");
  EXPECT_EQ(notices[1].second, "Note: A signing certificate from Acme Planning Ltd has been revoked.");

  // A class-1 row of a section without class-0 rows belongs to an unknown company.
  EXPECT_EQ(
      RunSteps(Admin("product"), {"cert-add", "com.nobody", "1", acme, "cert-add", "com.nobody", "1", globex,
                                  "cert-add", "com.nobody", "2", acme, "cert-add", "com.nobody", "0", "/dev/null"}),
      (std::vector<std::string>{kOk, kOk, "0x80070057", "0x80070057"}));
  std::vector<CertRow> nobody;
  for (const CertRow& row : CertRows()) {
    if (row.section == "com.nobody") nobody.push_back(row);
  }
  ASSERT_EQ(nobody.size(), 1u) << "a section keeps at most one class-1 row";
  EXPECT_EQ(nobody[0].cert, "Unknown Company");
  EXPECT_EQ(nobody[0].usage, 1);
}

// A usage class other than 0 and 1 names no rows: it may not delete one of either class
// (which no renumbering of that class would follow) nor vouch for one.
TEST_F(PrivilegedTest, CertificatesAreDeletedAndCheckedInTheirOwnClassOnly) {
  const std::string acme = SaveRecord(Partner("acme"), "acme");
  const std::string globex = SaveRecord(Partner("globex"), "globex");
  const std::string section = "com.classes";
  EXPECT_EQ(RunSteps(Admin("product"),
                     {"cert-add", section, "0",  acme,          "cert-add", section, "0",  globex,       "cert-delete",
                      section,    "5",     acme, "cert-revoke", section,    "-1",    acme, "cert-check", section,
                      "7",        "0",     acme, "cert-check",  section,    "0",     "0",  acme}),
            (std::vector<std::string>{kOk, kOk, "0x80070057", "0x80070057", "0x80070057", kOk}));
  std::vector<std::pair<std::string, LONG>> rows;
  for (const CertRow& row : CertRows()) {
    if (row.section == section) rows.emplace_back(row.cert, row.usage);
  }
  EXPECT_EQ(rows, (std::vector<std::pair<std::string, LONG>>{{"Acme Planning Ltd", 0}, {"Globex Corporation", 100}}));
  EXPECT_TRUE(Notices().empty());
}

TEST_F(PrivilegedTest, AnExpiredRegisteredCertificateFailsOnlyTheTimeCheck) {
  const std::string expired = SaveRecord(std::string(LUMORA_SIGNATURE_FIXTURES) + "/pe/expired.dll", "expired");
  const std::string acme = SaveRecord(Partner("acme"), "acme");
  EXPECT_EQ(RunSteps(Admin("product"),
                     {"cert-add",   "com.gamma", "0",          expired,     "cert-check", "com.gamma", "0",
                      "0",          expired,     "cert-check", "com.gamma", "0",          "1",         expired,
                      "cert-check", "com.gamma", "0",          "0",         acme,         "cert-add",  "com.acme",
                      "0",          acme,        "cert-check", "com.acme",  "0",          "1",         acme}),
            (std::vector<std::string>{kOk, kOk, "0x80004005", "0x80004005", kOk, kOk}));
}

TEST_F(PrivilegedTest, AResetStaysAResetAndLosesWhatWasProtected) {
  // A protected value under the installation's password.
  ASSERT_EQ(AcquireCryptProvider(), 0);
  ASSERT_EQ(OpenProfileDatabase(), S_OK);
  {
    CKeySet set(ProfileDatabase(), dbOpenDynaset);
    set.Open();
    set.AddNew();
    set.m_Section = "com.acme.planner";
    set.m_Key = "secret";
    set.m_Value = ProtectValue("kept under the old password");
    set.m_FieldName = "Secret";
    set.m_Type = 5;
    set.Update();
  }
  // While this process has the store open, the reset cannot take the file.
  EXPECT_EQ(RunSteps(Admin("product"), {"super", "reset"}), (std::vector<std::string>{kOk, "0x800A0BE5"}));
  CloseProfileDatabase();
  ReleaseCryptProvider();
  ForgetKeptPasswordForTests();

  EXPECT_EQ(RunSteps(Admin("product"), {"super", "reset", "reset", "close"}),
            (std::vector<std::string>{kOk, kOk, kOk, kOk}))
      << "a second reset finds nothing to do";
  std::string piece = "unread";
  ASSERT_EQ(ReadSetting(kSettingPasswordPiece, &piece), S_OK);
  EXPECT_EQ(piece, "");
  EXPECT_EQ(ProbeDatabaseFile(DatabasePath()), DatabaseFileState::kWithoutPassword);

  // The next process to open the store makes a new password; the old value is lost.
  EXPECT_EQ(RunPartner("product", {"grant", "common"})["grant"], kOk);
  EXPECT_EQ(ProbeDatabaseFile(DatabasePath()), DatabaseFileState::kWithPassword);
  ASSERT_EQ(ReadSetting(kSettingPasswordPiece, &piece), S_OK);
  EXPECT_EQ(piece.size(), 10u);
  ASSERT_EQ(AcquireCryptProvider(), 0);
  ASSERT_EQ(OpenProfileDatabase(), S_OK);
  CKeySet set(ProfileDatabase(), dbOpenSnapshot);
  set.m_strFilter = "SECTION = 'com.acme.planner' AND KEY = 'secret'";
  set.Open();
  ASSERT_FALSE(set.IsEOF());
  // Decrypted under the new password the value is lost: almost always refused as
  // malformed (empty), once in a few hundred resets garbage whose padding happens to
  // look right. Never the old text.
  EXPECT_NE(UnprotectValue(set.m_Value), "kept under the old password")
      << "nothing protected under the old password reads back";
  set.Close();
  CloseProfileDatabase();
  ReleaseCryptProvider();
}

TEST_F(PrivilegedTest, ScratchAreasKeepTheirDataThroughAClosedStore) {
  const std::string tooLong(1007, 'x');
  EXPECT_EQ(RunSteps(Admin("product"), {"super",
                                        "scratch",
                                        "com.acme",
                                        "scratch-set",
                                        "a",
                                        "A",
                                        "scratch-set",
                                        "a",
                                        "B",
                                        "scratch-count",
                                        "scratch-get",
                                        "a",
                                        "scratch-delete",
                                        "nothing",
                                        "scratch-get",
                                        "nothing",
                                        "scratch-set",
                                        "long",
                                        tooLong,
                                        "scratch-hold",
                                        "a",
                                        "close",
                                        "scratch-get",
                                        "a",
                                        "scratch-held-get",
                                        "scratch-set",
                                        "b",
                                        "C",
                                        "scratch-count",
                                        "scratch",
                                        "com.globex",
                                        "scratch-set",
                                        "a",
                                        "other",
                                        "scratch",
                                        "com.acme",
                                        "scratch-get",
                                        "a",
                                        "scratch-hold",
                                        "a",
                                        "scratch-delete",
                                        "a",
                                        "scratch-held-get",
                                        "scratch-count"}),
            (std::vector<std::string>{kOk,
                                      kOk,
                                      kOk,
                                      kOk,
                                      "0x00000000 1",
                                      "0x00000000 [B]",
                                      kOk,
                                      "0x8004E302",
                                      "0x80070057",
                                      kOk,
                                      kOk,
                                      "0x00000000 [B]",
                                      "0x00000000 [B]",
                                      kOk,
                                      "0x00000000 2",
                                      kOk,
                                      kOk,
                                      kOk,
                                      "0x00000000 [B]",
                                      kOk,
                                      kOk,
                                      "0x8004E302",
                                      "0x00000000 1"}));
  // Values are stored protected; the other section's row is untouched by a clear.
  EXPECT_EQ(RunSteps(Admin("product"), {"super", "scratch", "com.acme", "scratch-clear", "scratch-count", "scratch",
                                        "com.globex", "scratch-get", "a"}),
            (std::vector<std::string>{kOk, kOk, kOk, "0x00000000 0", kOk, "0x00000000 [other]"}));
  ASSERT_EQ(AcquireCryptProvider(), 0);
  ASSERT_EQ(OpenProfileDatabase(), S_OK);
  {
    CScratchSet set(ProfileDatabase());
    set.Open();
    ASSERT_FALSE(set.IsEOF());
    EXPECT_EQ(set.m_section, "com.globex");
    EXPECT_NE(set.m_value, "other");
    EXPECT_EQ(UnprotectValue(set.m_value), "other");
  }
  CloseProfileDatabase();
  ReleaseCryptProvider();
  // Partners never reach the scratch area: the super user is refused to them.
  EXPECT_EQ(RunSteps(Admin("acme"), {"super", "scratch", "com.acme"}),
            (std::vector<std::string>{kAccessDenied, "0x80004003"}));
}

TEST_F(PrivilegedTest, AWholeSectionIsReadWithEveryColumn) {
  ASSERT_EQ(AcquireCryptProvider(), 0);
  ASSERT_EQ(OpenProfileDatabase(), S_OK);
  {
    CKeySet set(ProfileDatabase(), dbOpenDynaset);
    set.Open();
    struct Row {
      std::string key;
      std::string value;
      SHORT type;
      BYTE privacy;
    };
    for (const auto& [key, value, type, privacy] :
         {Row{"name", "Ada", 5, 1}, Row{"age", "37", 1, 0}, Row{"unset", std::string(kNotSetMarker), 5, 0}}) {
      set.AddNew();
      set.m_Section = "com.acme.planner";
      set.m_Key = key;
      set.m_Value = ProtectValue(value);
      set.m_FieldName = "Field " + key;
      set.m_Type = type;
      set.m_Privacy = privacy;
      set.Update();
    }
  }
  CloseProfileDatabase();
  ReleaseCryptProvider();
  EXPECT_EQ(RunSteps(Admin("product"), {"super", "all", "com.acme.planner", "all", "com.nothing.here"}),
            (std::vector<std::string>{kOk, "0x00000000 3", "com.acme.planner.name|5|1|Field name|Ada",
                                      "com.acme.planner.age|1|0|Field age|37",
                                      "com.acme.planner.unset|5|0|Field unset|", "0x00000000 0"}));
  EXPECT_EQ(RunSteps(Admin("product"), {"d-all", "com.acme.planner"}),
            (std::vector<std::string>{"0x00000000 3", "com.acme.planner.name|Ada", "com.acme.planner.age|37",
                                      "com.acme.planner.unset|0x8004E301"}));
  EXPECT_EQ(RunSteps(Admin("acme"), {"d-all", "com.acme.planner"}), (std::vector<std::string>{kAccessDenied}))
      << "late binding is no way around the product's signature";
}

}  // namespace
}  // namespace lumora::testing
