// Writes from outside, the common part: a local installation whose consent presenter is
// the scripted one (setting 20 = script:PATH), answers written for it, the dialogs it
// recorded, and what the store, the notification service and the change notification
// sink hold afterwards, read as a fresh process would.
#ifndef LUMORA_TESTS_ACCEPTANCE_WRITES_FIXTURE_H_
#define LUMORA_TESTS_ACCEPTANCE_WRITES_FIXTURE_H_

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "common/settings_client.h"
#include "consent/consent_presenter_choice.h"
#include "lumora/profile.h"
#include "lumora/services.h"
#include "lumora/values.h"
#include "store/array_set.h"
#include "store/key_set.h"
#include "store/profile_database.h"
#include "store/query_filters.h"
#include "store/store_context.h"
#include "store/value_protection.h"
#include "tests/acceptance/installation_fixture.h"
#include "tests/support/service_records.h"

namespace lumora::testing {

inline constexpr char kCancelled[] = "0x800704C7";

struct StoredRow {
  std::string raw;
  int privacy;
  bool linked;
};

using Change = ChangeRecord;

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
  static std::vector<Change> Changes() { return ChangeRecordsOfService(); }
  static std::vector<std::vector<std::string>> SinkBatches() { return SinkBatchesOfService(); }

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

}  // namespace lumora::testing

#endif  // LUMORA_TESTS_ACCEPTANCE_WRITES_FIXTURE_H_
