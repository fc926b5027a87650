// Queueing writes: which item a request leaves in the queue, how a modification merges
// into an earlier request for the same variable, and what every queueing method refuses
// (with the queue left as it was).
#include <gtest/gtest.h>

#include <typeinfo>

#include "session/create_link_request_item.h"
#include "session/create_request_item.h"
#include "session/delete_request_item.h"
#include "session/link_request_item.h"
#include "session/modify_privacy_request_item.h"
#include "session/modify_raw_value_request_item.h"
#include "tests/session/write_fixture.h"

namespace lumora::testing {
namespace {

using WriteQueueTest = WriteTest;

// The queue as "<class> <uki> <value>" lines, so that a whole queue compares at once.
std::vector<std::string> Queue(const ComPtr<PRProfile>& profile) {
  std::vector<std::string> lines;
  for (const auto& item : profile->m_writeRequests) {
    const PRWriteRequestItem& it = *item;
    std::string line;
    if (typeid(it) == typeid(PRModifyRawValueRequestItem)) {
      line = "modify " + it.GetUki() + " " + static_cast<const PRModifyRawValueRequestItem&>(it).NewRawValue();
    } else if (typeid(it) == typeid(PRCreateRequestItem)) {
      line = "create " + it.GetUki() + " " + static_cast<const PRCreateRequestItem&>(it).Variable().rawValue;
    } else if (typeid(it) == typeid(PRCreateNullRequestItem)) {
      line = "create-null " + it.GetUki();
    } else if (typeid(it) == typeid(PRCreateLinkRequestItem)) {
      const auto& link = static_cast<const PRCreateLinkRequestItem&>(it);
      line = "link " + it.GetUki() + " -> " + link.SourceUki() + (link.HasValue() ? " " + link.Value() : "");
    } else if (typeid(it) == typeid(PRDeleteRequestItem)) {
      line = "delete " + it.GetUki();
    } else if (typeid(it) == typeid(PRModifyPrivacyRequestItem)) {
      line = "privacy " + it.GetUki();
    } else if (typeid(it) == typeid(PRLinkRequestItem)) {
      line = "switch " + it.GetUki();
    }
    lines.push_back(line + " kind " + std::to_string(it.RequesterKindOfItem()));
  }
  return lines;
}

using Lines = std::vector<std::string>;

TEST_F(WriteQueueTest, AModificationMergesIntoTheFirstRequestForItsUkiByThatRequestsKind) {
  ComPtr<PRProfile> s = Session("acme");
  ASSERT_EQ(Modify(s.get(), "acme.a", "1"), S_OK);
  ASSERT_EQ(Modify(s.get(), "acme.a", "2"), S_OK);  // into the modification
  ASSERT_EQ(Create(s.get(), "acme.b", eTypeString, "x"), S_OK);
  ASSERT_EQ(Modify(s.get(), "acme.b", "y"), S_OK);  // into the creation
  ASSERT_EQ(Delete(s.get(), "acme.c"), S_OK);
  ASSERT_EQ(Modify(s.get(), "acme.c", "z"), S_OK);  // swallowed: the variable is to be deleted
  ASSERT_EQ(Modify(s.get(), "acme.A", "3"), S_OK);  // ukis compare byte for byte
  EXPECT_EQ(Queue(s), (Lines{"modify acme.a 2 kind 2", "create acme.b y kind 2", "delete acme.c kind 0",
                             "modify acme.A 3 kind 2"}));

  // Privacy changes, link switches and creations without value take no merge.
  ComPtr<PRProfile> all = AllSections();
  ASSERT_EQ(all->AddModifyPrivacyRequest(Bstr::FromUtf8("common.p").get(), ePrivacyShared), S_OK);
  ASSERT_EQ(Modify(all.get(), "common.p", "1"), S_OK);
  ASSERT_EQ(all->AddLinkRequestHelper(Bstr::FromUtf8("s.common.q").get(), VARIANT_TRUE), S_OK);
  ASSERT_EQ(Modify(all.get(), "s.common.q", "2"), S_OK);
  ASSERT_EQ(all->AddCreateKeyRequest(Bstr::FromUtf8("s.n").get(), eTypeInt32, nullptr, eVolatilityChangesNever,
                                     ePrivacyPrivate, Bstr::FromUtf8("N").get(), VARIANT_FALSE, nullptr, true),
            S_OK);
  ASSERT_EQ(Modify(all.get(), "s.n", "3"), S_OK);
  EXPECT_EQ(Queue(all), (Lines{"privacy common.p kind 1", "modify common.p 1 kind 1", "switch s.common.q kind 0",
                               "modify s.common.q 2 kind 4", "create-null s.n kind 0", "modify s.n 3 kind 4"}));
}

TEST_F(WriteQueueTest, ACommonVariableIsWrittenThroughTheSectionsOwnLinkToIt) {
  ComPtr<PRProfile> s = Session("acme");
  ASSERT_EQ(Modify(s.get(), "common.x", "1"), S_OK);
  ASSERT_EQ(Modify(s.get(), "common.x", "2"), S_OK);
  // The second link request carries no value and will execute as unchanged.
  EXPECT_EQ(Queue(s), (Lines{"link acme.common.x -> common.x 2 kind 2", "link acme.common.x -> common.x kind 2"}));

  ComPtr<PRProfile> e = Session("acme");
  ASSERT_EQ(Modify(e.get(), "Common.list[k]", "v"), S_OK);
  EXPECT_EQ(Queue(e), (Lines{"link acme.Common.list -> Common.list kind 2", "modify acme.Common.list[k] v kind 2"}));

  // An object that addresses every section writes the common variable itself.
  ComPtr<PRProfile> all = AllSections();
  ASSERT_EQ(Modify(all.get(), "common.x", "3"), S_OK);
  EXPECT_EQ(Queue(all), (Lines{"modify common.x 3 kind 1"}));
}

TEST_F(WriteQueueTest, RequestsOutsideTheGrantedSectionAreRefusedAndQueueNothing) {
  ComPtr<PRProfile> s = Session("acme");
  for (const char* uki : {"globex.x", "Acme.x", "acmex", "acme2.x", ".x", "", "acme"}) {
    const bool own = std::string(uki) == "acme";  // a uki without "." is its own section
    EXPECT_EQ(Modify(s.get(), uki, "1"), own ? S_OK : E_ACCESSDENIED) << uki;
    EXPECT_EQ(Create(s.get(), uki, eTypeString, "1"), own ? S_OK : E_ACCESSDENIED) << uki;
    EXPECT_EQ(Delete(s.get(), uki), own ? S_OK : E_ACCESSDENIED) << uki;
  }
  EXPECT_EQ(s->m_writeRequests.size(), 3u);
  EXPECT_EQ(CreateLink(s.get(), "globex.common.x", "common.x"), E_ACCESSDENIED);

  // A session that was never granted holds the empty section, which no uki may claim.
  ComPtr<PRProfile> never = Session("");
  EXPECT_EQ(Modify(never.get(), ".x", "1"), E_ACCESSDENIED);
  EXPECT_EQ(Create(never.get(), ".x", eTypeString, "1"), E_ACCESSDENIED);
  EXPECT_EQ(Delete(never.get(), ""), E_ACCESSDENIED);
  EXPECT_EQ(Modify(never.get(), "common.x", "1"), E_ACCESSDENIED) << "qualified to \".common.x\"";
  EXPECT_TRUE(never->m_writeRequests.empty());

  // The privileged routines: a privacy change needs an all-sections object; a
  // privileged object never creates a shared variable.
  EXPECT_EQ(s->AddModifyPrivacyRequest(Bstr::FromUtf8("acme.x").get(), ePrivacyShared), E_ACCESSDENIED);
  ComPtr<PRProfile> privileged = AllSections(true);
  EXPECT_EQ(Create(privileged.get(), "acme.x", eTypeString, "1", ePrivacyShared), E_ACCESSDENIED);
  EXPECT_EQ(Create(privileged.get(), "acme.x", eTypeString, "1", ePrivacyPrivate), S_OK);
  EXPECT_EQ(Queue(privileged), (Lines{"create acme.x 1 kind 3"}));
}

TEST_F(WriteQueueTest, LinksOfAnOrdinaryClientNameTheCommonVariableTheyFollow) {
  ComPtr<PRProfile> s = Session("acme");
  EXPECT_EQ(CreateLink(s.get(), "", "common.x"), eErrorBadKey);
  EXPECT_EQ(CreateLink(s.get(), "acme.common.x", ""), eErrorKeyNotFound);
  // Reading a link reads the variable its key names: a link to another company's
  // variable would hand that company's value to this client.
  EXPECT_EQ(CreateLink(s.get(), "acme.globex.secret", "globex.secret"), E_ACCESSDENIED);
  EXPECT_EQ(CreateLink(s.get(), "acme.common.x", "acme.y"), E_ACCESSDENIED);
  EXPECT_EQ(CreateLink(s.get(), "acme.mine", "common.x"), E_INVALIDARG) << "the link would follow mine.mine";
  EXPECT_TRUE(s->m_writeRequests.empty());
  EXPECT_EQ(CreateLink(s.get(), "acme.common.x", "common.x"), S_OK);
  EXPECT_EQ(CreateLink(s.get(), "acme.common.y[3]", "common.y"), S_OK);
  EXPECT_EQ(Queue(s), (Lines{"link acme.common.x -> common.x kind 2", "link acme.common.y[3] -> common.y kind 2"}));
}

TEST_F(WriteQueueTest, ACreationsValueMustSuitItsTypeWhenQueued) {
  ComPtr<PRProfile> s = Session("acme");
  struct Case {
    EProfileDataType type;
    const char* value;
    HRESULT expected;
  };
  const Case cases[] = {
      {eTypeInt32, "42", S_OK},
      {eTypeInt32, " -7x", S_OK},
      {eTypeInt32, "", eErrorProfileTypeMismatch},
      {eTypeInt32, "\x02\x02", eErrorProfileTypeMismatch},
      {eTypeInt32, "x1", eErrorProfileTypeMismatch},
      {eTypeDate, "36526", S_OK},
      {eTypeDate, "36526.5", eErrorProfileTypeMismatch},
      {eTypeTime, "0.25", S_OK},
      {eTypeTime, "1.25", eErrorProfileTypeMismatch},
      {eTypeDateTime, "36526.75", S_OK},
      {eTypeDateTime, "soon", eErrorProfileTypeMismatch},
      {eTypeBoolean, "True", S_OK},
      {eTypeBoolean, "0", S_OK},
      {eTypeBoolean, "yes", eErrorProfileTypeMismatch},
      {eTypeBoolean, "", eErrorProfileTypeMismatch},
      {eTypeString, "", S_OK},
      {eTypeStringList,
       "a\x01"
       "b",
       S_OK},
      {static_cast<EProfileDataType>(0), "anything", S_OK},
      {static_cast<EProfileDataType>(42), "anything", S_OK},
      {eTypeArrayOfStrings, "ignored", S_OK},
  };
  size_t queued = 0;
  for (const Case& c : cases) {
    EXPECT_EQ(Create(s.get(), "acme.v", c.type, c.value), c.expected) << c.type << " '" << c.value << "'";
    if (c.expected == S_OK) ++queued;
  }
  EXPECT_EQ(s->m_writeRequests.size(), queued);

  // The create-without-value routine takes the not-set marker whatever it is given.
  ComPtr<PRProfile> all = AllSections();
  EXPECT_EQ(all->AddCreateKeyRequest(Bstr::FromUtf8("s.n").get(), eTypeDate, Bstr::FromUtf8("garbage").get(),
                                     eVolatilityChangesNever, ePrivacyPrivate, nullptr, VARIANT_TRUE, nullptr, true),
            S_OK);
  const auto& null = static_cast<const PRCreateRequestItem&>(*all->m_writeRequests[0]);
  EXPECT_EQ(null.Variable().rawValue, kNotSetRawValue);
  EXPECT_EQ(null.Variable().isReadOnly, -1);
}

TEST_F(WriteQueueTest, EnumerationsTakeTheirOptionsAndAOneBasedIndex) {
  ComPtr<PRProfile> s = Session("acme");
  Variant colours = Strings({"red", "green", "blue"});
  for (const char* value : {"1", "2", "3"}) {
    EXPECT_EQ(Create(s.get(), "acme.e", eTypeEnumOfStrings, value, ePrivacyPrivate, "Colour", colours.get()), S_OK)
        << value;
  }
  for (const char* value : {"0", "4", "-1", "65537"}) {
    EXPECT_EQ(Create(s.get(), "acme.e", eTypeEnumOfStrings, value, ePrivacyPrivate, "Colour", colours.get()),
              E_INVALIDARG)
        << value;
  }
  EXPECT_EQ(Create(s.get(), "acme.e", eTypeEnumOfStrings, "one", ePrivacyPrivate, "Colour", colours.get()),
            eErrorProfileTypeMismatch);
  EXPECT_EQ(Create(s.get(), "acme.e", eTypeEnumOfStrings, "\x02\x02", ePrivacyPrivate, "Colour", colours.get()),
            eErrorProfileTypeMismatch)
      << "a creation with a value needs one";
  ComPtr<PRProfile> all = AllSections();
  EXPECT_EQ(
      all->AddCreateKeyRequest(Bstr::FromUtf8("acme.e").get(), eTypeEnumOfStrings, nullptr, eVolatilityChangesNever,
                               ePrivacyPrivate, nullptr, VARIANT_FALSE, colours.get(), true),
      S_OK)
      << "without a value, by the privileged routine";
  EXPECT_EQ(all->AddCreateKeyRequest(Bstr::FromUtf8("acme.e").get(), eTypeEnumOfStrings, nullptr,
                                     eVolatilityChangesNever, ePrivacyPrivate, nullptr, VARIANT_FALSE, nullptr, true),
            E_INVALIDARG)
      << "but never without options";
  EXPECT_EQ(Create(s.get(), "acme.e", eTypeEnumOfStrings, "1"), E_INVALIDARG) << "an enumeration without options";
  EXPECT_EQ(Create(s.get(), "acme.e", eTypeString, "1", ePrivacyPrivate, "F", colours.get()), E_INVALIDARG)
      << "options for a string";

  // Options are an array of strings, directly or by reference; anything else is none.
  SAFEARRAY* byReference = SafeArray::OfStrings({"a", "b"}).detach();
  VARIANT reference;
  VariantInit(&reference);
  reference.vt = VT_BYREF | VT_ARRAY | VT_BSTR;
  reference.pparray = &byReference;
  EXPECT_EQ(Create(s.get(), "acme.r", eTypeEnumOfStrings, "2", ePrivacyPrivate, "R", &reference), S_OK);
  SafeArrayDestroy(byReference);

  SafeArray numbers = SafeArray::Vector(VT_I4, 0, 3);
  VARIANT lying;  // claims strings, holds numbers: read as no options, never as strings
  VariantInit(&lying);
  lying.vt = VT_ARRAY | VT_BSTR;
  lying.parray = numbers.get();
  EXPECT_EQ(Create(s.get(), "acme.l", eTypeEnumOfStrings, "1", ePrivacyPrivate, "L", &lying), E_INVALIDARG);
  VARIANT nullArray;
  VariantInit(&nullArray);
  nullArray.vt = VT_ARRAY | VT_BSTR;
  EXPECT_EQ(Create(s.get(), "acme.l", eTypeEnumOfStrings, "1", ePrivacyPrivate, "L", &nullArray), E_INVALIDARG);
  VARIANT nullObject;
  VariantInit(&nullObject);
  nullObject.vt = VT_DISPATCH;
  EXPECT_EQ(Create(s.get(), "acme.l", eTypeString, "1", ePrivacyPrivate, "L", &nullObject), S_OK)
      << "a null object is no options";

  // A table of strings: its first dimension, the others at their lower bounds.
  SAFEARRAYBOUND bounds[2] = {{3, 1}, {2, 0}};
  SafeArray table;
  table.attach(SafeArrayCreate(VT_BSTR, 2, bounds));
  const char* cells[3][2] = {{"x", "-"}, {"y", "-"}, {"z", "-"}};
  for (LONG i = 1; i <= 3; ++i) {
    for (LONG j = 0; j < 2; ++j) {
      LONG at[2] = {i, j};
      Bstr cell = Bstr::FromUtf8(cells[i - 1][j]);
      ASSERT_EQ(SafeArrayPutElement(table.get(), at, cell.get()), S_OK);
    }
  }
  VARIANT tableValue;
  VariantInit(&tableValue);
  tableValue.vt = VT_ARRAY | VT_BSTR;
  tableValue.parray = table.get();
  EXPECT_EQ(Create(s.get(), "acme.t", eTypeEnumOfStrings, "3", ePrivacyPrivate, "T", &tableValue), S_OK);
  EXPECT_EQ(static_cast<const PRCreateRequestItem&>(*s->m_writeRequests.back()).Variable().enumOptions,
            (std::vector<std::string>{"x", "y", "z"}));
  s->m_writeRequests.pop_back();

  const auto& enumeration = static_cast<const PRCreateRequestItem&>(*s->m_writeRequests[0]);
  EXPECT_EQ(enumeration.Variable().enumOptions, (std::vector<std::string>{"red", "green", "blue"}));
  const auto& referenced = static_cast<const PRCreateRequestItem&>(*s->m_writeRequests[3]);
  EXPECT_EQ(referenced.Variable().enumOptions, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(s->m_writeRequests.size(), 5u);
}

TEST_F(WriteQueueTest, HostileTextsAreRefusedOrKeptExactlyAndNeverReachAnotherSection) {
  Put("acme.long", "short");
  ComPtr<PRProfile> s = Session("acme");
  const std::string limit(kMaxRawValueLength, 'v');
  EXPECT_EQ(Modify(s.get(), "acme.long", limit), S_OK);
  EXPECT_EQ(Modify(s.get(), "acme.long", limit + "v"), E_INVALIDARG);
  EXPECT_EQ(Create(s.get(), "acme.long2", eTypeString, limit + "v"), E_INVALIDARG);
  EXPECT_EQ(Create(s.get(), "acme.long2", eTypeString, limit), S_OK);

  // Embedded zero characters: a name or value the store would cut short is refused.
  const std::u16string withZero = std::u16string(u"acme.a") + u'\0' + u"globex.b";
  Bstr zeroUki = Bstr::FromUtf16(withZero);
  Bstr one = Bstr::FromUtf8("1");
  EXPECT_EQ(s->AddModifyRawValueRequest(zeroUki.get(), one.get()), E_INVALIDARG);
  EXPECT_EQ(s->AddModifyRawValueRequest(Bstr::FromUtf8("acme.z").get(), zeroUki.get()), E_INVALIDARG);
  EXPECT_EQ(s->AddDeleteKeyRequest(zeroUki.get()), E_INVALIDARG);
  EXPECT_EQ(s->AddCreateKeyRequest(Bstr::FromUtf8("acme.z").get(), eTypeString, one.get(), eVolatilityChangesNever,
                                   ePrivacyPrivate, zeroUki.get(), VARIANT_FALSE, nullptr),
            E_INVALIDARG)
      << "field name";
  Variant zeroOption = Variant::Array(SafeArray::OfStrings({"ok"}), VT_BSTR);
  Bstr zeroLabel = Bstr::FromUtf16(withZero);
  LONG first = 0;
  ASSERT_EQ(SafeArrayPutElement(zeroOption->parray, &first, zeroLabel.get()), S_OK);
  EXPECT_EQ(Create(s.get(), "acme.z", eTypeEnumOfStrings, "1", ePrivacyPrivate, "Z", zeroOption.get()), E_INVALIDARG);

  // Privacy and volatility outside their enumerations, a type beyond 16 bits.
  EXPECT_EQ(Create(s.get(), "acme.p", eTypeString, "1", static_cast<EPrivacy>(2)), E_INVALIDARG);
  EXPECT_EQ(Create(s.get(), "acme.p", eTypeString, "1", static_cast<EPrivacy>(-1)), E_INVALIDARG);
  EXPECT_EQ(s->AddCreateKeyRequest(Bstr::FromUtf8("acme.p").get(), eTypeString, one.get(), static_cast<EVolatility>(3),
                                   ePrivacyPrivate, nullptr, VARIANT_FALSE, nullptr),
            E_INVALIDARG);
  EXPECT_EQ(Create(s.get(), "acme.p", static_cast<EProfileDataType>(65536 + eTypeEnumOfStrings), "1"), E_INVALIDARG)
      << "would be stored as an enumeration without options";
  ComPtr<PRProfile> all = AllSections();
  EXPECT_EQ(all->AddModifyPrivacyRequest(Bstr::FromUtf8("acme.p").get(), static_cast<EPrivacy>(7)), E_INVALIDARG);
  EXPECT_EQ(s->m_writeRequests.size(), 2u) << "only the two values of exactly 1006 characters";

  // Names with quotes, brackets and dots are names: executed, they land in the section.
  const std::vector<std::string> names = {"acme.it's",  "acme.a'' OR ''1''=''1",          "acme.x]",  "acme.[y",
                                          "acme.a.b.c", "acme." + std::string(1007, 'k'), "acme.q[']"};
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(Create(s.get(), names[i], eTypeString, "value " + std::to_string(i)), S_OK) << names[i];
  }
  LONG executed = 0;
  EXPECT_EQ(Execute(s.get(), &executed), S_OK);
  EXPECT_EQ(executed, static_cast<LONG>(names.size() + 2));
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string value = "value " + std::to_string(i);
    if (names[i] == "acme.q[']") {
      EXPECT_EQ(ArrayItems("acme.q"), (std::vector<std::pair<std::string, std::string>>{{"'", value}}));
      continue;
    }
    const auto row = Row(names[i]);
    ASSERT_TRUE(row) << names[i];
    EXPECT_EQ(row->raw, value) << names[i];
  }
  EXPECT_EQ(Row("acme.long")->raw, limit);
  for (const std::string& section : Sections()) EXPECT_EQ(section, "acme");
}

TEST_F(WriteQueueTest, ValuesOfEveryVariantTypeGetAClearResult) {
  Put("acme.s", "old");
  ComPtr<PRProfile> s = Session("acme");
  const auto modify = [&](VARIANT* value) { return s->AddModifyValueRequest(Bstr::FromUtf8("acme.s").get(), value); };
  EXPECT_EQ(modify(nullptr), E_POINTER);

  LONG number = 42;
  VARIANT byReference;
  VariantInit(&byReference);
  byReference.vt = VT_BYREF | VT_I4;
  byReference.plVal = &number;
  EXPECT_EQ(modify(&byReference), S_OK);
  EXPECT_EQ(static_cast<const PRModifyRawValueRequestItem&>(*s->m_writeRequests[0]).NewRawValue(), "42");

  Variant empty;
  EXPECT_EQ(modify(empty.get()), S_OK) << "nothing converts to the empty text";
  EXPECT_EQ(static_cast<const PRModifyRawValueRequestItem&>(*s->m_writeRequests[0]).NewRawValue(), "");

  Variant null;
  null->vt = VT_NULL;
  EXPECT_TRUE(FAILED(modify(null.get())));
  Variant numbers = Variant::Array(SafeArray::Vector(VT_I4, 0, 2), VT_I4);
  EXPECT_TRUE(FAILED(modify(numbers.get())));
  VARIANT nullObject;
  VariantInit(&nullObject);
  nullObject.vt = VT_DISPATCH;
  EXPECT_TRUE(FAILED(modify(&nullObject)));
  VARIANT badType;
  VariantInit(&badType);
  badType.vt = 0x0FFF;
  EXPECT_TRUE(FAILED(modify(&badType)));
  EXPECT_EQ(static_cast<const PRModifyRawValueRequestItem&>(*s->m_writeRequests[0]).NewRawValue(), "")
      << "a refused value leaves the queued one alone";

  VARIANT loop;  // by reference to itself: refused, not followed for ever
  VariantInit(&loop);
  loop.vt = VT_BYREF | VT_VARIANT;
  loop.pvarVal = &loop;
  EXPECT_EQ(modify(&loop), E_INVALIDARG);

  Variant tooLong = Variant::Utf8(std::string(kMaxRawValueLength + 1, 'x'));
  EXPECT_EQ(modify(tooLong.get()), E_INVALIDARG);
  Variant zero = Variant::String(std::u16string(u"a\0b", 3));
  EXPECT_EQ(modify(zero.get()), E_INVALIDARG);

  // The same for a creation, whose array type needs no value at all.
  const auto create = [&](EProfileDataType type, VARIANT* value) {
    return s->AddCreateKeyRequest2(Bstr::FromUtf8("acme.c").get(), type, value, eVolatilityChangesNever,
                                   ePrivacyPrivate, Bstr::FromUtf8("C").get(), VARIANT_FALSE, nullptr);
  };
  EXPECT_EQ(create(eTypeString, nullptr), E_POINTER);
  EXPECT_EQ(create(eTypeArrayOfStrings, nullptr), S_OK);
  EXPECT_EQ(create(eTypeArrayOfStrings, numbers.get()), S_OK);
  EXPECT_TRUE(FAILED(create(eTypeString, null.get())));
  EXPECT_EQ(create(eTypeString, &loop), E_INVALIDARG);
  EXPECT_EQ(create(eTypeInt32, empty.get()), eErrorProfileTypeMismatch);
  Variant date = Variant::Date(36526.0);
  EXPECT_EQ(create(eTypeDate, date.get()), S_OK);
  Variant yes = Variant::Bool(true);
  EXPECT_EQ(create(eTypeBoolean, yes.get()), S_OK);
  ASSERT_EQ(s->m_writeRequests.size(), 5u);
  EXPECT_EQ(static_cast<const PRCreateRequestItem&>(*s->m_writeRequests[1]).Variable().rawValue, "");
  EXPECT_EQ(static_cast<const PRCreateRequestItem&>(*s->m_writeRequests[3]).Variable().rawValue, "36526");
  EXPECT_EQ(static_cast<const PRCreateRequestItem&>(*s->m_writeRequests[4]).Variable().rawValue, "1");
}

}  // namespace
}  // namespace lumora::testing
