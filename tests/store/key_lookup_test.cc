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
