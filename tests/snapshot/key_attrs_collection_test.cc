// The key attribute collection on a real store: which rows a read holds, how items are
// found by position and by uki, what they hand out, the consent rows, and the objects'
// lifetimes against the collection and the store.
#include "snapshot/key_attrs_collection.h"

#include <gtest/gtest.h>

#include "snapshot/enum_variant.h"
#include "store/profile_database.h"
#include "tests/snapshot/snapshot_test_fixture.h"
#include "tests/support/counting_unknown.h"

namespace lumora {
namespace {

class KeyAttrsCollectionTest : public testing::SnapshotTest {
 protected:
  // The raw values of the next `count` items of an enumeration: a privileged item's raw
  // value, a plain item's value as text.
  static std::vector<std::string> NextRawValues(IEnumVARIANT* walk, ULONG count) {
    std::vector<VARIANT> items(count);
    ULONG fetched = 0;
    EXPECT_EQ(walk->Next(count, items.data(), &fetched), S_OK);
    std::vector<std::string> values;
    for (ULONG i = 0; i < fetched; ++i) {
      ComPtr<IDispatch> item(items[i].pdispVal);
      Bstr raw;
      ComPtr<IPRSuperKeyAttr> super;
      if (SUCCEEDED(item->QueryInterface(IID_IPRSuperKeyAttr, super.put_void()))) {
        values.push_back(SUCCEEDED(super->get_RawValue(raw.put())) ? raw.ToUtf8() : "<no raw value>");
      } else {
        values.push_back(ValueText(item.query<IPRKeyAttr>().get()));
      }
      VariantClear(&items[i]);
    }
    return values;
  }
};

TEST_F(KeyAttrsCollectionTest, EachVariableOnceInTheStoresOrderWhateverWasAsked) {
  Add("sec", "first", "1", eTypeInt32);
  Add("sec", "list", "", eTypeArrayOfStrings);
  Add("sec", "last", "z");
  AddElement("sec.list", "k1", "one");
  AddElement("sec.list", "k2", "two");
  // Backwards, twice, as elements, in other letters, and something that does not exist.
  auto collection =
      Read({"sec.last", "sec.list[k2]", "sec.first", "sec.list[k1]", "sec.last", "sec.nothing", "SEC.FIRST"});
  LONG count = 0;
  ASSERT_EQ(collection->get_Count(&count), S_OK);
  EXPECT_EQ(count, 3);
  HRESULT hr = S_OK;
  EXPECT_EQ(ValueText(Item(collection.get(), 2, &hr).get()), "z") << "store order";
  auto element = Item(collection.get(), "sec.list[k2]", &hr);
  ASSERT_EQ(hr, S_OK);
  EXPECT_EQ(ValueText(element.get()), "two");
  EProfileDataType type = eTypeUnknown;
  element->get_Type(&type);
  EXPECT_EQ(type, eTypeString) << "an element is a string";
  Item(collection.get(), "sec.list[zz]", &hr);
  EXPECT_EQ(hr, eErrorKeyNotFound);
  Item(collection.get(), "sec.nothing", &hr);
  EXPECT_EQ(hr, eErrorKeyNotFound);
  Item(collection.get(), "Sec.Last", &hr);
  EXPECT_EQ(hr, S_OK) << "ukis find rows as the store's filters do";

  // Nothing asked, nothing found.
  EXPECT_EQ(Read({})->RowCount(), 0u);
  EXPECT_EQ(Read({"sec.a'b", "x"})->RowCount(), 0u);
}

TEST_F(KeyAttrsCollectionTest, ASectionsMissingCopyOfACommonVariableFallsBackToTheSharedOne) {
  Add("common", "name", "shared name");
  Add("common", "city", "shared city");
  Add("sec", "common.city", "own city");
  auto collection = Read({"sec.common.name", "sec.common.city"});
  ASSERT_EQ(collection->RowCount(), 2u);
  HRESULT hr = S_OK;
  EXPECT_EQ(ValueText(Item(collection.get(), "common.name", &hr).get()), "shared name");
  EXPECT_EQ(ValueText(Item(collection.get(), "sec.common.name", &hr).get()), "shared name");
  EXPECT_EQ(ValueText(Item(collection.get(), "common.city", &hr).get()), "own city") << "the section's own copy";
  EXPECT_EQ(ValueText(Item(collection.get(), "sec.common.city", &hr).get()), "own city");
  // The privileged form qualifies nothing: common.city is the shared variable.
  auto privileged = Read({"common.city", "sec.common.city"}, "/", true);
  EXPECT_EQ(ValueText(Item(privileged.get(), "common.city", &hr).get()), "shared city")
      << "a privileged item is a key attribute too";
  // A common uki of another section's copy is not this session's.
  EXPECT_EQ(Read({"other.common.name"})->RowCount(), 1u) << "the shared variable is read";
  Item(Read({"sec.common.nothing"}).get(), "common.nothing", &hr);
  EXPECT_EQ(hr, eErrorKeyNotFound);
}

TEST_F(KeyAttrsCollectionTest, LinksAndLinkedArraysReadTheirSource) {
  Add("common", "colour", "blue");
  Add("sec", "common.colour", "", eTypeString, "Colour", ePrivacyShared, true);
  Add("common", "pets", "", eTypeArrayOfStrings);
  Add("sec", "common.pets", "", eTypeArrayOfStrings, "Pets", ePrivacyShared, true);
  AddElement("common.pets", "a", "cat");
  auto collection = Read({"sec.common.colour", "sec.common.pets[a]"});
  HRESULT hr = S_OK;
  EXPECT_EQ(ValueText(Item(collection.get(), "common.colour", &hr).get()), "blue");
  EXPECT_EQ(ValueText(Item(collection.get(), "sec.common.pets[a]", &hr).get()), "cat");
}

TEST_F(KeyAttrsCollectionTest, IndexesAreIntegersOrStringsAndPositionsLieInsideTheCollection) {
  Add("sec", "a", "A");
  Add("sec", "b", "B");
  auto collection = Read({"sec.a", "sec.b"});
  HRESULT hr = S_OK;
  SHORT one = 1;
  VARIANT byRef{};
  byRef.vt = VT_I2 | VT_BYREF;
  byRef.piVal = &one;
  EXPECT_EQ(ValueText(Item(collection.get(), byRef, &hr).get()), "B");
  Variant inner = Variant::I2(0);
  VARIANT wrapped{};
  wrapped.vt = VT_VARIANT | VT_BYREF;
  wrapped.pvarVal = inner.get();
  EXPECT_EQ(ValueText(Item(collection.get(), wrapped, &hr).get()), "A");
  Bstr uki = Bstr::FromUtf8("sec.b");
  BSTR ukiText = uki.get();
  VARIANT stringRef{};
  stringRef.vt = VT_BSTR | VT_BYREF;
  stringRef.pbstrVal = &ukiText;
  EXPECT_EQ(ValueText(Item(collection.get(), stringRef, &hr).get()), "B");

  for (LONG bad : {-1L, 2L, 65536L, 65537L}) {
    Item(collection.get(), bad, &hr);
    EXPECT_EQ(hr, E_INVALIDARG) << bad << ": not a row (65536 is not row 0)";
  }
  Variant real = Variant::R8(0.0);
  Variant date = Variant::Date(0.0);
  Variant flag = Variant::Bool(true);
  VARIANT dispatch{};
  dispatch.vt = VT_DISPATCH;
  dispatch.pdispVal = collection.get();
  VARIANT array{};
  array.vt = VT_ARRAY | VT_BSTR;
  VARIANT nullRef{};
  nullRef.vt = VT_I4 | VT_BYREF;
  for (const VARIANT& bad : {*real.get(), *date.get(), *flag.get(), dispatch, array, nullRef, VARIANT{}}) {
    Item(collection.get(), bad, &hr);
    EXPECT_EQ(hr, E_INVALIDARG) << "type " << bad.vt;
    VARIANT_BOOL exists = VARIANT_TRUE;
    EXPECT_EQ(collection->Exists(bad, &exists), S_OK);
    EXPECT_EQ(exists, VARIANT_FALSE);
  }
  VARIANT_BOOL exists = VARIANT_FALSE;
  Variant present = Variant::Utf8("sec.a");
  EXPECT_EQ(collection->Exists(*present.get(), &exists), S_OK);
  EXPECT_EQ(exists, VARIANT_TRUE);
  Variant absent = Variant::Utf8("sec.zzz");
  EXPECT_EQ(collection->Exists(*absent.get(), &exists), S_OK);
  EXPECT_EQ(exists, VARIANT_FALSE);
  EXPECT_EQ(collection->Exists(*present.get(), nullptr), E_POINTER);
  EXPECT_EQ(collection->Item(*present.get(), nullptr), E_POINTER);
  EXPECT_EQ(collection->get_Count(nullptr), E_POINTER);
}

TEST_F(KeyAttrsCollectionTest, ValuesComeInTheirTypesAndUnsetValuesAreNotValues) {
  Add("sec", "int", "-42", eTypeInt32);
  Add("sec", "date", "36526.000000", eTypeDate);
  Add("sec", "flag", "T", eTypeBoolean);
  Add("sec", "choice", "2", eTypeEnumOfStrings);
  Add("sec", "list",
      "a\x01"
      "b",
      eTypeStringList);
  Add("sec", "array", "", eTypeArrayOfStrings);
  Add("sec", "unset", std::string(kNotSetMarker), eTypeInt32);
  Add("sec", "bad", "abc", eTypeInt32);
  auto collection =
      Read({"sec.int", "sec.date", "sec.flag", "sec.choice", "sec.list", "sec.array", "sec.unset", "sec.bad"});
  HRESULT hr = S_OK;
  Variant value;
  ASSERT_EQ(Item(collection.get(), "sec.int", &hr)->get_Value(value.put()), S_OK);
  EXPECT_EQ(value.vt(), VT_I4);
  EXPECT_EQ(value->lVal, -42);
  ASSERT_EQ(Item(collection.get(), "sec.date", &hr)->get_Value(value.put()), S_OK);
  EXPECT_EQ(value.vt(), VT_DATE);
  EXPECT_EQ(value->date, 36526.0);
  ASSERT_EQ(Item(collection.get(), "sec.flag", &hr)->get_Value(value.put()), S_OK);
  EXPECT_EQ(value.vt(), VT_BOOL);
  EXPECT_EQ(value->boolVal, VARIANT_TRUE);
  ASSERT_EQ(Item(collection.get(), "sec.choice", &hr)->get_Value(value.put()), S_OK);
  EXPECT_EQ(value.vt(), VT_I2);
  EXPECT_EQ(value->iVal, 2);
  EXPECT_EQ(ValueText(Item(collection.get(), "sec.list", &hr).get()),
            "a\x01"
            "b");
  EXPECT_EQ(Item(collection.get(), "sec.array", &hr)->get_Value(value.put()), eErrorProfileTypeMismatch);
  EXPECT_EQ(value.vt(), VT_EMPTY);
  EXPECT_EQ(Item(collection.get(), "sec.bad", &hr)->get_Value(value.put()), eErrorProfileTypeMismatch);
  auto unset = Item(collection.get(), "sec.unset", &hr);
  EXPECT_EQ(unset->get_Value(value.put()), eErrorValueIsNotSet);
  VARIANT_BOOL set = VARIANT_TRUE;
  EXPECT_EQ(unset->get_IsValueSet(&set), S_OK);
  EXPECT_EQ(set, VARIANT_FALSE);
  EXPECT_EQ(Item(collection.get(), "sec.int", &hr)->get_IsValueSet(&set), S_OK);
  EXPECT_EQ(set, VARIANT_TRUE) << "-1, not 1";
  EXPECT_EQ(unset->get_Value(nullptr), E_POINTER);
  EXPECT_EQ(unset->get_Type(nullptr), E_POINTER);
}

TEST_F(KeyAttrsCollectionTest, TheConsentListHasOneRowPerFieldNameWithAValue) {
  Add("sec", "name", "Ann", eTypeString, "Name");
  Add("sec", "unset", std::string(kNotSetMarker), eTypeString, "Unset");
  Add("sec", "nick", "Annie", eTypeString, "Name");
  Add("sec", "flag", "1", eTypeBoolean, "Subscribed");
  Add("sec", "lower", "x", eTypeString, "name");
  Add("common", "colour", "blue");
  Add("sec", "common.colour", "", eTypeString, "Colour", ePrivacyPrivate, true);
  Add("sec", "pets", "", eTypeArrayOfStrings, "Pets");
  Add("sec", "common.gone", "", eTypeString, "Gone", ePrivacyShared, true);
  Add("COMMON", "COLOUR", "red");  // found after common.colour: not the link's source
  Add("sec", "Common.Colour2", "", eTypeString, "Colour 2", ePrivacyShared, true);
  Add("common", "colour2", "green");
  auto collection = Read({"sec.name", "sec.unset", "sec.nick", "sec.flag", "sec.lower", "sec.common.colour",
                          "sec.pets[cat]", "sec.common.gone", "sec.Common.Colour2"});
  std::vector<std::unique_ptr<PRDisplayReadItem>> rows;
  collection->BuildReadConsentList(&rows);
  std::vector<std::pair<std::string, std::string>> shown;
  for (const auto& row : rows) shown.emplace_back(row->m_fieldName, row->m_displayText);
  EXPECT_EQ(shown, (std::vector<std::pair<std::string, std::string>>{{"Name", "Ann"},
                                                                     {"Subscribed", "Yes"},
                                                                     {"name", "x"},
                                                                     {"Colour", "blue"},
                                                                     {"Pets", "<Multiple Values>"},
                                                                     {"Gone", ""},
                                                                     {"Colour 2", "green"}}))
      << "the first row of a field name wins, names compare exactly, a link shows its source (the first one in the "
         "store's order, letter case aside), a link whose source is gone shows nothing";
  std::vector<std::unique_ptr<PRDisplayReadItem>> none;
  Read({})->BuildReadConsentList(&none);
  EXPECT_TRUE(none.empty());
}

TEST_F(KeyAttrsCollectionTest, GetArrayGivesTheElementsOfAnArrayAskedForInThatSpelling) {
  Add("sec", "pets", "", eTypeArrayOfStrings);
  AddElement("sec.pets", "a", "cat");
  AddElement("sec.pets", "b", "");
  Add("common", "langs", "", eTypeArrayOfStrings);
  AddElement("common.langs", "1", "en");
  auto collection = Read({"sec.pets", "sec.common.langs", "sec.empty"});
  ComPtr<IDispatch> dispatch;
  EXPECT_EQ(collection->GetArray(Bstr::FromUtf8("SEC.PETS").get(), dispatch.put()), eErrorKeyNotFound);
  EXPECT_EQ(dispatch.get(), nullptr);
  EXPECT_EQ(collection->GetArray(Bstr::FromUtf8("common.langs").get(), dispatch.put()), eErrorKeyNotFound)
      << "only the spelling that was queued";
  ASSERT_EQ(collection->GetArray(Bstr::FromUtf8("sec.pets").get(), dispatch.put()), S_OK);
  ComPtr<IPRArrayItemsCollection> pets = dispatch.query<IPRArrayItemsCollection>();
  LONG count = 0;
  EXPECT_EQ(pets->get_Count(&count), S_OK);
  EXPECT_EQ(count, 2);

  // By position: only a 16-bit integer passed by reference; by key: only a string by reference.
  SHORT zero = 0;
  VARIANT position{};
  position.vt = VT_I2 | VT_BYREF;
  position.piVal = &zero;
  Variant item;
  ASSERT_EQ(pets->Item(position, item.put()), S_OK);
  Bstr text;
  ComPtr<IPRArrayItem> first = ComPtr<IDispatch>(item->pdispVal).query<IPRArrayItem>();
  first->get_Value(text.put());
  EXPECT_EQ(text.ToUtf8(), "cat");
  first->get_Index(text.put());
  EXPECT_EQ(text.ToUtf8(), "a");
  Variant byValue = Variant::I2(0);
  EXPECT_EQ(pets->Item(*byValue.get(), item.put()), E_INVALIDARG);
  LONG zeroLong = 0;
  VARIANT longRef{};
  longRef.vt = VT_I4 | VT_BYREF;
  longRef.plVal = &zeroLong;
  EXPECT_EQ(pets->Item(longRef, item.put()), E_INVALIDARG);
  EXPECT_EQ(item.vt(), VT_DISPATCH);
  EXPECT_EQ(item->pdispVal, nullptr) << "a failing call leaves VT_DISPATCH with no object";
  SHORT two = 2;
  position.piVal = &two;
  EXPECT_EQ(pets->Item(position, item.put()), E_INVALIDARG);
  Bstr key = Bstr::FromUtf8("B");
  VARIANT keyRef{};
  keyRef.vt = VT_BSTR | VT_BYREF;
  BSTR raw = key.get();
  keyRef.pbstrVal = &raw;
  ASSERT_EQ(pets->Item(keyRef, item.put()), S_OK);
  ComPtr<IDispatch>(item->pdispVal).query<IPRArrayItem>()->get_Value(text.put());
  EXPECT_EQ(text.ToUtf8(), "") << "an element stored empty";
  key = Bstr::FromUtf8("zz");
  raw = key.get();
  EXPECT_EQ(pets->Item(keyRef, item.put()), HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
  EXPECT_EQ(item->pdispVal, nullptr);

  // A section's copy of a common array without elements reads the shared array.
  ASSERT_EQ(collection->GetArray(Bstr::FromUtf8("sec.common.langs").get(), dispatch.put()), S_OK);
  dispatch.query<IPRArrayItemsCollection>()->get_Count(&count);
  EXPECT_EQ(count, 1);
  // An array without elements: empty, and its first position is the store's "no current record".
  ASSERT_EQ(collection->GetArray(Bstr::FromUtf8("sec.empty").get(), dispatch.put()), S_OK);
  ComPtr<IPRArrayItemsCollection> empty = dispatch.query<IPRArrayItemsCollection>();
  empty->get_Count(&count);
  EXPECT_EQ(count, 0);
  position.piVal = &zero;
  EXPECT_EQ(empty->Item(position, item.put()), static_cast<HRESULT>(0x800A0BCD));
  ComPtr<IEnumVARIANT> elements;
  ASSERT_EQ(empty->get__NewEnum(reinterpret_cast<IUnknown**>(elements.put())), S_OK);
  ULONG fetched = 7;
  EXPECT_EQ(elements->Next(1, item.put(), &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  // The privileged form takes any spelling.
  EXPECT_EQ(Read({}, "/", true)->GetArray(Bstr::FromUtf8("SEC.PETS").get(), dispatch.put()), S_OK);
}

TEST_F(KeyAttrsCollectionTest, EnumeratorsCopyWalkSkipAndClone) {
  for (const char* key : {"a", "b", "c"}) Add("sec", key, std::string("value ") + key);
  auto collection = Read({"sec.a", "sec.b", "sec.c"});
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(collection->get__NewEnum(unknown.put()), S_OK);
  ComPtr<IEnumVARIANT> walk = unknown.query<IEnumVARIANT>();
  collection.reset();  // the enumerator and its items stand on their own

  VARIANT items[3];
  ULONG fetched = 0;
  EXPECT_EQ(walk->Next(1, items, nullptr), S_OK) << "one at a time needs no count";
  VariantClear(&items[0]);
  EXPECT_EQ(walk->Next(3, items, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  auto text = [](VARIANT& v) { return ValueText(ComPtr<IDispatch>(v.pdispVal).query<IPRKeyAttr>().get()); };
  EXPECT_EQ(text(items[0]), "value b");
  EXPECT_EQ(text(items[1]), "value c");
  VariantClear(&items[0]);
  VariantClear(&items[1]);
  EXPECT_EQ(walk->Next(1, items, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(walk->Reset(), S_OK);
  EXPECT_EQ(walk->Next(1, items, &fetched), S_OK);
  EXPECT_EQ(text(items[0]), "value a");
  VariantClear(&items[0]);

  EXPECT_EQ(walk->Skip(1), S_OK);
  ComPtr<IEnumVARIANT> clone;
  ASSERT_EQ(walk->Clone(clone.put()), S_OK);
  EXPECT_EQ(walk->Skip(1), S_FALSE) << "exactly to the end";
  EXPECT_EQ(walk->Skip(5), S_FALSE) << "past the end stops there";
  walk.reset();  // the clone keeps the items
  EXPECT_EQ(clone->Next(1, items, &fetched), S_OK);
  EXPECT_EQ(text(items[0]), "value c") << "the clone stood where its original stood";
  VariantClear(&items[0]);

  EXPECT_EQ(clone->Next(1, nullptr, &fetched), E_POINTER);
  EXPECT_EQ(clone->Next(2, items, nullptr), E_POINTER);
  EXPECT_EQ(clone->Clone(nullptr), E_POINTER);
  EXPECT_EQ(clone->Next(0, items, &fetched), S_OK);
  EXPECT_EQ(fetched, 0u);
}

// The enumerator makes its items as they are fetched, from what it read when it was
// made: a change in the store or a closed store afterwards changes none of them.
TEST_F(KeyAttrsCollectionTest, AnEnumeratorGivesWhatTheStoreHeldWhenItWasMade) {
  Add("common", "colour", "blue");
  Add("sec", "own", "old");
  Add("sec", "common.colour", "", eTypeString, "Colour", ePrivacyShared, true);
  ComPtr<PRKeyAttrsCollection> section = MakeObject<PRKeyAttrsCollection>();
  section->FillSection("sec");
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(section->get__NewEnum(unknown.put()), S_OK);
  ComPtr<IEnumVARIANT> walk = unknown.query<IEnumVARIANT>();
  section.reset();
  {
    CKeySet set(m_db, dbOpenDynaset);
    set.Open();
    for (; !set.IsEOF(); set.MoveNext()) {
      set.Edit();
      set.m_Value = ProtectValue("changed");
      set.Update();
    }
  }
  CloseProfileDatabase();
  EXPECT_EQ(NextRawValues(walk.get(), 2), (std::vector<std::string>{"old", "blue"}));
}

// A password reset makes the stored values unreadable under the new password; an
// enumerator made before it still hands out the values read when it was made, the
// section's own values as well as its links' sources, plain and privileged alike.
TEST_F(KeyAttrsCollectionTest, AnEnumeratorKeepsItsValuesThroughAPasswordReset) {
  Add("common", "colour", "blue");
  Add("sec", "own", "old");
  Add("sec", "when", "2024-02-29", eTypeDate);
  Add("sec", "common.colour", "", eTypeString, "Colour", ePrivacyShared, true);
  ComPtr<PRKeyAttrsCollection> section = MakeObject<PRKeyAttrsCollection>();
  section->FillSection("sec");
  auto plain = Read({"sec.own", "sec.common.colour"});
  ComPtr<IUnknown> superUnknown;
  ComPtr<IUnknown> plainUnknown;
  ASSERT_EQ(section->get__NewEnum(superUnknown.put()), S_OK);
  ASSERT_EQ(plain->get__NewEnum(plainUnknown.put()), S_OK);
  ASSERT_EQ(ResetDatabasePassword(), S_OK);
  CloseProfileDatabase();
  ASSERT_EQ(OpenProfileDatabase(), S_OK) << "the store opens under a new password";
  ASSERT_NE(UnprotectValue(ProtectValue("x")), "") << "the store still protects values";

  EXPECT_EQ(NextRawValues(superUnknown.query<IEnumVARIANT>().get(), 3),
            (std::vector<std::string>{"old", "2024-02-29", "blue"}));
  EXPECT_EQ(NextRawValues(plainUnknown.query<IEnumVARIANT>().get(), 2), (std::vector<std::string>{"old", "blue"}));
}

// A fetch is all or nothing: when one item cannot be made, those made before it in the
// same fetch are released and the position stays.
TEST(EnumVariantTest, AnItemThatCannotBeMadeFailsItsWholeFetch) {
  int made = 0;
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(CComEnumVariant::Create(
                4,
                [&made](size_t index, VARIANT* item) -> HRESULT {
                  if (index == 2 && made < 10) return (made += 10), E_OUTOFMEMORY;  // once
                  ++made;
                  item->vt = VT_BSTR;
                  item->bstrVal = SysAllocString(u"an item");  // a leak if not released
                  return S_OK;
                },
                unknown.put()),
            S_OK);
  ComPtr<IEnumVARIANT> walk = unknown.query<IEnumVARIANT>();
  VARIANT items[4];
  ULONG fetched = 7;
  EXPECT_EQ(walk->Next(4, items, &fetched), E_OUTOFMEMORY);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(walk->Next(4, items, &fetched), S_OK) << "the position stayed at the first";
  EXPECT_EQ(fetched, 4u);
  for (VARIANT& item : items) VariantClear(&item);
  EXPECT_EQ(walk->Next(1, items, &fetched), S_FALSE);
}

TEST_F(KeyAttrsCollectionTest, TheCollectionKeepsItsSessionAndReachesTheStoreAfterAClose) {
  Add("common", "colour", "blue");
  Add("sec", "common.colour", "", eTypeString, "Colour", ePrivacyShared, true);
  Add("sec", "pets", "", eTypeArrayOfStrings);
  AddElement("sec.pets", "a", "cat");
  testing::CountingUnknown session;
  ComPtr<IPRKeyAttr> item;
  {
    auto collection = Read({"sec.common.colour", "sec.pets"});
    collection->SetStoreHolder(&session);
    EXPECT_EQ(session.held(), 1);
    ComPtr<IDispatch> pets;
    ASSERT_EQ(collection->GetArray(Bstr::FromUtf8("sec.pets").get(), pets.put()), S_OK);
    EXPECT_EQ(session.held(), 2) << "the array collection keeps it too";
    // The store is closed under the collection (a privileged session may do that).
    CloseProfileDatabase();
    HRESULT hr = S_OK;
    item = Item(collection.get(), "common.colour", &hr);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(ValueText(item.get()), "blue") << "the link was followed on the store opened again";
  }
  EXPECT_EQ(session.held(), 0);
  CloseProfileDatabase();
  EXPECT_EQ(ValueText(item.get()), "blue") << "an item outlives its collection and the store";
}

TEST_F(KeyAttrsCollectionTest, APrivilegedReadHandsOutEveryColumn) {
  Add("sec", "choice", "2", eTypeEnumOfStrings, "Choice", ePrivacyPrivate);
  AddLabels("sec.choice", {"red", "green"});
  Add("common", "colour", "blue");
  Add("sec", "common.colour", "", eTypeString, "Colour", ePrivacyShared, true);
  Add("sec", "unset", std::string(kNotSetMarker), eTypeDate);
  Add("SEC", "upper", "u");
  Add("other", "x", "y");
  ComPtr<PRKeyAttrsCollection> section = MakeObject<PRKeyAttrsCollection>();
  section->FillSection("sec");
  EXPECT_EQ(section->RowCount(), 4u) << "the section's rows, in any letter case";
  HRESULT hr = S_OK;
  auto choice = Item<IPRSuperKeyAttr>(section.get(), "sec.choice", &hr);
  ASSERT_TRUE(choice);
  Bstr text;
  EXPECT_EQ(choice->get_Uki(text.put()), S_OK);
  EXPECT_EQ(text.ToUtf8(), "sec.choice");
  EXPECT_EQ(choice->get_FieldName(text.put()), S_OK);
  EXPECT_EQ(text.ToUtf8(), "Choice");
  EXPECT_EQ(choice->get_DisplayValue(text.put()), S_OK);
  EXPECT_EQ(text.ToUtf8(), "green");
  EXPECT_EQ(choice->get_RawValue(text.put()), S_OK);
  EXPECT_EQ(text.ToUtf8(), "2");
  EPrivacy privacy = ePrivacyShared;
  EXPECT_EQ(choice->get_Privacy(&privacy), S_OK);
  EXPECT_EQ(privacy, ePrivacyPrivate);
  EVolatility volatility = eVolatilityChangesNever;
  EXPECT_EQ(choice->get_Volatility(&volatility), S_OK);
  EXPECT_EQ(volatility, eVolatilityChangesRarely);
  Variant labels;
  ASSERT_EQ(choice->get_EnumOptions(labels.put()), S_OK);
  EXPECT_EQ(labels.vt(), VT_ARRAY | VT_BSTR);
  VARIANT_BOOL flag = VARIANT_TRUE;
  EXPECT_EQ(choice->get_IsLinked(&flag), S_OK);
  EXPECT_EQ(flag, VARIANT_FALSE);
  EXPECT_EQ(choice->get_LinkSource(text.put()), E_FAIL);
  EXPECT_EQ(choice->get_IsReadOnly(&flag), S_OK);
  EXPECT_EQ(flag, VARIANT_FALSE);
  DATE lastShared = 1;
  EXPECT_EQ(choice->get_LastShared(&lastShared), S_OK);
  EXPECT_EQ(lastShared, 0.0);

  auto link = Item<IPRSuperKeyAttr>(section.get(), "sec.common.colour", &hr);
  ASSERT_TRUE(link);
  EXPECT_EQ(link->get_LinkSource(text.put()), S_OK);
  EXPECT_EQ(text.ToUtf8(), "common.colour");
  EXPECT_EQ(link->get_RawValue(text.put()), S_OK);
  EXPECT_EQ(text.ToUtf8(), "blue");
  EXPECT_EQ(link->get_EnumOptions(labels.put()), eErrorProfileTypeMismatch);

  auto unset = Item<IPRSuperKeyAttr>(section.get(), "sec.unset", &hr);
  ASSERT_TRUE(unset);
  EXPECT_EQ(unset->get_RawValue(text.put()), eErrorValueIsNotSet);
  EXPECT_EQ(unset->get_DisplayValue(text.put()), eErrorValueIsNotSet);
  EXPECT_EQ(text.get(), nullptr);

  ComPtr<PRKeyAttrsCollection> nothing = MakeObject<PRKeyAttrsCollection>();
  nothing->FillSection("o'brien");
  EXPECT_EQ(nothing->RowCount(), 0u);
}

// An enumeration reads every row's link source and labels in one pass; each item must
// still be exactly the one Item makes on its own.
TEST_F(KeyAttrsCollectionTest, EnumeratingASectionGivesWhatEachItemGivesAlone) {
  Add("sec", "choice", "2", eTypeEnumOfStrings, "Choice");
  AddLabels("SEC.Choice", {"red", "green"});            // labels under another letter case
  Add("sec", "bare", "1", eTypeEnumOfStrings, "Bare");  // no labels at all
  Add("common", "size", "1", eTypeEnumOfStrings);
  AddLabels("common.size", {"S", "M"});
  Add("sec", "common.size", "", eTypeEnumOfStrings, "Size", ePrivacyShared, true);  // labels of common.size
  Add("COMMON", "Colour", "blue");
  Add("common", "colour", "second row: never the source");
  Add("sec", "common.colour", "", eTypeString, "Colour", ePrivacyShared, true);
  Add("sec", "common.gone", "", eTypeString, "Gone", ePrivacyShared, true);  // a link without source
  Add("sec", "plain", "p");
  Add("sec", "choice2", "1", eTypeEnumOfStrings, "Choice 2");
  AddLabels("sec.choice2", {"only"});
  // Labels out of index order, an index twice: a label is found by its index, the
  // first such row in the table's order; the list is the table's order.
  Add("sec", "reversed", "1", eTypeEnumOfStrings, "Reversed");
  AddLabel("sec.reversed", 2, "second");
  AddLabel("SEC.REVERSED", 1, "first");
  AddLabel("sec.reversed", 1, "first again");
  // A section's own (unlinked) copy of a common enumeration shows its own label but
  // lists the common one's labels.
  Add("common", "size2", "1", eTypeEnumOfStrings);
  AddLabels("common.size2", {"a", "b"});
  Add("sec", "common.size2", "2", eTypeEnumOfStrings, "Size 2");
  AddLabels("sec.common.size2", {"own 1", "own 2"});
  ComPtr<PRKeyAttrsCollection> section = MakeObject<PRKeyAttrsCollection>();
  section->FillSection("sec");
  ASSERT_EQ(section->RowCount(), 9u);

  auto describe = [](IPRSuperKeyAttr* item) {
    std::string text;
    Bstr value;
    HRESULT hr = item->get_Uki(value.put());
    text += value.ToUtf8() + "|";
    hr = item->get_RawValue(value.put());
    text += SUCCEEDED(hr) ? value.ToUtf8() : "raw failed";
    hr = item->get_DisplayValue(value.put());
    text += "|" + (SUCCEEDED(hr) ? value.ToUtf8() : "display failed") + "|";
    Variant labels;
    hr = item->get_EnumOptions(labels.put());
    if (SUCCEEDED(hr) && labels.vt() == (VT_ARRAY | VT_BSTR)) {
      LONG upper = -1;
      SafeArrayGetUBound(labels->parray, 1, &upper);
      for (LONG i = 0; i <= upper; ++i) {
        BSTR label = nullptr;
        SafeArrayGetElement(labels->parray, &i, &label);
        text += Bstr::ToUtf8(label) + ",";
        SysFreeString(label);
      }
    } else {
      text += "no labels";
    }
    return text;
  };
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(section->get__NewEnum(unknown.put()), S_OK);
  ComPtr<IEnumVARIANT> walk = unknown.query<IEnumVARIANT>();
  std::vector<std::string> enumerated;
  std::vector<std::string> alone;
  for (LONG row = 0; row < 9; ++row) {
    VARIANT next;
    VariantInit(&next);
    ASSERT_EQ(walk->Next(1, &next, nullptr), S_OK);
    enumerated.push_back(describe(ComPtr<IDispatch>(next.pdispVal).query<IPRSuperKeyAttr>().get()));
    VariantClear(&next);
    HRESULT hr = S_OK;
    Variant index = Variant::I4(row);
    auto item = Item<IPRSuperKeyAttr>(section.get(), *index.get(), &hr);
    ASSERT_TRUE(item);
    alone.push_back(describe(item.get()));
  }
  EXPECT_EQ(enumerated, alone);
  EXPECT_EQ(enumerated, (std::vector<std::string>{
                            "sec.choice|2|green|red,green,", "sec.bare|1||", "sec.common.size|1|S|S,M,",
                            "sec.common.colour|blue|blue|no labels", "sec.common.gone|||no labels",
                            "sec.plain|p|p|no labels", "sec.choice2|1|only|only,",
                            "sec.reversed|1|first|second,first,first again,", "sec.common.size2|2|own 2|a,b,"}));
}

TEST_F(KeyAttrsCollectionTest, AThousandRequestsWithTheFallbackReadTheRightRows) {
  m_db->m_pWorkspace->BeginTrans();
  for (int i = 0; i < 1200; ++i) Add("sec", "k" + std::to_string(i), std::to_string(i));
  for (int i = 0; i < 10; ++i) Add("common", "c" + std::to_string(i), "shared " + std::to_string(i));
  m_db->m_pWorkspace->CommitTrans();
  std::vector<std::string> requests;
  for (int i = 0; i < 1000; ++i) requests.push_back("sec.k" + std::to_string(i * 7 % 1200));
  for (int i = 0; i < 10; ++i) requests.push_back("sec.common.c" + std::to_string(i));
  requests.push_back("sec.missing");
  auto collection = Read(requests);
  EXPECT_EQ(collection->RowCount(), 1010u);
  HRESULT hr = S_OK;
  EXPECT_EQ(ValueText(Item(collection.get(), "common.c9", &hr).get()), "shared 9");
  EXPECT_EQ(ValueText(Item(collection.get(), 0, &hr).get()), "0") << "store order";
  EXPECT_EQ(ValueText(Item(collection.get(), 999, &hr).get()), "1199");
}

}  // namespace
}  // namespace lumora

namespace lumora {
namespace {

// Calls a member through IDispatch only, arguments in declaration order.
HRESULT Call(IDispatch* object, DISPID dispid, WORD flags, std::vector<VARIANT> args, VARIANT* result) {
  std::reverse(args.begin(), args.end());
  DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  EXCEPINFO info{};
  const HRESULT hr = object->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &info, nullptr);
  return hr == DISP_E_EXCEPTION ? info.scode : hr;
}

DISPID IdOf(IDispatch* object, const char16_t* name) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID dispid = DISPID_UNKNOWN;
  object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
  return dispid;
}

TEST_F(KeyAttrsCollectionTest, ArraysAndPrivilegedItemsAnswerThroughIDispatchAlone) {
  Add("sec", "pets", "", eTypeArrayOfStrings);
  AddElement("sec.pets", "a", "cat");
  AddElement("sec.pets", "b", "dog");
  Add("sec", "choice", "1", eTypeEnumOfStrings, "Choice");
  AddLabels("sec.choice", {"red", "green"});
  auto collection = Read({"sec.pets", "sec.choice"}, "/", true);
  ComPtr<IDispatch> keys;
  collection->QueryInterface(IID_IDispatch, keys.put_void());

  Variant pets;
  Variant uki = Variant::Utf8("sec.pets");
  ASSERT_EQ(Call(keys.get(), IdOf(keys.get(), u"getarray"), DISPATCH_METHOD, {*uki.get()}, pets.put()), S_OK);
  ASSERT_EQ(pets.vt(), VT_DISPATCH);
  Variant count;
  EXPECT_EQ(Call(pets->pdispVal, IdOf(pets->pdispVal, u"Count"), DISPATCH_PROPERTYGET, {}, count.put()), S_OK);
  EXPECT_EQ(count->lVal, 2);
  SHORT one = 1;
  VARIANT position{};
  position.vt = VT_I2 | VT_BYREF;
  position.piVal = &one;
  Variant element;
  ASSERT_EQ(Call(pets->pdispVal, DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {position}, element.put()), S_OK)
      << "the default member, a position passed by reference";
  Variant value;
  EXPECT_EQ(Call(element->pdispVal, DISPID_VALUE, DISPATCH_PROPERTYGET, {}, value.put()), S_OK);
  EXPECT_EQ(Bstr::ToUtf8(value->bstrVal), "dog");
  EXPECT_EQ(Call(element->pdispVal, IdOf(element->pdispVal, u"Index"), DISPATCH_PROPERTYGET, {}, value.put()), S_OK);
  EXPECT_EQ(Bstr::ToUtf8(value->bstrVal), "b");
  Variant enumerator;
  ASSERT_EQ(Call(pets->pdispVal, DISPID_NEWENUM, DISPATCH_PROPERTYGET, {}, enumerator.put()), S_OK);
  ASSERT_EQ(enumerator.vt(), VT_UNKNOWN);
  ComPtr<IEnumVARIANT> walk;
  ASSERT_EQ(enumerator->punkVal->QueryInterface(IID_IEnumVARIANT, walk.put_void()), S_OK);
  EXPECT_EQ(walk->Skip(2), S_FALSE);

  // A privileged item by name: every property is there.
  Variant choice = Variant::Utf8("sec.choice");
  Variant item;
  ASSERT_EQ(Call(keys.get(), DISPID_VALUE, DISPATCH_METHOD, {*choice.get()}, item.put()), S_OK);
  EXPECT_EQ(Call(item->pdispVal, IdOf(item->pdispVal, u"DisplayValue"), DISPATCH_PROPERTYGET, {}, value.put()), S_OK);
  EXPECT_EQ(Bstr::ToUtf8(value->bstrVal), "red");
  EXPECT_EQ(Call(item->pdispVal, IdOf(item->pdispVal, u"EnumOptions"), DISPATCH_PROPERTYGET, {}, value.put()), S_OK);
  EXPECT_EQ(value.vt(), VT_ARRAY | VT_BSTR);
  EXPECT_EQ(Call(item->pdispVal, IdOf(item->pdispVal, u"LinkSource"), DISPATCH_PROPERTYGET, {}, value.put()), E_FAIL);
  EXPECT_EQ(Call(item->pdispVal, DISPID_VALUE, DISPATCH_PROPERTYGET, {}, value.put()), S_OK);
  EXPECT_EQ(value.vt(), VT_I2);
}

}  // namespace
}  // namespace lumora
