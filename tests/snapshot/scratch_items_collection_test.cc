// The scratch area on a real store: two live collections of one section, and keys and
// values the store could not keep as given.
#include <gtest/gtest.h>

#include "lumora/object.h"
#include "lumora/values.h"
#include "snapshot/scratch_items_collection.h"
#include "store/query_filters.h"
#include "store/scratch_set.h"
#include "store/value_protection.h"
#include "tests/store/open_store_fixture.h"

namespace lumora::testing {
namespace {

class ScratchAreaTest : public OpenStoreTest {
 protected:
  static ComPtr<PRScratchItemsCollection> Area(const std::string& section) {
    ComPtr<PRScratchItemsCollection> area = MakeObject<PRScratchItemsCollection>();
    area->Open(section);
    return area;
  }
  static HRESULT Set(IPRScratchItemsCollection* area, const std::string& key, const std::string& value) {
    return area->CreateKey(Bstr::FromUtf8(key).get(), Bstr::FromUtf8(value).get());
  }
  static LONG Count(IPRScratchItemsCollection* area) {
    LONG count = -1;
    EXPECT_EQ(area->get_Count(&count), S_OK);
    return count;
  }
  // key -> plain value of every Scratch row of `section`, in row order.
  std::vector<std::pair<std::string, std::string>> Rows(const std::string& section) {
    CScratchSet set(m_db);
    set.m_strFilter = "SECTION = '" + QuoteFilterText(section) + "'";
    set.Open();
    std::vector<std::pair<std::string, std::string>> rows;
    for (; !set.IsEOF(); set.MoveNext()) rows.emplace_back(set.m_key, UnprotectValue(set.m_value));
    return rows;
  }
  using Rows_ = std::vector<std::pair<std::string, std::string>>;
};

TEST_F(ScratchAreaTest, TwoLiveCollectionsOfASectionKeepOneRowPerKey) {
  ComPtr<PRScratchItemsCollection> first = Area("acme");
  ComPtr<PRScratchItemsCollection> second = Area("acme");
  // A key the other collection saved after this one was opened is replaced, not added again.
  ASSERT_EQ(Set(second.get(), "k", "from the second"), S_OK);
  ASSERT_EQ(Set(first.get(), "k", "from the first"), S_OK);
  EXPECT_EQ(Rows("acme"), (Rows_{{"k", "from the first"}}));
  EXPECT_EQ(Count(first.get()), 1);

  // Each sees what the other changed since: counts, deletions, new keys by name.
  ASSERT_EQ(Set(second.get(), "j", "2"), S_OK);
  EXPECT_EQ(Count(first.get()), 2);
  Variant key = Variant::Utf8("j");
  Variant item;
  EXPECT_EQ(first->Item(*key.get(), item.put()), S_OK);
  EXPECT_EQ(item.vt(), VT_DISPATCH);
  ASSERT_EQ(second->DeleteAllKeys(), S_OK);
  EXPECT_EQ(Count(first.get()), 0);
  Variant position = Variant::I4(0);
  Variant none;
  EXPECT_EQ(first->Item(*position.get(), none.put()), E_INVALIDARG) << "the area is empty now";
  EXPECT_EQ(none.vt(), VT_EMPTY);
}

TEST_F(ScratchAreaTest, APositionIsTakenWholeNeverCutTo16Bits) {
  ComPtr<PRScratchItemsCollection> area = Area("acme");
  ASSERT_EQ(Set(area.get(), "only", "1"), S_OK);
  for (const LONG position : {65536L, -65536L, 65535L, 1L, -1L}) {
    Variant index = Variant::I4(position);
    Variant item;
    EXPECT_EQ(area->Item(*index.get(), item.put()), E_INVALIDARG) << position;
    EXPECT_EQ(item.vt(), VT_EMPTY) << position;
  }
  Variant first = Variant::I4(0);
  Variant item;
  EXPECT_EQ(area->Item(*first.get(), item.put()), S_OK);
}

TEST_F(ScratchAreaTest, KeysAndValuesWithAZeroCharacterAreRefusedAndNothingIsStored) {
  ComPtr<PRScratchItemsCollection> area = Area("acme");
  ASSERT_EQ(Set(area.get(), "k", "kept"), S_OK);
  const Bstr zero = Bstr::FromUtf16(std::u16string(u"k\0tail", 6));
  const Bstr plain = Bstr::FromUtf8("k");
  EXPECT_EQ(area->CreateKey(plain.get(), zero.get()), E_INVALIDARG) << "the value would read back as \"k\"";
  EXPECT_EQ(area->CreateKey(zero.get(), plain.get()), E_INVALIDARG);
  EXPECT_EQ(area->DeleteKey(zero.get()), E_INVALIDARG);

  Variant key = Variant::Utf8("k");
  Variant item;
  ASSERT_EQ(area->Item(*key.get(), item.put()), S_OK);
  ComPtr<IPRScratchItem> scratchItem;
  ASSERT_EQ(item->pdispVal->QueryInterface(IID_IPRScratchItem, scratchItem.put_void()), S_OK);
  EXPECT_EQ(scratchItem->put_Value(zero.get()), E_INVALIDARG);
  EXPECT_EQ(Rows("acme"), (Rows_{{"k", "kept"}}));
}

}  // namespace
}  // namespace lumora::testing
