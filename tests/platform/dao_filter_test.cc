// The filter grammar: what it accepts, what it refuses, and that no value reaches SQL text.
#include "platform/database/dao_filter.h"

#include <gtest/gtest.h>

#include "platform/database/dao_exception.h"

namespace {

const std::vector<DaoColumn> kColumns = {{"Section", DaoFieldType::kText},
                                         {"Key", DaoFieldType::kText},
                                         {"Usage", DaoFieldType::kLong},
                                         {"LastShared", DaoFieldType::kDateTime},
                                         {"CertData", DaoFieldType::kLongBinary}};

DaoRow Row(const char* section, const char* key, int64_t usage) {
  return {std::string(section), std::string(key), usage, 0.0, std::vector<BYTE>()};
}

bool Matches(const char* filter, const DaoRow& row) { return DaoFilter::Parse(filter).Matches(kColumns, row); }

TEST(DaoFilterTest, TheComponentsFiltersParseAndMatch) {
  const DaoRow row = Row("com.example", "o'neil", 120);
  EXPECT_TRUE(Matches("SECTION = 'com.example' AND KEY = 'o''neil'", row));
  EXPECT_FALSE(Matches("SECTION = 'com.example' AND KEY = 'o'", row));
  EXPECT_TRUE(Matches("(SECTION = 'x' AND KEY = 'y') OR (SECTION = 'COM.EXAMPLE' AND KEY = 'O''NEIL')", row))
      << "text compares without regard to case";
  EXPECT_TRUE(Matches("SECTION = 'com.example' AND USAGE >= 100 AND USAGE <= 59999", row));
  EXPECT_FALSE(Matches("USAGE < 120", row));
  EXPECT_TRUE(Matches("USAGE <> 121 and usage > -5", row)) << "keywords and names ignore case";
  EXPECT_TRUE(Matches("[Section] = 'com.example'", row));
  EXPECT_TRUE(Matches("KEY >= 'O' AND KEY < 'P'", row));
  EXPECT_TRUE(Matches("SECTION = 'ShouldNeverExist' OR USAGE = 120.0", row));
  EXPECT_FALSE(Matches("SECTION = 'com.example' AND (KEY = 'a' OR KEY = 'b')", row)) << "AND binds tighter";
  EXPECT_TRUE(Matches("SECTION = 'x' AND KEY = 'y' OR USAGE = 120", row));
  const DaoRow nulls = {DaoValue(), DaoValue(), DaoValue(), DaoValue(), DaoValue()};
  EXPECT_FALSE(Matches("SECTION = ''", nulls)) << "null matches nothing";
  EXPECT_FALSE(Matches("SECTION <> 'x'", nulls));
}

TEST(DaoFilterTest, TextOutsideTheGrammarIsASyntaxError) {
  for (const char* bad : {"", "SECTION", "SECTION =", "SECTION = 'open", "SECTION = 'a' AND", "SECTION == 'a'",
                          "SECTION = 'a'; DROP TABLE Main", "SECTION LIKE 'a%'", "(SECTION = 'a'", "SECTION = 'a')",
                          "SECTION = \"a\"", "USAGE = 3abc", "USAGE = 1.", "AND = 'a'", "NOT SECTION = 'a'",
                          "SECTION = 'a' OR OR KEY = 'b'", "[SECTION = 'a'", "SECTION = 'a' -- comment"}) {
    try {
      DaoFilter::Parse(bad);
      ADD_FAILURE() << "accepted: " << bad;
    } catch (const CDaoException& e) {
      EXPECT_EQ(e.m_scode, CDaoException::ScodeOf(kJetFilterSyntax)) << bad;
    }
  }
  std::string deep(200, '(');
  deep += "USAGE = 1" + std::string(200, ')');
  EXPECT_THROW(DaoFilter::Parse(deep), CDaoException) << "nesting is bounded";
}

TEST(DaoFilterTest, ColumnsAndTypesAreCheckedAgainstTheRecordset) {
  const DaoRow row = Row("s", "k", 1);
  try {
    Matches("NOSUCH = 'x'", row);
    ADD_FAILURE();
  } catch (const CDaoException& e) {
    EXPECT_EQ(e.JetError(), kJetFilterSyntax);
  }
  for (const char* mismatch : {"USAGE = 'x'", "SECTION = 5", "CERTDATA = 'x'"}) {
    try {
      Matches(mismatch, row);
      ADD_FAILURE() << mismatch;
    } catch (const CDaoException& e) {
      EXPECT_EQ(e.JetError(), kJetTypeMismatch) << mismatch;
    }
  }
}

// Matches stops at the first comparison that decides, so a wrong column behind it shows
// only on the rows that reach it; Check finds it before any row is looked at.
TEST(DaoFilterTest, CheckLooksAtEveryComparison) {
  const DaoFilter filter = DaoFilter::Parse("SECTION = 'x' AND NOSUCH = 'y' OR KEY = 'k' AND USAGE = 'text'");
  EXPECT_FALSE(filter.Matches(kColumns, Row("a", "b", 1))) << "neither wrong comparison is reached";
  EXPECT_THROW(filter.Matches(kColumns, Row("x", "b", 1)), CDaoException);
  try {
    filter.Check(kColumns);
    ADD_FAILURE() << "the unknown column passed";
  } catch (const CDaoException& e) {
    EXPECT_EQ(e.JetError(), kJetFilterSyntax);
  }
  try {
    DaoFilter::Parse("SECTION = 'x' OR KEY = 'k' AND USAGE = 'text'").Check(kColumns);
    ADD_FAILURE() << "the text compared with a number passed";
  } catch (const CDaoException& e) {
    EXPECT_EQ(e.JetError(), kJetTypeMismatch);
  }
  EXPECT_NO_THROW(DaoFilter::Parse("[SECTION] = 'x' OR (usage >= 1 AND LastShared < 2.5)").Check(kColumns));
}

TEST(DaoFilterTest, SqlCarriesPlaceholdersNeverValues) {
  std::vector<DaoValue> parameters;
  const std::string sql =
      DaoFilter::Parse("SECTION = 'x'' OR 1=1 --' AND (KEY = 'Robert''); DROP TABLE Main;--' OR USAGE = 7)")
          .ToSql(kColumns, &parameters);
  EXPECT_EQ(sql, "([Section] = ? COLLATE NOCASE) AND (([Key] = ? COLLATE NOCASE) OR ([Usage] = ?))");
  ASSERT_EQ(parameters.size(), 3u);
  EXPECT_EQ(std::get<std::string>(parameters[0]), "x' OR 1=1 --");
  EXPECT_EQ(std::get<std::string>(parameters[1]), "Robert'); DROP TABLE Main;--");
  EXPECT_EQ(std::get<double>(parameters[2]), 7.0);
  EXPECT_EQ(DaoFilter::Parse("(SECTION = 'a' AND KEY = 'b') OR (SECTION = 'c' AND KEY = 'd')").Comparisons(), 4u);
}

TEST(DaoFilterTest, CompareNoCaseFoldsOnlyAsciiLetters) {
  EXPECT_EQ(CompareNoCase("ABC", "abc"), 0);
  EXPECT_LT(CompareNoCase("abc", "abd"), 0);
  EXPECT_LT(CompareNoCase("ab", "abc"), 0);
  EXPECT_NE(CompareNoCase("\xC3\x84", "\xC3\xA4"), 0) << "Ä and ä differ: only A-Z fold";
  EXPECT_NE(CompareNoCase("[", "{"), 0);
}

}  // namespace
