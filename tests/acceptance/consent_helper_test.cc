// The desktop dialog from outside: a signed partner program reads and writes against an
// installation whose consent presenter is the dialog program (setting 20 = helper), and
// the program is driven to the same answers that the scripted presenter gives. Both
// runs must leave the same store and the same disclosure ledger.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "consent/disclosure_ledger.h"
#include "platform/ui/json_value.h"
#include "tests/acceptance/writes_fixture.h"

namespace lumora::testing {
namespace {

namespace fs = std::filesystem;
using Results = std::vector<std::string>;

// Each dialog of the scenario: the scripted answer, and the same answer given by keys
// and clicks in the dialog program.
struct Decision {
  std::string answerLine;
  std::string steps;
};

const Decision kDecisions[] = {
    // Two new variables: allowed with Enter.
    {R"({"answer":"allow"})", "key Return"},
    // Three changes, the third an array element: rows 0 and 2 shared (the element keeps
    // its status), row 1 private, then allowed.
    {R"({"actions":[{"select":[0,2],"press":"shared"},{"select":[1],"press":"private"}],"answer":"allow"})",
     "row-click 0\nrow-click 2 ctrl\nclick 204\nrow-click 1\nclick 205\nkey Return"},
    // A read, allowed; a read, denied; a change, closed with Escape.
    {R"({"answer":"allow"})", "key Return"},
    {R"({"answer":"deny"})", "click 2"},
    {R"({"answer":"close"})", "key Escape"},
};

class ConsentHelperAcceptanceTest : public WritesTest {
 protected:
  struct Outcome {
    std::vector<Results> results;
    std::map<std::string, StoredRow> store;
    std::vector<std::string> ledger;  // the ledger's lines without their times
  };

  // The same partner program's reads and writes, whatever answers them.
  Outcome RunScenario() {
    Outcome outcome;
    outcome.results.push_back(
        RunPartnerInOrder("acme", {"grant", "acme",         "create-key",    "acme.a",    "5",    "a",
                                   "0",     "Field A",      "create-key",    "acme.b",    "5",    "b",
                                   "1",     "Field B & Co", "create-key",    "acme.tags", "8",    "",
                                   "0",     "Tags",         "execute-write", "1",         "First"}));
    outcome.results.push_back(
        RunPartnerInOrder("acme", {"grant", "acme", "modify", "acme.a", "a2", "modify", "acme.b", "b2", "modify",
                                   "acme.tags[x]", "ex", "execute-write", "1", "Second"}));
    outcome.results.push_back(
        RunPartnerInOrder("acme", {"grant", "acme", "read", "acme.a,acme.b", "execute-read", "0", "Third", "count"}));
    outcome.results.push_back(
        RunPartnerInOrder("acme", {"grant", "acme", "read", "acme.a", "execute-read", "0", "Fourth", "count"}));
    outcome.results.push_back(
        RunPartnerInOrder("acme", {"grant", "acme", "modify", "acme.a", "a3", "execute-write", "1", "Fifth"}));
    outcome.store = Store();
    std::vector<LedgerEntry> entries;
    std::vector<size_t> damaged;
    std::string error;
    EXPECT_TRUE(ReadLedger(m_home->path() + "/" + kLedgerFileName, &entries, &damaged, &error)) << error;
    EXPECT_TRUE(damaged.empty());
    for (LedgerEntry& entry : entries) {
      EXPECT_EQ(entry.time.size(), 20u) << entry.time;
      entry.time.clear();
      outcome.ledger.push_back(LedgerLine(entry));
    }
    return outcome;
  }

  // Puts a stand-in for the dialog program in the installation directory that plays the
  // next decision's steps into the real program, as a person would.
  void InstallDrivenHelper() {
    const std::string queue = m_home->path() + "/steps";
    fs::create_directories(queue);
    int n = 0;
    for (const Decision& decision : kDecisions) std::ofstream(queue + "/" + std::to_string(n++)) << decision.steps;
    const std::string helper = InstallDirectory() + "/lumora-consent";
    ASSERT_TRUE(fs::is_symlink(helper)) << "lumora-admin init links the dialog program";
    fs::remove(helper);
    std::ofstream(helper) << "#!/bin/sh\nset -e\nnext=$(ls '" << queue << "' | sort -n | head -n 1)\n"
                          << "mv '" << queue << "/'\"$next\" '" << queue << ".used'\n"
                          << "QT_QPA_PLATFORM=offscreen exec '" << LUMORA_CONSENT_HELPER << "' --steps-file '" << queue
                          << ".used'\n";
    ::chmod(helper.c_str(), 0700);
  }
};

TEST_F(ConsentHelperAcceptanceTest, TheDrivenDialogProgramAndTheScriptLeaveTheSameStoreAndLedger) {
  for (const Decision& decision : kDecisions) Answers({decision.answerLine});
  const Outcome scripted = RunScenario();
  ASSERT_EQ(Shown().size(), std::size(kDecisions));

  TearDown();
  SetUp();
  ASSERT_EQ(WriteSetting(kSettingConsentPresenter, "helper"), S_OK);
  InstallDrivenHelper();
  const Outcome driven = RunScenario();
  EXPECT_TRUE(Shown().empty()) << "the script answered nothing this time";
  EXPECT_FALSE(fs::exists(m_home->path() + "/steps/0")) << "every decision was played";

  EXPECT_EQ(driven.results, scripted.results);
  ASSERT_EQ(driven.store.size(), scripted.store.size());
  for (const auto& [uki, row] : scripted.store) {
    ASSERT_EQ(driven.store.count(uki), 1u) << uki;
    EXPECT_EQ(driven.store.at(uki).raw, row.raw) << uki;
    EXPECT_EQ(driven.store.at(uki).privacy, row.privacy) << uki;
  }
  EXPECT_EQ(driven.ledger, scripted.ledger);

  // What the ledger says: field names and share statuses, never a value.
  ASSERT_EQ(scripted.ledger.size(), std::size(kDecisions));
  EXPECT_EQ(scripted.ledger[1],
            R"({"time":"","kind":"write","company":"Acme Planning Ltd","section":"acme","fields":["Field A",)"
            R"("Field B & Co","Tags[x]"],"shares":["shared","private",""],"answer":"allow"})");
  EXPECT_EQ(scripted.ledger[3],
            R"({"time":"","kind":"read","company":"Acme Planning Ltd","section":"acme","fields":["Field A"],)"
            R"("answer":"deny"})");
  EXPECT_EQ(scripted.ledger[4].find("a3"), std::string::npos);
  EXPECT_EQ(scripted.store.at("acme.a").raw, "a2") << "the closed dialog wrote nothing";
  EXPECT_EQ(scripted.store.at("acme.a").privacy, ePrivacyShared);
  EXPECT_EQ(scripted.store.at("acme.b").privacy, ePrivacyPrivate);
}

TEST_F(ConsentHelperAcceptanceTest, AutoAsksTheDialogProgramWhenTheUserHasADisplay) {
  ASSERT_EQ(WriteSetting(kSettingConsentPresenter, "auto"), S_OK);
  InstallDrivenHelper();
  const char* previous = std::getenv("DISPLAY");
  const std::string kept = previous != nullptr ? previous : "";
  ::setenv("DISPLAY", ":0", 1);
  const std::vector<std::string> steps = {"grant", "acme",    "create-key",    "acme.a", "5",    "a",
                                          "0",     "Field A", "execute-write", "1",      "First"};
  EXPECT_EQ(RunPartner("acme", steps).at("execute-write"), kOk);
  if (previous != nullptr) {
    ::setenv("DISPLAY", kept.c_str(), 1);
  } else {
    ::unsetenv("DISPLAY");
  }
  EXPECT_EQ(Store().at("acme.a").raw, "a");
  EXPECT_TRUE(fs::exists(m_home->path() + "/steps.used")) << "the dialog program answered";
}

TEST_F(ConsentHelperAcceptanceTest, AHelperThatCannotAnswerRefusesAsCancelledAndWritesNothing) {
  ASSERT_EQ(WriteSetting(kSettingConsentPresenter, "helper"), S_OK);
  const std::string helper = InstallDirectory() + "/lumora-consent";
  fs::remove(helper);
  std::ofstream(helper) << "#!/bin/sh\nkill -9 $$\n";
  ::chmod(helper.c_str(), 0700);
  const std::vector<std::string> steps = {"grant", "acme",    "create-key",    "acme.a", "5",    "a",
                                          "0",     "Field A", "execute-write", "1",      "First"};
  EXPECT_EQ(RunPartner("acme", steps).at("execute-write"), kCancelled);
  EXPECT_EQ(Store().count("acme.a"), 0u);
  // Not installed at all: refused in the same way.
  fs::remove(helper);
  EXPECT_EQ(RunPartner("acme", steps).at("execute-write"), kCancelled);
  EXPECT_EQ(Store().count("acme.a"), 0u);
  // A refused dialog is still a decision on record.
  std::vector<LedgerEntry> entries;
  std::vector<size_t> damaged;
  std::string error;
  ASSERT_TRUE(ReadLedger(m_home->path() + "/" + kLedgerFileName, &entries, &damaged, &error));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].answer, ConsentAnswer::kDeny);
}

}  // namespace
}  // namespace lumora::testing
