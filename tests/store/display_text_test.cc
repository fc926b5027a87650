// DisplayText for every type, from the store and from what requests know.
#include "store/display_text.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "lumora/profile.h"
#include "store/key_lookup.h"
#include "tests/store/open_store_fixture.h"

namespace lumora {
namespace {

class DisplayTextTest : public testing::OpenStoreTest {
 protected:
  void SetUp() override {
    OpenStoreTest::SetUp();
    setenv("LC_ALL", "C", 1);
  }
  void TearDown() override {
    unsetenv("LC_ALL");
    OpenStoreTest::TearDown();
  }
  // The shown text of the stored variable `uki`.
  std::string Shown(const std::string& uki, const PRGetDisplayValueAssistor* assistor = nullptr) {
    CKeySet set(m_db, dbOpenSnapshot);
    set.Open();
    EXPECT_TRUE(FindKey(set, uki)) << uki;
    return DisplayText(&set, assistor, nullptr);
  }
};

TEST_F(DisplayTextTest, StoredValuesByType) {
  AddVariable("S", "age", "42", eTypeInt32);
  AddVariable("S", "name", "Ann", eTypeString);
  AddVariable("S", "when", "36526.5", eTypeDateTime);
  AddVariable("S", "day", "36526", eTypeDate);
  AddVariable("S", "time", "0.25", eTypeTime);
  AddVariable("S", "yes", "1", eTypeBoolean);
  AddVariable("S", "true", "True", eTypeBoolean);
  AddVariable("S", "list",
              "a\x01"
              "b\x01\x01"
              "c",
              eTypeStringList);
  AddVariable("S", "array", "ignored", eTypeArrayOfStrings);
  AddVariable("S", "colour", "2", eTypeEnumOfStrings);
  AddVariable("S", "unset", std::string(kNotSetMarker), eTypeInt32);
  AddVariable("S", "odd", "x", 42);
  AddVariable("S", "baddate", "soon", eTypeDate);
  AddLabels("S.colour", {"red", "green", "blue"});
  EXPECT_EQ(Shown("S.age"), "42");
  EXPECT_EQ(Shown("S.name"), "Ann");
  EXPECT_EQ(Shown("S.when"), "01/01/2000 12:00:00") << "dates in the locale's format";
  EXPECT_EQ(Shown("S.day"), "01/01/2000");
  EXPECT_EQ(Shown("S.time"), "06:00:00");
  EXPECT_EQ(Shown("S.yes"), "Yes");
  EXPECT_EQ(Shown("S.true"), "No") << "True parses as true but shows as No";
  EXPECT_EQ(Shown("S.list"), "a, b");
  EXPECT_EQ(Shown("S.array"), "<Multiple Values>");
  EXPECT_EQ(Shown("S.colour"), "green") << "the label from the store";
  EXPECT_EQ(Shown("S.unset"), "");
  EXPECT_EQ(Shown("S.odd"), "");
  EXPECT_EQ(Shown("S.baddate"), "soon") << "a date that does not parse shows its raw text";
}

TEST_F(DisplayTextTest, LinksShowTheSourceValueAndLabels) {
  AddVariable("common", "colour", "3", eTypeEnumOfStrings);
  AddLabels("common.colour", {"red", "green", "blue"});
  AddVariable("S", "common.colour", "", eTypeEnumOfStrings, true);
  EXPECT_EQ(Shown("S.common.colour"), "blue") << "labels of the link's source";
}

TEST_F(DisplayTextTest, AssistorsSupplyWhatRequestsKnow) {
  AddVariable("S", "colour", "1", eTypeEnumOfStrings);
  AddLabels("S.colour", {"red", "green", "blue"});
  AddVariable("S", "born", "36526", eTypeDate);
  PRGetDisplayValueAssistorForModifyRequest modify("2");
  EXPECT_EQ(Shown("S.colour", &modify), "green") << "a modification shows the stored label of its new value";
  PRGetDisplayValueAssistorForModifyRequest newDate("36527");
  EXPECT_EQ(Shown("S.born", &newDate), "01/02/2000") << "the new date, formatted";

  const std::vector<std::string> options = {"red", "green", "blue"};
  PR_GDVACreateRequest create("2", eTypeEnumOfStrings, &options);
  EXPECT_EQ(DisplayText(nullptr, &create, nullptr), "green");
  PR_GDVACreateRequest pastTheEnd("7", eTypeEnumOfStrings, &options);
  EXPECT_EQ(DisplayText(nullptr, &pastTheEnd, nullptr), "blue");
  PR_GDVACreateRequest zero("0", eTypeEnumOfStrings, &options);
  EXPECT_EQ(DisplayText(nullptr, &zero, nullptr), "blue");
  const std::vector<std::string> none;
  PR_GDVACreateRequest noOptions("1", eTypeEnumOfStrings, &none);
  EXPECT_EQ(DisplayText(nullptr, &noOptions, nullptr), "");
  for (const auto& [raw, shown] :
       {std::pair<const char*, const char*>{"1", "Yes"}, {"F", "No"}, {"", "No"}, {"T", "Yes"}}) {
    PR_GDVACreateRequest boolean(raw, eTypeBoolean, &none);
    EXPECT_EQ(DisplayText(nullptr, &boolean, nullptr), shown) << '"' << raw << '"';
  }
  PR_GDVACreateRequest unset(std::string(kNotSetMarker), eTypeString, &none);
  EXPECT_EQ(DisplayText(nullptr, &unset, nullptr), "");
  PR_GDVACreateLinkRequest link("36526.5", eTypeDateTime);
  EXPECT_EQ(DisplayText(nullptr, &link, nullptr), "01/01/2000 12:00:00") << "formatted by the source's type";
  const std::string override = "99";
  EXPECT_EQ(DisplayText(nullptr, &create, &override), "blue") << "the raw override comes first";
}

}  // namespace
}  // namespace lumora
