// Caller identity from outside: real signed partner programs, each in its own process,
// asking for sections of a local installation.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/acceptance/installation_fixture.h"
#include "trust/validate_exe.h"

namespace lumora::testing {
namespace {

namespace fs = std::filesystem;

using CallerIdentityTest = InstallationTest;

std::vector<CertRow> RowsOf(const std::vector<CertRow>& rows, const std::string& section) {
  std::vector<CertRow> found;
  std::copy_if(rows.begin(), rows.end(), std::back_inserter(found),
               [&](const CertRow& row) { return row.section == section; });
  return found;
}

TEST_F(CallerIdentityTest, ASignedProgramClaimsAnUnregisteredSectionAndKeepsIt) {
  EXPECT_EQ(RunPartnerInOrder("acme", {"grant", "com.acme.planner"}), (std::vector<std::string>{kOk, kOk}));
  const auto rows = RowsOf(CertRows(), "com.acme.planner");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].usage, 0);
  EXPECT_EQ(rows[0].cert, "Acme Planning Ltd");
  ValidateExe acme(Partner("acme"));
  acme.SetTrustAnchors(InstallDirectory() + "/TrustedRoots.pem");
  ASSERT_TRUE(acme.Validate());
  EXPECT_EQ(rows[0].data, acme.CertificateRecord()) << "the whole certificate record is kept";

  // Granted again on the next run, by interface, by dispatch identifier and by name.
  EXPECT_EQ(RunPartnerInOrder("acme", {"grant", "com.acme.planner", "grant-dispid", "com.acme.planner", "grant-name",
                                       "com.acme.planner"}),
            (std::vector<std::string>{kOk, kOk, kOk, kOk}));
  EXPECT_EQ(RowsOf(CertRows(), "com.acme.planner").size(), 1u);
}

TEST_F(CallerIdentityTest, OtherCompaniesAndOtherCertificatesAreRefused) {
  ASSERT_EQ(RunPartner("acme", {"grant", "com.acme.planner"})["grant"], kOk);
  // Another company: refused, and its own earlier claim is not disturbed.
  EXPECT_EQ(RunPartnerInOrder("globex", {"grant", "com.globex.tools", "grant", "com.acme.planner"}),
            (std::vector<std::string>{kOk, kOk, kAccessDenied}));
  // A company that owns a section cannot claim a second by first use.
  EXPECT_EQ(RunPartner("acme", {"grant", "com.acme.other"})["grant"], kAccessDenied);
  // A new certificate of the same company is refused until it is added.
  EXPECT_EQ(RunPartner("acme2", {"grant", "com.acme.planner"})["grant"], kAccessDenied);
  // Another program signed with the same certificate passes.
  EXPECT_EQ(RunPartner("acme-two", {"grant", "com.acme.planner"})["grant"], kOk);
  const auto rows = CertRows();
  EXPECT_EQ(RowsOf(rows, "com.acme.other").size(), 0u);
  EXPECT_EQ(RowsOf(rows, "com.acme.planner").size(), 1u);
  EXPECT_EQ(RowsOf(rows, "com.globex.tools").size(), 1u);
}

TEST_F(CallerIdentityTest, CommonSectionsAreTheRootAndBelongToTheProduct) {
  for (const char* section : {"Common", "COMMON.x", "common", "commonplace"}) {
    EXPECT_EQ(RunPartner("acme", {"grant", section})["grant"], kAccessDenied) << section;
    EXPECT_EQ(RunPartner("product", {"grant", section})["grant"], kOk) << section;
  }
  EXPECT_EQ(RunPartner("acme", {"grant", "/"})["grant"], kAccessDenied);
  const auto rows = CertRows();
  EXPECT_EQ(rows.size(), 1u) << "nothing was claimed: the root was the product's from the start";
}

TEST_F(CallerIdentityTest, WithoutTheProductsRegistrationTheFirstCallerClaimsTheRoot) {
  TearDown();
  Install(false);
  EXPECT_EQ(RunPartner("globex", {"grant", "common.stuff"})["grant"], kOk);
  const auto rows = RowsOf(CertRows(), "/");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].cert, "Globex Corporation");
  EXPECT_EQ(RunPartner("acme", {"grant", "Common"})["grant"], kAccessDenied);
}

TEST_F(CallerIdentityTest, NamesWithApostrophesAreJustNames) {
  EXPECT_EQ(RunPartner("quote", {"grant", "com.o'brien.sons"})["grant"], kOk);
  EXPECT_EQ(RunPartner("quote", {"grant", "com.o'brien.sons"})["grant"], kOk) << "found again, not claimed twice";
  EXPECT_EQ(RunPartner("globex", {"grant", "com.o'brien.sons' OR SECTION = 'com.globex"})["grant"], kOk)
      << "a name that looks like a filter claims exactly that name";
  const auto rows = CertRows();
  ASSERT_EQ(RowsOf(rows, "com.o'brien.sons").size(), 1u);
  EXPECT_EQ(RowsOf(rows, "com.o'brien.sons")[0].cert, "O'Brien & Sons");
  EXPECT_EQ(RunPartner("globex", {"grant", "com.o'brien.sons"})["grant"], kAccessDenied);
}

TEST_F(CallerIdentityTest, UnsignedTamperedAndUntrustedProgramsAreRefused) {
  for (const char* who : {"unsigned", "tampered", "rogue"}) {
    EXPECT_EQ(RunPartner(who, {"grant", "com.free.for.all"})["grant"], kAccessDenied) << who;
  }
  EXPECT_TRUE(RowsOf(CertRows(), "com.free.for.all").empty());
}

TEST_F(CallerIdentityTest, AnUnsignedLibraryOfTheCallerIsReportedAndTheCallerGranted) {
  EXPECT_EQ(RunPartner("acme", {"grant-helper", "com.acme.planner"})["grant-helper"], kOk);
  const std::string helper = fs::canonical(LUMORA_PARTNER_HELPER).string();
  const auto notices = Notices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].first, "Relationship Settings");
  EXPECT_EQ(notices[0].second, "Unable to determine if " + helper + " is trusted.");
}

TEST_F(CallerIdentityTest, AnExceptionListThatIsNotValidlySignedStopsEveryGrant) {
  const std::string list = InstallDirectory() + "/ExceptionList.dll";
  const std::string good = InstallDirectory() + "/good.dll";
  fs::copy_file(list, good);
  // Tampered: one byte of the string table changed after signing.
  {
    std::fstream file(list, std::ios::in | std::ios::out | std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const size_t at = bytes.find(std::string("l\0i\0b\0c\0", 8));
    ASSERT_NE(at, std::string::npos);
    file.seekp(static_cast<std::streamoff>(at));
    file.put('L');
  }
  EXPECT_EQ(RunPartner("acme", {"grant", "com.acme.planner"})["grant"], kAccessDenied) << "tampered";
  std::ofstream(list, std::ios::trunc) << "";
  EXPECT_EQ(RunPartner("acme", {"grant", "com.acme.planner"})["grant"], kAccessDenied) << "empty";
  fs::remove(list);
  EXPECT_EQ(RunPartner("acme", {"grant", "com.acme.planner"})["grant"], kAccessDenied) << "missing";
  fs::copy_file(LUMORA_UNSIGNED_EXCEPTION_LIST, list);
  EXPECT_EQ(RunPartner("acme", {"grant", "com.acme.planner"})["grant"], kAccessDenied) << "unsigned";
  fs::remove(list);
  fs::copy_file(good, list);
  EXPECT_EQ(RunPartner("acme", {"grant", "com.acme.planner"})["grant"], kOk) << "the signed list again";
}

TEST_F(CallerIdentityTest, EightCompaniesRacingForOneSectionLeaveOneOwner) {
  std::vector<std::unique_ptr<ChildProcess>> racers;
  for (int i = 1; i <= 8; ++i) {
    racers.push_back(std::make_unique<ChildProcess>(
        std::vector<std::string>{Partner("racer" + std::to_string(i)), "grant", "com.contested.section"}));
  }
  int granted = 0;
  for (auto& racer : racers) {
    std::string output;
    EXPECT_EQ(racer->Finish(&output), 0);
    if (output.find(std::string("grant: ") + kOk) != std::string::npos) ++granted;
  }
  EXPECT_EQ(granted, 1);
  EXPECT_EQ(RowsOf(CertRows(), "com.contested.section").size(), 1u);
}

}  // namespace
}  // namespace lumora::testing
