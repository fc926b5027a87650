// Uki decomposition and the filter texts, byte for byte.
#include "store/uki.h"

#include <gtest/gtest.h>

#include "store/query_filters.h"

namespace lumora {
namespace {

TEST(UkiTest, DecompositionFollowsTheFirstDotAndBracket) {
  struct Case {
    const char* uki;
    const char* section;
    const char* key;
    const char* arrayKey;
    const char* base;
  };
  const Case cases[] = {
      {"S.k[3]", "S", "k", "3", "S.k"},
      {"S.a.b", "S", "a.b", "", "S.a.b"},
      {"S.k[3]x", "S", "k", "", "S.k"},
      {"nodot", "nodot", "nodot", "", "nodot"},
      {"nodot[2]", "nodot[2]", "nodot", "2", "nodot"},
      {"S.a.b[x.y]", "S", "a.b", "x.y", "S.a.b"},
      {"S.k[]", "S", "k", "", "S.k"},
      {"S.k[a[b]]", "S", "k", "a[b]", "S.k"},
      {"", "", "", "", ""},
      {".k", "", "k", "", ".k"},
      {"S.", "S", "", "", "S."},
      {"S.k]", "S", "k]", "", "S.k]"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SectionOfUki(c.uki), c.section) << c.uki;
    EXPECT_EQ(KeyOfUki(c.uki), c.key) << c.uki;
    EXPECT_EQ(ArrayKeyOfUki(c.uki), c.arrayKey) << c.uki;
    EXPECT_EQ(BaseOfUki(c.uki), c.base) << c.uki;
  }
  EXPECT_EQ(MakeUki("S", "k", "3"), "S.k[3]");
  EXPECT_EQ(MakeUki("S", "a.b", ""), "S.a.b");
}

TEST(UkiTest, CommonSectionsAndQualification) {
  for (const char* common : {"common", "Common2", "commons", "COMMON", "CoMmOn.x"}) {
    EXPECT_TRUE(IsCommonSection(common)) << common;
  }
  for (const char* other : {"commo", "xcommon", "", "comm0n"}) EXPECT_FALSE(IsCommonSection(other)) << other;
  EXPECT_EQ(QualifyCommonUki(false, "S", "common.x"), "S.common.x");
  EXPECT_EQ(QualifyCommonUki(false, "S", "Commons.y"), "S.Commons.y");
  EXPECT_EQ(QualifyCommonUki(false, "S", "T.z"), "T.z");
  EXPECT_EQ(QualifyCommonUki(true, "S", "common.x"), "common.x") << "an unqualified request stays as it is";
  EXPECT_EQ(QualifyCommonUki(false, "S", "common.x[1]"), "S.common.x[1]");
}

TEST(QueryFiltersTest, TextsAreExactAndApostrophesDoubled) {
  EXPECT_EQ(KeyFilter("S", "k"), "SECTION = 'S' AND KEY = 'k'");
  EXPECT_EQ(KeyListFilter({}), "SECTION = 'ShouldNeverExist'");
  EXPECT_EQ(KeyListFilter({"S.a", "T.b"}), "(SECTION = 'S' AND KEY = 'a') OR (SECTION = 'T' AND KEY = 'b')");
  EXPECT_EQ(ArrayListFilter({}), "UKI = 'ShouldNeverExist'");
  EXPECT_EQ(ArrayListFilter({"S.k[1]"}), "(UKI = 'S.k' AND KEY = '1')");
  EXPECT_EQ(ArrayListFilter({"S.k[1]", "S.a.b[x]"}), "(UKI = 'S.k' AND KEY = '1') OR (UKI = 'S.a.b' AND KEY = 'x')");
  EXPECT_EQ(ArrayItemFilter("S.k", "2"), "UKI = 'S.k' AND KEY = '2'");
  EXPECT_EQ(ScratchItemFilter("S", "temp"), "SECTION = 'S' AND KEY = 'temp'");
  EXPECT_EQ(EnumLabelFilter("S.colour", "3"), "UKI = 'S.colour' AND ENUMINDEX = 3");
  EXPECT_EQ(EnumLabelsFilter("S.colour"), "UKI = 'S.colour'");
  EXPECT_EQ(KeyFilter("O'Brien", "it's"), "SECTION = 'O''Brien' AND KEY = 'it''s'");
  EXPECT_EQ(KeyListFilter({"a'.b'"}), "(SECTION = 'a''' AND KEY = 'b''')");
  EXPECT_EQ(QuoteFilterText("''"), "''''");
}

}  // namespace
}  // namespace lumora
