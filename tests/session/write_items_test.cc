// Each kind of change against the real tables: creations over existing variables, links
// to common variables in all their states, array elements, enumerations, link switches,
// deletions, and the results each gives.
#include <gtest/gtest.h>

#include "tests/session/write_fixture.h"

namespace lumora::testing {
namespace {

using WriteItemsTest = WriteTest;
using Items = std::vector<std::pair<std::string, std::string>>;

TEST_F(WriteItemsTest, CreatingAnExistingVariableChangesOnlyItsValue) {
  ComPtr<PRProfile> s = Session("acme");
  ASSERT_EQ(s->AddCreateKeyRequest(Bstr::FromUtf8("acme.v").get(), eTypeInt32, Bstr::FromUtf8("5").get(),
                                   eVolatilityChangesOften, ePrivacyPrivate, Bstr::FromUtf8("Visits").get(),
                                   VARIANT_TRUE, nullptr),
            S_OK);
  LONG executed = 0;
  ASSERT_EQ(Execute(s.get(), &executed), S_OK);
  auto row = Row("acme.v");
  ASSERT_TRUE(row);
  EXPECT_EQ(row->raw, "5");
  EXPECT_NE(row->storedValue, "5") << "stored protected";
  EXPECT_EQ(row->type, eTypeInt32);
  EXPECT_EQ(row->volatility, eVolatilityChangesOften);
  EXPECT_TRUE(row->readOnly);
  EXPECT_FALSE(row->linked);

  // The same value again: unchanged, not a change for the sink.
  ASSERT_EQ(Create(s.get(), "acme.v", eTypeInt32, "5", ePrivacyPrivate, "Other name"), S_OK);
  ASSERT_EQ(Execute(s.get(), &executed), S_OK);
  EXPECT_EQ(executed, 1);
  EXPECT_EQ(SinkBatches().size(), 1u);
  // Another value: only the value changes; the read-only flag protects nothing.
  ASSERT_EQ(Create(s.get(), "acme.v", eTypeString, "6", ePrivacyShared, "Other name"), S_OK);
  ASSERT_EQ(Execute(s.get(), &executed), S_OK);
  row = Row("acme.v");
  EXPECT_EQ(row->raw, "6");
  EXPECT_EQ(row->fieldName, "Visits");
  EXPECT_EQ(row->type, eTypeInt32);
  EXPECT_EQ(row->privacy, ePrivacyPrivate) << "the dialog offered the stored privacy, not the request's";
  EXPECT_TRUE(row->readOnly);
  // ...and checked against the type the item declares.
  ASSERT_EQ(Create(s.get(), "acme.v", eTypeString, "seven"), S_OK);
  ASSERT_EQ(Execute(s.get(), &executed), S_OK) << "a string type takes any text";
  ASSERT_EQ(Delete(s.get(), "acme.v"), S_OK);
  ASSERT_EQ(Execute(s.get(), &executed), S_OK);
  EXPECT_FALSE(Row("acme.v"));
  EXPECT_EQ(SinkBatches(), (std::vector<std::vector<std::string>>{{"acme.v"}, {"acme.v"}, {"acme.v"}, {"acme.v"}}));
}

TEST_F(WriteItemsTest, ModifyingALinkGivesTheValueToAnUnsetSourceOrLeavesTheLink) {
  Put("common.unset", "\x02\x02");
  Put("common.set", "source value");
  PutLink("acme.common.unset");
  PutLink("acme.common.set");
  PutLink("acme.common.same");
  Put("common.same", "equal");
  ComPtr<PRProfile> s = Session("acme");
  ASSERT_EQ(Modify(s.get(), "acme.common.unset", "given"), S_OK);
  ASSERT_EQ(Modify(s.get(), "acme.common.set", "mine"), S_OK);
  ASSERT_EQ(Modify(s.get(), "acme.common.same", "equal"), S_OK);
  LONG executed = 0;
  ASSERT_EQ(Execute(s.get(), &executed), S_OK);
  EXPECT_EQ(executed, 3);

  EXPECT_EQ(Row("common.unset")->raw, "given") << "the common variable now holds the value";
  EXPECT_TRUE(Row("acme.common.unset")->linked);
  EXPECT_EQ(Row("acme.common.unset")->storedValue, "");
  EXPECT_FALSE(Row("acme.common.set")->linked) << "another value breaks the link";
  EXPECT_EQ(Row("acme.common.set")->raw, "mine");
  EXPECT_EQ(Row("common.set")->raw, "source value");
  EXPECT_TRUE(Row("acme.common.same")->linked) << "the source's own value keeps the link";
  EXPECT_EQ(SinkBatches(), (std::vector<std::vector<std::string>>{{"acme.common.unset", "acme.common.set"}}));

  // A link whose source is gone cannot be written through.
  PutLink("acme.common.gone");
  ASSERT_EQ(Modify(s.get(), "acme.common.gone", "x"), S_OK);
  EXPECT_EQ(Execute(s.get(), &executed), eErrorKeyNotFound);
  EXPECT_EQ(Row("acme.common.gone")->storedValue, "");
}

TEST_F(WriteItemsTest, CreatingALinkFollowsTheStateOfTheCommonVariable) {
  Put("common.empty", "\x02\x02", eTypeInt32, ePrivacyShared, "Empty");
  Put("common.full", "10", eTypeInt32, ePrivacyShared, "Full");
  Put("common.full2", "10", eTypeInt32, ePrivacyShared, "Full 2");
  Put("common.list", "\x02\x02", eTypeArrayOfStrings, ePrivacyShared, "List");
  Put("common.n", "\x02\x02", eTypeInt32, ePrivacyShared, "N");
  ComPtr<PRProfile> s = Session("acme");
  ASSERT_EQ(CreateLink(s.get(), "acme.common.empty", "common.empty"), S_OK);  // no value, unset source
  ASSERT_EQ(Modify(s.get(), "common.full", "11"), S_OK);                      // a value, set source
  ASSERT_EQ(Modify(s.get(), "common.full2", "eleven"), S_OK);                 // refused by the type
  ASSERT_EQ(CreateLink(s.get(), "acme.common.list", "common.list"), S_OK);    // arrays count as set
  ASSERT_EQ(Modify(s.get(), "common.n", "many"), S_OK);                       // dropped, still a link
  ASSERT_EQ(CreateLink(s.get(), "acme.common.none", "common.none"), S_OK);    // no source
  LONG executed = 0;
  EXPECT_EQ(Execute(s.get(), &executed), E_FAIL);
  EXPECT_EQ(executed, 4);

  auto empty = Row("acme.common.empty");
  EXPECT_TRUE(empty->linked);
  EXPECT_EQ(empty->storedValue, "\x02\x02");
  EXPECT_EQ(empty->fieldName, "Empty");
  EXPECT_EQ(empty->type, eTypeInt32);
  EXPECT_EQ(empty->privacy, ePrivacyShared) << "copied from the source without a dialog";
  auto full = Row("acme.common.full");
  EXPECT_FALSE(full->linked) << "a value for a set common variable makes an ordinary variable";
  EXPECT_EQ(full->raw, "11");
  EXPECT_EQ(Row("common.full")->raw, "10");
  EXPECT_FALSE(Row("acme.common.full2")) << "a value the type refuses stores nothing of its own";
  EXPECT_TRUE(Row("acme.common.list")->linked);
  EXPECT_EQ(Row("acme.common.list")->storedValue, "");
  EXPECT_TRUE(Row("acme.common.n")->linked);
  EXPECT_EQ(Row("common.n")->raw, "\x02\x02");
  EXPECT_FALSE(Row("acme.common.none"));
}

TEST_F(WriteItemsTest, ArrayElementsAreWrittenAloneAndALinkedCommonArrayIsTakenOverFirst) {
  Put("common.colours", "", eTypeArrayOfStrings, ePrivacyShared, "Colours");
  PutArrayItem("common.colours", "1", "red");
  PutArrayItem("common.colours", "2", "green");
  PutLink("acme.common.colours", {}, eTypeArrayOfStrings);
  PutArrayItem("acme.common.colours", "9", "left from before the link");
  Put("acme.own", "", eTypeArrayOfStrings);
  ComPtr<PRProfile> s = Session("acme");
  ASSERT_EQ(Modify(s.get(), "common.colours[2]", "blue"), S_OK);
  ASSERT_EQ(Create(s.get(), "acme.own[a]", eTypeString, "1"), S_OK);
  ASSERT_EQ(Create(s.get(), "acme.nomain[a]", eTypeString, "1"), S_OK) << "no Main row is needed";
  ASSERT_EQ(Modify(s.get(), "acme.nomain2[a]", "1"), S_OK);  // a modification needs the variable
  LONG executed = 0;
  EXPECT_EQ(Execute(s.get(), &executed), eErrorKeyNotFound);
  EXPECT_EQ(executed, 4);
  EXPECT_EQ(ArrayItems("acme.common.colours"), (Items{{"1", "red"}, {"2", "blue"}}));
  EXPECT_EQ(ArrayItems("common.colours"), (Items{{"1", "red"}, {"2", "green"}})) << "the common array untouched";
  EXPECT_FALSE(Row("acme.common.colours")->linked);
  EXPECT_EQ(ArrayItems("acme.own"), (Items{{"a", "1"}}));
  EXPECT_EQ(ArrayItems("acme.nomain"), (Items{{"a", "1"}}));

  // Elements are deleted one by one; a missing one fails with the engine's missing row.
  ASSERT_EQ(Delete(s.get(), "acme.own[a]"), S_OK);
  ASSERT_EQ(Delete(s.get(), "acme.own[a]"), S_OK);
  EXPECT_EQ(Execute(s.get(), &executed), CDaoException::ScodeOf(kJetNoCurrentRecord));
  EXPECT_EQ(executed, 1);
  EXPECT_TRUE(ArrayItems("acme.own").empty());
  EXPECT_TRUE(Row("acme.own")) << "the variable stays";

  // Creating or deleting an element of a linked common array takes the array over too;
  // an element uki on a link of another type leaves the link alone.
  Put("common.sizes", "", eTypeArrayOfStrings, ePrivacyShared, "Sizes");
  PutArrayItem("common.sizes", "s", "small");
  PutArrayItem("common.sizes", "l", "large");
  PutLink("acme.common.sizes", {}, eTypeArrayOfStrings);
  Put("common.shades", "", eTypeArrayOfStrings, ePrivacyShared, "Shades");
  PutArrayItem("common.shades", "d", "dark");
  PutArrayItem("common.shades", "p", "pale");
  PutLink("acme.common.shades", {}, eTypeArrayOfStrings);
  Put("common.word", "w");
  PutLink("acme.common.word");
  ASSERT_EQ(Create(s.get(), "acme.common.sizes[m]", eTypeString, "medium"), S_OK);
  ASSERT_EQ(Delete(s.get(), "acme.common.shades[d]"), S_OK);
  ASSERT_EQ(Create(s.get(), "acme.common.word[x]", eTypeString, "x"), S_OK);
  EXPECT_EQ(Execute(s.get(), &executed), S_OK);
  EXPECT_EQ(ArrayItems("acme.common.sizes"), (Items{{"s", "small"}, {"l", "large"}, {"m", "medium"}}));
  EXPECT_EQ(ArrayItems("acme.common.shades"), (Items{{"p", "pale"}}));
  EXPECT_EQ(ArrayItems("common.sizes").size(), 2u);
  EXPECT_EQ(ArrayItems("common.shades").size(), 2u);
  EXPECT_FALSE(Row("acme.common.sizes")->linked);
  EXPECT_FALSE(Row("acme.common.shades")->linked);
  EXPECT_TRUE(Row("acme.common.word")->linked);

  // Deleting the array variable deletes its elements, and nobody else's.
  ASSERT_EQ(Delete(s.get(), "acme.common.colours"), S_OK);
  EXPECT_EQ(Execute(s.get(), &executed), S_OK);
  EXPECT_TRUE(ArrayItems("acme.common.colours").empty());
  EXPECT_EQ(ArrayItems("common.colours").size(), 2u);
}

TEST_F(WriteItemsTest, EnumerationsWriteTheirLabelsAndTakeThemAlongWhenDeleted) {
  Put("acme.other", "1", eTypeEnumOfStrings);
  AddLabels("acme.other", {"x"});
  ComPtr<PRProfile> s = Session("acme");
  Variant options = Strings({"red", "green", "blue"});
  ASSERT_EQ(Create(s.get(), "acme.e", eTypeEnumOfStrings, "3", ePrivacyPrivate, "E", options.get()), S_OK);
  LONG executed = 0;
  ASSERT_EQ(Execute(s.get(), &executed), S_OK);
  EXPECT_EQ(EnumRows("acme.e"), (std::vector<std::pair<LONG, std::string>>{{1, "red"}, {2, "green"}, {3, "blue"}}));
  EXPECT_EQ(Row("acme.e")->raw, "3");
  ASSERT_EQ(Modify(s.get(), "acme.e", "x"), S_OK);
  EXPECT_EQ(Execute(s.get(), &executed), eErrorProfileTypeMismatch);
  ASSERT_EQ(Delete(s.get(), "acme.e"), S_OK);
  ASSERT_EQ(Execute(s.get(), &executed), S_OK);
  EXPECT_TRUE(EnumRows("acme.e").empty());
  EXPECT_EQ(EnumRows("acme.other").size(), 1u);
}

TEST_F(WriteItemsTest, LinkSwitchesNeedACommonSourceAndNeverTouchTheOwnValue) {
  Put("common.x", "common value");
  PutLink("s.common.x", "own value");
  Put("s.plain", "plain");
  Put("common.y", "y");
  PutLink("s.common.y");
  ComPtr<PRProfile> all = AllSections();
  const auto link = [&](const char* uki, bool on) {
    return all->AddLinkRequestHelper(Bstr::FromUtf8(uki).get(), on ? VARIANT_TRUE : VARIANT_FALSE);
  };
  ASSERT_EQ(link("s.common.x", false), S_OK);
  ASSERT_EQ(link("s.plain", true), S_OK);  // plain.plain is no common variable
  LONG executed = 0;
  EXPECT_EQ(Execute(all.get(), &executed, -1), E_INVALIDARG);
  EXPECT_EQ(executed, 1);
  EXPECT_FALSE(Row("s.common.x")->linked);
  EXPECT_EQ(Row("s.common.x")->raw, "own value") << "switching off shows the row's own value again";
  EXPECT_FALSE(Row("s.plain")->linked);

  ASSERT_EQ(link("s.common.x", true), S_OK);
  ASSERT_EQ(link("s.missing", true), S_OK);  // nothing to switch: no other row is touched
  ASSERT_EQ(all->AddLinkRequestHelper(Bstr::FromUtf8("s.common.y").get(), 1), S_OK);  // only -1 is "on"
  EXPECT_EQ(Execute(all.get(), &executed, -1), eErrorKeyNotFound);
  EXPECT_EQ(executed, 2);
  EXPECT_TRUE(Row("s.common.x")->linked);
  EXPECT_FALSE(Row("s.common.y")->linked);
  EXPECT_EQ(RowCount(), 5);

  // A missing variable fails each kind of change with its own code.
  ComPtr<PRProfile> s = Session("s");
  ASSERT_EQ(Modify(s.get(), "s.none", "1"), S_OK);
  EXPECT_EQ(Execute(s.get(), &executed), eErrorKeyNotFound);
  ASSERT_EQ(Delete(s.get(), "s.none"), S_OK);
  EXPECT_EQ(Execute(s.get(), &executed), E_FAIL);
  ASSERT_EQ(all->AddModifyPrivacyRequest(Bstr::FromUtf8("s.none").get(), ePrivacyShared), S_OK);
  EXPECT_EQ(Execute(all.get(), &executed, -1), E_FAIL);
}

}  // namespace
}  // namespace lumora::testing
