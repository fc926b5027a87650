// Writes from outside: signed partner programs in their own processes queue changes and
// execute them against a local installation, and the machine's scripted presenter
// answers the write dialog as a user would (setting 20 = script:PATH).
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "common/settings_client.h"
#include "consent/consent_presenter_choice.h"
#include "lumora/profile.h"
#include "lumora/services.h"
#include "lumora/values.h"
#include "store/array_set.h"
#include "store/enum_set.h"
#include "store/key_set.h"
#include "store/profile_database.h"
#include "store/query_filters.h"
#include "store/store_context.h"
#include "store/value_protection.h"
#include "tests/acceptance/installation_fixture.h"

namespace lumora::testing {
namespace {

constexpr char kCancelled[] = "0x800704C7";

struct StoredRow {
  std::string raw;
  int privacy;
  bool linked;
};

struct Change {
  std::string fieldName;
  LONG change;
  LONG requester;
  bool operator==(const Change&) const = default;
};

class WritesTest : public InstallationTest {
 protected:
  void SetUp() override {
    InstallationTest::SetUp();
    m_script = m_home->path() + "/answers.jsonl";
    ASSERT_EQ(WriteSetting(kSettingConsentPresenter, "script:" + m_script), S_OK);
  }

  // The user's next answers, one line per dialog.
  void Answers(const std::vector<std::string>& lines) {
    std::ofstream out(m_script, std::ios::app);
    for (const std::string& line : lines) out << line << "\n";
  }
  // The dialogs shown so far, one JSON line each.
  std::vector<std::string> Shown() {
    std::ifstream in(m_script + ".shown");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  // Every Main row, by uki, as a fresh process reads the store.
  std::map<std::string, StoredRow> Store() {
    std::map<std::string, StoredRow> rows;
    EXPECT_EQ(AcquireCryptProvider(), 0);
    EXPECT_EQ(OpenProfileDatabase(), S_OK);
    {
      CKeySet set(ProfileDatabase(), dbOpenSnapshot);
      set.Open();
      for (; !set.IsEOF(); set.MoveNext()) {
        rows[set.m_Section + "." + set.m_Key] = {UnprotectValue(set.m_Value), set.m_Privacy, set.m_IsLinked != 0};
      }
    }
    ReleaseCryptProvider();
    CloseProfileDatabase();
    ForgetKeptPasswordForTests();
    return rows;
  }
  std::vector<std::string> ArrayKeys(const std::string& baseUki) {
    std::vector<std::string> keys;
    EXPECT_EQ(AcquireCryptProvider(), 0);
    EXPECT_EQ(OpenProfileDatabase(), S_OK);
    {
      CArraySet set(ProfileDatabase());
      set.m_strFilter = "UKI = '" + QuoteFilterText(baseUki) + "'";
      set.Open();
      for (; !set.IsEOF(); set.MoveNext()) keys.push_back(set.m_key + "=" + UnprotectValue(set.m_value));
    }
    ReleaseCryptProvider();
    CloseProfileDatabase();
    ForgetKeptPasswordForTests();
    return keys;
  }
  static std::vector<Change> Changes() {
    ComPtr<ILumoraNotification> service;
    EXPECT_EQ(CoCreateInstance(CLSID_LumoraNotification, nullptr, CLSCTX_INPROC_SERVER, IID_ILumoraNotification,
                               service.put_void()),
              S_OK);
    std::vector<Change> changes;
    LONG count = 0;
    service->GetChangeCount(&count);
    for (LONG i = 0; i < count; ++i) {
      Bstr name;
      Change change{};
      service->GetChangeFieldName(i, name.put());
      service->GetChangeKind(i, &change.change);
      service->GetChangeRequester(i, &change.requester);
      change.fieldName = name.ToUtf8();
      changes.push_back(change);
    }
    return changes;
  }
  static std::vector<std::vector<std::string>> SinkBatches() {
    ComPtr<ILumoraChangeSink> sink;
    EXPECT_EQ(
        CoCreateInstance(CLSID_LumoraChangeSink, nullptr, CLSCTX_INPROC_SERVER, IID_ILumoraChangeSink, sink.put_void()),
        S_OK);
    std::vector<std::vector<std::string>> batches;
    LONG count = 0;
    sink->GetBatchCount(&count);
    for (LONG b = 0; b < count; ++b) {
      LONG size = 0;
      sink->GetBatchSize(b, &size);
      std::vector<std::string> ukis;
      for (LONG i = 0; i < size; ++i) {
        Bstr uki;
        sink->GetBatchUki(b, i, uki.put());
        ukis.push_back(uki.ToUtf8());
      }
      batches.push_back(std::move(ukis));
    }
    return batches;
  }

  // The product's own tool makes the common variables every company may link to.
  void MakeCommonVariables() {
    Answers({R"({"answer":"allow"})"});
    const auto results = RunPartner(
        "product", {"grant", "common", "create-key", "common.country", "5", "Ireland", "1", "Country", "create-key",
                    "common.number", "1", "0", "1", "Number", "execute-write", "1", "Common variables"});
    ASSERT_EQ(results.at("execute-write"), kOk);
  }

  std::string m_script;
};

using Results = std::vector<std::string>;
using Batches = std::vector<std::vector<std::string>>;

TEST_F(WritesTest, AGrantedProgramsChangesAreShownOnceMergedAndStoredOnAllow) {
  MakeCommonVariables();
  Answers({R"({"answer":"allow"})"});
  const Results results = RunPartnerInOrder("acme", {"grant",
                                                     "acme",
                                                     "modify",
                                                     "common.country",
                                                     "Portugal",  // a link carrying the value
                                                     "modify",
                                                     "common.country",
                                                     "Spain",  // merged into it; a second link follows
                                                     "create-key",
                                                     "acme.visits",
                                                     "1",
                                                     "3",
                                                     "0",
                                                     "Visits",
                                                     "modify",
                                                     "acme.visits",
                                                     "4",  // merged into the creation
                                                     "create-enum",
                                                     "acme.size",
                                                     "2",
                                                     "0",
                                                     "Size",
                                                     "small,medium,large",
                                                     "create-enum",
                                                     "acme.bad",
                                                     "4",
                                                     "0",
                                                     "Bad",
                                                     "small,medium,large",
                                                     "create-key2",
                                                     "acme.when",
                                                     "3",
                                                     "date:36526",
                                                     "0",
                                                     "When",
                                                     "modify-value",
                                                     "acme.visits",
                                                     "byref-i4:5",  // merged again, by reference
                                                     "modify-value",
                                                     "acme.visits",
                                                     "null:",  // refused: nothing to convert
                                                     "delete",
                                                     "acme.gone",  // fails: no such variable
                                                     "modify",
                                                     "acme.gone",
                                                     "x",  // swallowed by the deletion
                                                     "execute-write",
                                                     "1",
                                                     "Please confirm"});
  EXPECT_EQ(results, (Results{kOk, kOk, kOk, kOk, kOk, kOk, kOk, "0x80070057", kOk, kOk, "0x80020005", kOk, kOk,
                              "0x80004005", "5"}));
  const auto store = Store();
  EXPECT_EQ(store.at("acme.common.country").raw, "Spain");
  EXPECT_FALSE(store.at("acme.common.country").linked) << "the common variable had a value of its own";
  EXPECT_EQ(store.at("common.country").raw, "Ireland");
  EXPECT_EQ(store.at("acme.visits").raw, "5");
  EXPECT_EQ(store.at("acme.size").raw, "2");
  EXPECT_EQ(store.at("acme.when").raw, "36526");
  EXPECT_EQ(store.count("acme.bad"), 0u);
  EXPECT_EQ(store.count("acme.gone"), 0u);

  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 2u) << "the product's dialog, then this one";
  EXPECT_NE(shown[1].find("Acme Planning Ltd would like to make a change"), std::string::npos) << shown[1];
  EXPECT_NE(shown[1].find("Please confirm"), std::string::npos);
  EXPECT_NE(shown[1].find("\"Size\",\"medium\""), std::string::npos) << shown[1];
  // After the batch the sink holds the changed ukis in queue order.
  EXPECT_EQ(SinkBatches().back(),
            (std::vector<std::string>{"acme.common.country", "acme.visits", "acme.size", "acme.when"}));
}

TEST_F(WritesTest, TheUsersShareChoicesAreStoredAndRecordedAndElementsCannotBeSwitched) {
  MakeCommonVariables();
  Answers({R"({"answer":"allow"})"});
  ASSERT_EQ(RunPartner("acme", {"grant", "acme",    "create-key",    "acme.a",    "5",    "a",
                                "0",     "Field A", "create-key",    "acme.b",    "5",    "b",
                                "1",     "Field B", "create-key",    "acme.tags", "8",    "",
                                "0",     "Tags",    "execute-write", "1",         "First"})
                .at("execute-write"),
            kOk);
  // Row 0 Field A, row 1 Field B, row 2 the element Tags[x], row 3 the common country.
  Answers({R"({"actions":[{"select":[0,2,3],"press":"shared"},{"select":[1],"press":"private"}],"answer":"allow"})"});
  const auto results =
      RunPartner("acme", {"grant", "acme", "modify", "acme.a", "a2", "modify", "acme.b", "b2", "modify", "acme.tags[x]",
                          "ex", "modify", "common.country", "Ireland", "execute-write", "1", "Second"});
  EXPECT_EQ(results.at("execute-write"), kOk);
  EXPECT_EQ(results.at("executed"), "4");
  const auto store = Store();
  EXPECT_EQ(store.at("acme.a").privacy, ePrivacyShared);
  EXPECT_EQ(store.at("acme.b").privacy, ePrivacyPrivate);
  EXPECT_EQ(store.at("acme.tags").privacy, ePrivacyPrivate) << "the element's row switched nothing";
  EXPECT_EQ(store.at("acme.common.country").privacy, ePrivacyShared);
  EXPECT_FALSE(store.at("acme.common.country").linked);
  EXPECT_EQ(ArrayKeys("acme.tags"), (std::vector<std::string>{"x=ex"}));
  // One record per privacy change of an existing variable, made by an ordinary client.
  EXPECT_EQ(Changes(), (std::vector<Change>{{"Field A", 1, 1}, {"Field B", 2, 1}}));
  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_NE(shown[2].find(R"("shares":["Shared","Private","","Shared"])"), std::string::npos) << shown[2];
}

TEST_F(WritesTest, RefusalsDeletionsAndFailuresAsAProgramSeesThem) {
  MakeCommonVariables();
  // Deny and close: nothing stored; the queue is gone, so the next execution is empty.
  Answers({R"({"answer":"deny"})", R"({"answer":"close"})"});
  EXPECT_EQ(RunPartnerInOrder(
                "acme", {"grant", "acme", "create-key",    "acme.x", "5", "x",          "0",      "X", "execute-write",
                         "1",     "m",    "execute-write", "1",      "m", "create-key", "acme.x", "5", "x",
                         "0",     "X",    "execute-write", "1",      "m"}),
            (Results{kOk, kOk, kOk, kCancelled, "0", kOk, "0", kOk, kCancelled, "0"}));
  EXPECT_EQ(Store().count("acme.x"), 0u);

  // Three items of which the second fails: the first and third are committed.
  Answers({R"({"answer":"allow"})"});
  EXPECT_EQ(
      RunPartnerInOrder("acme", {"grant",  "acme",          "create-key", "acme.one",   "1",          "1", "0", "One",
                                 "modify", "acme.missing",  "2",          "create-key", "acme.three", "1", "3", "0",
                                 "Three",  "execute-write", "1",          "m"}),
      (Results{kOk, kOk, kOk, kOk, kOk, "0x8004E302", "2"}));
  auto store = Store();
  EXPECT_EQ(store.at("acme.one").raw, "1");
  EXPECT_EQ(store.at("acme.three").raw, "3");

  // Deletions alone, and a link without value, need no dialog; the same value again is
  // no change for the sink.
  const size_t dialogs = Shown().size();
  const size_t batches = SinkBatches().size();
  EXPECT_EQ(RunPartnerInOrder("acme", {"grant", "acme", "delete", "acme.one", "link", "acme.common.number",
                                       "common.number", "execute-write", "1", "m"}),
            (Results{kOk, kOk, kOk, kOk, kOk, "2"}));
  Answers({R"({"answer":"allow"})"});
  EXPECT_EQ(RunPartnerInOrder("acme", {"grant", "acme", "modify", "acme.three", "3", "execute-write", "1", "m"}),
            (Results{kOk, kOk, kOk, kOk, "1"}));
  EXPECT_EQ(Shown().size(), dialogs + 1);
  const auto sink = SinkBatches();
  ASSERT_EQ(sink.size(), batches + 1);
  EXPECT_EQ(sink.back(), (std::vector<std::string>{"acme.one", "acme.common.number"}));
  store = Store();
  EXPECT_EQ(store.count("acme.one"), 0u);
  EXPECT_TRUE(store.at("acme.common.number").linked);

  // Execution without a dialog is for the product's privileged objects only; another
  // company's section is refused.
  EXPECT_EQ(
      RunPartnerInOrder(
          "acme", {"grant", "acme",       "create-key", "acme.y", "5", "y", "0", "Y",    "execute-write", "-1",
                   "m",     "create-key", "globex.y",   "5",      "y", "0", "Y", "link", "acme.globex.y", "globex.y"}),
      (Results{kOk, kOk, kOk, kAccessDenied, "0", kAccessDenied, kAccessDenied}));
  EXPECT_EQ(Store().count("acme.y"), 0u);
}

}  // namespace
}  // namespace lumora::testing
