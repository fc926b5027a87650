// Filters with more terms than one query may hold (a read of a thousand variables): the
// rows they select, in the store's order, each once, whatever the open type.
#include <gtest/gtest.h>

#include <memory>

#include "store/key_set.h"
#include "store/query_filters.h"
#include "tests/support/temp_home.h"
#include "tools/lumora-admin/store_schema.h"

namespace lumora {
namespace {

class LongFilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_home = std::make_unique<testing::TempHome>();
    const std::string path = m_home->path() + "/profile.db";
    std::string error;
    ASSERT_TRUE(admin::CreateProfileDatabase(path, &error)) << error;
    m_db.Open(path);
    CDaoWorkspace& workspace = *m_db.m_pWorkspace;
    workspace.BeginTrans();
    CKeySet set(&m_db, dbOpenDynaset);
    set.m_strFilter = "SECTION = 'ShouldNeverExist'";
    set.Open();
    for (int i = 0; i < 3000; ++i) {
      set.AddNew();
      set.m_Section = i % 2 == 0 ? "even" : "odd";
      set.m_Key = "k" + std::to_string(i);
      set.m_Value = std::to_string(i);
      set.Update();
    }
    workspace.CommitTrans();
  }

  std::vector<std::string> Values(const std::string& filter, int type) {
    CKeySet set(&m_db, type);
    set.m_strFilter = filter;
    set.Open();
    std::vector<std::string> values;
    for (; !set.IsEOF(); set.MoveNext()) values.push_back(set.m_Value);
    EXPECT_EQ(set.GetRecordCount(), static_cast<long>(values.size()));
    return values;
  }

  std::unique_ptr<testing::TempHome> m_home;
  CDaoDatabase m_db;
};

TEST_F(LongFilterTest, AThousandVariablesAreFoundInTheStoresOrderEachOnce) {
  // Asked backwards, one twice, one in other letters, one that does not exist: the
  // groups the filter is asked in overlap and come back in any order of their own.
  std::vector<std::string> ukis;
  for (int i = 1999; i >= 0; i -= 2) ukis.push_back((i % 2 == 0 ? "even.k" : "odd.k") + std::to_string(i));
  ukis.push_back("odd.k1999");
  ukis.push_back("EVEN.K4");
  ukis.push_back("odd.k2");
  std::vector<std::string> expected;
  for (int i = 1; i < 2000; i += 2) expected.push_back(std::to_string(i));
  expected.insert(expected.begin() + 2, "4");  // rowid order: k1, k3, k4, k5 ...
  const std::string filter = KeyListFilter(ukis);
  for (int type : {dbOpenSnapshot, dbOpenDynaset}) {
    EXPECT_EQ(Values(filter, type), expected) << type;
  }
}

TEST_F(LongFilterTest, ALongFilterThatIsNoListOfAlternativesIsStillObeyed) {
  // An AND at the top cannot be asked in groups: it is evaluated row by row.
  std::string filter = "SECTION = 'odd' AND (";
  for (int i = 0; i < 500; ++i) filter += (i > 0 ? " OR " : "") + std::string("KEY = 'k") + std::to_string(i) + "'";
  filter += ")";
  std::vector<std::string> expected;
  for (int i = 1; i < 500; i += 2) expected.push_back(std::to_string(i));
  EXPECT_EQ(Values(filter, dbOpenSnapshot), expected);
  EXPECT_EQ(Values(filter, dbOpenDynaset), expected);
}

}  // namespace
}  // namespace lumora
