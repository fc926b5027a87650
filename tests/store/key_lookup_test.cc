// Row operations on a real store: links, array elements, shared marks, enum labels.
#include "store/key_lookup.h"

#include <gtest/gtest.h>

#include "lumora/profile.h"
#include "lumora/values.h"
#include "tests/store/open_store_fixture.h"

namespace lumora {
namespace {

class KeyLookupTest : public testing::OpenStoreTest {};

TEST_F(KeyLookupTest, LinksAreFollowedOneStep) {
  AddVariable("common", "x", "shared value", eTypeString);
  AddVariable("S", "common.x", "", eTypeString, true);
  AddVariable("S", "common.gone", "", eTypeString, true);
  CKeySet set(m_db, dbOpenSnapshot);
  set.Open();
  ASSERT_TRUE(FindKey(set, "S.common.x"));
  EXPECT_EQ(EffectiveRawValue(set), "shared value");
  ASSERT_TRUE(FindKey(set, "S.common.gone"));
  EXPECT_EQ(EffectiveRawValue(set), "") << "a link whose source is gone reads as empty";
  ASSERT_TRUE(FindKey(set, "common.x"));
  EXPECT_EQ(EffectiveRawValue(set), "shared value");
  EXPECT_FALSE(FindKey(set, "S.nothing"));
  EXPECT_TRUE(FindKey(set, "s.COMMON.X")) << "the engine ignores letter case in filters";
}

TEST_F(KeyLookupTest, ArrayItemsAreAddedReplacedOrLeftAlone) {
  {
    CArraySet set(m_db);
    EXPECT_EQ(SetArrayItem(set, "S.list[1]", "first"), S_OK);
  }
  {
    CArraySet set(m_db);
    EXPECT_EQ(SetArrayItem(set, "S.list[1]", "first"), eWarningValueUnchanged);
  }
  {
    CArraySet set(m_db);
    EXPECT_EQ(SetArrayItem(set, "S.list[1]", "First"), eWarningOnlyValueChanged) << "values compare exactly";
  }
  {
    CArraySet set(m_db);
    EXPECT_EQ(SetArrayItem(set, "S.list[o'clock]", "x"), S_OK);
  }
  CArraySet read(m_db);
  read.Open();
  ASSERT_TRUE(FindArrayItem(read, "S.list", "1"));
  EXPECT_EQ(UnprotectValue(read.m_value), "First");
  EXPECT_TRUE(FindArrayItem(read, "S.list", "o'clock"));
  EXPECT_EQ(read.GetRecordCount(), 2);
  CArraySet tooLong(m_db);
  EXPECT_THROW(SetArrayItem(tooLong, "S.list[2]", std::string(1007, 'x')), HResultException);
}

TEST_F(KeyLookupTest, MarkSharedGivesEveryRowOneTime) {
  for (const char* key : {"a", "b", "c"}) AddVariable("S", key, "v", eTypeString);
  {
    CKeySet set(m_db, dbOpenDynaset);
    MarkShared(set, {"S.a", "S.c", "S.missing"});
  }
  CKeySet read(m_db, dbOpenSnapshot);
  read.Open();
  std::vector<DATE> times;
  while (!read.IsEOF()) {
    times.push_back(read.m_LastShared);
    read.MoveNext();
  }
  ASSERT_EQ(times.size(), 3u);
  EXPECT_GT(times[0], 40000.0);
  EXPECT_EQ(times[0], times[2]) << "one time for the whole call";
  EXPECT_EQ(times[1], 0.0) << "rows not named are not marked";
}

TEST_F(KeyLookupTest, EnumLabels) {
  AddLabels("common.colour", {"red", "green", "blue"});
  AddLabels("S.size", {"small", "large"});
  CEnumSet all(m_db);
  all.Open();
  EXPECT_EQ(EnumLabel(all, "common.colour", "2"), "green");
  EXPECT_EQ(EnumLabel(all, "S.size", "1"), "small");
  EXPECT_EQ(EnumLabel(all, "S.size", "3"), "");
  EXPECT_EQ(EnumLabel(all, "S.size", ""), "");

  Variant labels;
  CEnumSet common(m_db);
  EXPECT_EQ(EnumLabels(common, "S.common.colour", labels.get()), 3) << "S.common.colour looks up common.colour";
  ASSERT_EQ(labels.vt(), VT_ARRAY | VT_BSTR);
  LONG index = 2;
  Bstr third;
  ASSERT_EQ(SafeArrayGetElement(labels->parray, &index, third.put()), S_OK);
  EXPECT_EQ(third.ToUtf8(), "blue");
  CEnumSet own(m_db);
  EXPECT_EQ(EnumLabels(own, "S.size", labels.get()), 2);
  CEnumSet none(m_db);
  EXPECT_EQ(EnumLabels(none, "S.nothing", labels.get()), 0);
  LONG upper = 0;
  SafeArrayGetUBound(labels->parray, 1, &upper);
  EXPECT_EQ(upper, -1) << "an empty array, not an empty VARIANT";
}

// A section's labels are read once into a book that must answer as EnumLabel and
// EnumLabels answer, whatever the table holds: names in any letter case, an index twice,
// and indexes stored as no write makes them (none, past 32 bits), which the engine's
// comparison with a whole number never matches.
TEST_F(KeyLookupTest, TheLabelBookAnswersAsEachLookupAlone) {
  AddLabels("common.colour", {"red", "green"});
  AddLabels("S.common.colour", {"own red"});
  AddLabel("s.SIZE", 2, "large");
  AddLabel("S.size", 1, "small");
  AddLabel("S.size", 2, "large again");
  m_db->Execute(
      "INSERT INTO Enums (Label, enumIndex, uki) VALUES ('none', NULL, 'S.odd'), ('wide', 4294967297, 'S.odd'), "
      "('one', 1, 'S.odd'), ('minus', -4294967297, 'S.odd')");
  const std::vector<std::string> ukis = {"S.size", "S.common.colour", "S.odd", "S.none"};
  CEnumSet read(m_db);
  const EnumLabelBook book(read, ukis);
  for (const std::string& uki : ukis) {
    for (LONG index = -1; index <= 4; ++index) {
      CEnumSet alone(m_db);
      alone.Open();
      EXPECT_EQ(book.Label(uki, index), EnumLabel(alone, uki, std::to_string(index))) << uki << " " << index;
    }
    Variant labels;
    CEnumSet alone(m_db);
    const long count = EnumLabels(alone, uki, labels.get());
    std::vector<std::string> listed;
    for (LONG i = 0; i < count; ++i) {
      Bstr label;
      ASSERT_EQ(SafeArrayGetElement(labels->parray, &i, label.put()), S_OK);
      listed.push_back(label.ToUtf8());
    }
    EXPECT_EQ(book.Labels(uki), listed) << uki;
  }
}

TEST_F(KeyLookupTest, ScratchItemsAreFoundBySectionAndKey) {
  CScratchSet set(m_db);
  set.Open();
  set.AddNew();
  set.m_section = "S";
  set.m_key = "temp";
  set.m_value = ProtectValue("42");
  set.Update();
  EXPECT_TRUE(FindScratchItem(set, "S", "temp"));
  EXPECT_EQ(UnprotectValue(set.m_value), "42");
  EXPECT_FALSE(FindScratchItem(set, "T", "temp"));
}

}  // namespace
}  // namespace lumora
