// The automation catalogue as clients bind to it: every member's vtable slot, dispatch
// identifier, name and kind, and that Invoke reaches the member the identifier names
// with its arguments in declaration order.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/catalogue.h"
#include "lumora/object.h"
#include "lumora/values.h"

namespace lumora {
namespace {

// The vtable slot a pointer to a virtual member names (Itanium C++ ABI: the pointer holds
// 1 + the slot's byte offset).
template <class M>
size_t SlotOf(M member) {
  static_assert(sizeof(M) == 2 * sizeof(uintptr_t));
  uintptr_t words[2];
  std::memcpy(words, &member, sizeof words);
  return (words[0] - 1) / sizeof(void*);
}

constexpr size_t kFirstOwnSlot = 7;  // after IUnknown's three and IDispatch's four

const DispEntry* Find(std::span<const DispEntry> table, const char* name, WORD kind) {
  for (const DispEntry& entry : table) {
    if (std::strcmp(entry.name, name) == 0 && entry.kind == kind) return &entry;
  }
  return nullptr;
}

TEST(CatalogueTest, ProfileSlotsAndDispatchIdentifiers) {
  using I = IPRProfile;
  const std::vector<std::pair<size_t, DISPID>> expected = {
      {SlotOf(&I::AddReadRequest), 1},           {SlotOf(&I::ExecuteReadRequests), 2},
      {SlotOf(&I::AddModifyRawValueRequest), 3}, {SlotOf(&I::AddCreateKeyRequest), 4},
      {SlotOf(&I::AddCreateLinkKeyRequest), 5},  {SlotOf(&I::AddDeleteKeyRequest), 6},
      {SlotOf(&I::ExecuteWriteRequests), 7},     {SlotOf(&I::GrantSectionAccess), 10},
      {SlotOf(&I::AddCreateKeyRequest2), 11},    {SlotOf(&I::AddModifyValueRequest), 12},
  };
  const auto table = DispatchTable<I>::Get();
  ASSERT_EQ(table.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].first, kFirstOwnSlot + i) << table[i].name;
    EXPECT_EQ(table[i].dispid, expected[i].second) << table[i].name;
    EXPECT_NE(table[i].help, nullptr) << table[i].name;
  }
  for (const DispEntry& entry : table) EXPECT_TRUE(entry.dispid != 8 && entry.dispid != 9);
  EXPECT_STREQ(Find(table, "GrantSectionAccess", DISPATCH_METHOD)->help,
               "Gain access to the profile section specified by reverseDomainName. You must be signed with a digital "
               "signature that gives you permission to access that section.");
  EXPECT_EQ(Find(table, "AddCreateKeyRequest", DISPATCH_METHOD)->paramCount, 8u);
  EXPECT_EQ(Find(table, "AddCreateKeyRequest2", DISPATCH_METHOD)->params[2], kVariantRef);
}

TEST(CatalogueTest, CollectionsAndItemsHaveTheirDefaultMembersAndEnumerators) {
  struct Expect {
    std::span<const DispEntry> table;
    const char* name;
    WORD kind;
    DISPID dispid;
    VARTYPE result;
  };
  const Expect rows[] = {
      {DispatchTable<IPRKeyAttrsCollection>::Get(), "Count", DISPATCH_PROPERTYGET, 1, VT_I4},
      {DispatchTable<IPRKeyAttrsCollection>::Get(), "GetArray", DISPATCH_METHOD, 2, VT_DISPATCH},
      {DispatchTable<IPRKeyAttrsCollection>::Get(), "Exists", DISPATCH_METHOD, 3, VT_BOOL},
      {DispatchTable<IPRKeyAttrsCollection>::Get(), "_NewEnum", DISPATCH_PROPERTYGET, DISPID_NEWENUM, VT_UNKNOWN},
      {DispatchTable<IPRKeyAttrsCollection>::Get(), "Item", DISPATCH_METHOD, DISPID_VALUE, VT_VARIANT},
      {DispatchTable<IPRKeyAttr>::Get(), "Value", DISPATCH_PROPERTYGET, DISPID_VALUE, VT_VARIANT},
      {DispatchTable<IPRKeyAttr>::Get(), "Type", DISPATCH_PROPERTYGET, 1, VT_I4},
      {DispatchTable<IPRKeyAttr>::Get(), "IsValueSet", DISPATCH_PROPERTYGET, 2, VT_BOOL},
      {DispatchTable<IPRArrayItemsCollection>::Get(), "Count", DISPATCH_PROPERTYGET, 1, VT_I4},
      {DispatchTable<IPRArrayItemsCollection>::Get(), "_NewEnum", DISPATCH_PROPERTYGET, DISPID_NEWENUM, VT_UNKNOWN},
      {DispatchTable<IPRArrayItemsCollection>::Get(), "Item", DISPATCH_METHOD, DISPID_VALUE, VT_VARIANT},
      {DispatchTable<IPRArrayItem>::Get(), "Value", DISPATCH_PROPERTYGET, DISPID_VALUE, VT_BSTR},
      {DispatchTable<IPRArrayItem>::Get(), "Index", DISPATCH_PROPERTYGET, 1, VT_BSTR},
      {DispatchTable<IPRScratchItemsCollection>::Get(), "Count", DISPATCH_PROPERTYGET, 1, VT_I4},
      {DispatchTable<IPRScratchItemsCollection>::Get(), "CreateKey", DISPATCH_METHOD, 2, VT_EMPTY},
      {DispatchTable<IPRScratchItemsCollection>::Get(), "DeleteKey", DISPATCH_METHOD, 3, VT_EMPTY},
      {DispatchTable<IPRScratchItemsCollection>::Get(), "DeleteAllKeys", DISPATCH_METHOD, 4, VT_EMPTY},
      {DispatchTable<IPRScratchItemsCollection>::Get(), "Item", DISPATCH_METHOD, DISPID_VALUE, VT_VARIANT},
      {DispatchTable<IPRScratchItem>::Get(), "Value", DISPATCH_PROPERTYGET, DISPID_VALUE, VT_BSTR},
      {DispatchTable<IPRScratchItem>::Get(), "Value", DISPATCH_PROPERTYPUT, DISPID_VALUE, VT_EMPTY},
      {DispatchTable<IPRSuperKeyAttr>::Get(), "Value", DISPATCH_PROPERTYGET, DISPID_VALUE, VT_VARIANT},
      {DispatchTable<IPRSuperKeyAttr>::Get(), "LastShared", DISPATCH_PROPERTYGET, 12, VT_DATE},
      {DispatchTable<IPRSuperKeyAttr>::Get(), "RawValue", DISPATCH_PROPERTYGET, 13, VT_BSTR},
  };
  for (const Expect& row : rows) {
    const DispEntry* entry = Find(row.table, row.name, row.kind);
    ASSERT_NE(entry, nullptr) << row.name;
    EXPECT_EQ(entry->dispid, row.dispid) << row.name;
    EXPECT_EQ(entry->result, row.result) << row.name;
  }
  // Slots follow the declaration order the library publishes.
  EXPECT_EQ(SlotOf(&IPRKeyAttrsCollection::get__NewEnum), kFirstOwnSlot + 3);
  EXPECT_EQ(SlotOf(&IPRKeyAttrsCollection::Item), kFirstOwnSlot + 4);
  EXPECT_EQ(SlotOf(&IPRScratchItem::put_Value), kFirstOwnSlot + 1);
  EXPECT_EQ(SlotOf(&IPRSuperKeyAttr::get_RawValue), kFirstOwnSlot + 13);
}

TEST(CatalogueTest, PrivateInterfacesNumberTheirMembersBySlot) {
  using S = IPRProfileSuperUser;
  const auto table = DispatchTable<S>::Get();
  ASSERT_EQ(table.size(), 22u);
  EXPECT_EQ(SlotOf(&S::AddReadRequest2), kFirstOwnSlot + 10);
  EXPECT_EQ(SlotOf(&S::UnderAuthenticate), kFirstOwnSlot + 13);
  EXPECT_EQ(SlotOf(&S::CloseStore), kFirstOwnSlot + 21);
  for (size_t i = 0; i < table.size(); ++i) EXPECT_EQ(table[i].dispid, static_cast<DISPID>(i + 1)) << table[i].name;
  EXPECT_EQ(Find(table, "Reserved1", DISPATCH_METHOD)->paramCount, 4u);
  EXPECT_EQ(Find(table, "Reserved2", DISPATCH_METHOD)->paramCount, 3u);
  EXPECT_EQ(Find(table, "Reserved3", DISPATCH_METHOD)->paramCount, 2u);
  using C = IPRProfileCertificateManagement;
  EXPECT_EQ(SlotOf(&C::AddCertificate), kFirstOwnSlot);
  EXPECT_EQ(SlotOf(&C::CheckCertificate), kFirstOwnSlot + 4);
  EXPECT_EQ(Find(DispatchTable<C>::Get(), "GetCertificate", DISPATCH_METHOD)->paramCount, 3u);
  EXPECT_EQ(Find(DispatchTable<IPRGetAccessKey>::Get(), "GetKey", DISPATCH_METHOD)->dispid, 1);
  EXPECT_EQ(Find(DispatchTable<IPRProfileSuperKeyAuth>::Get(), "GetProfileSuper", DISPATCH_METHOD)->result,
            VT_DISPATCH);
}

// A profile that records which member was called with what, to check that each
// dispatch identifier reaches its member with the arguments in order.
class RecordingProfile : public Implements<DispatchImpl<IPRProfile>> {
 public:
  std::string m_call;

  HRESULT AddReadRequest(BSTR uki) override { return Record("AddReadRequest " + Bstr::ToUtf8(uki)); }
  HRESULT ExecuteReadRequests(LONG hwnd, BSTR message, IPRKeyAttrsCollection** out) override {
    *out = nullptr;
    return Record("ExecuteReadRequests " + std::to_string(hwnd) + " " + Bstr::ToUtf8(message));
  }
  HRESULT AddModifyRawValueRequest(BSTR uki, BSTR value) override {
    return Record("AddModifyRawValueRequest " + Bstr::ToUtf8(uki) + " " + Bstr::ToUtf8(value));
  }
  HRESULT AddCreateKeyRequest(BSTR uki, EProfileDataType type, BSTR value, EVolatility volatility, EPrivacy privacy,
                              BSTR fieldName, VARIANT_BOOL readOnly, VARIANT* options) override {
    return Record("AddCreateKeyRequest " + Bstr::ToUtf8(uki) + " " + std::to_string(type) + " " + Bstr::ToUtf8(value) +
                  " " + std::to_string(volatility) + " " + std::to_string(privacy) + " " + Bstr::ToUtf8(fieldName) +
                  " " + std::to_string(readOnly) + " " + std::to_string(options != nullptr ? options->vt : -1));
  }
  HRESULT AddCreateLinkKeyRequest(BSTR uki, BSTR source) override {
    return Record("AddCreateLinkKeyRequest " + Bstr::ToUtf8(uki) + " " + Bstr::ToUtf8(source));
  }
  HRESULT AddDeleteKeyRequest(BSTR uki) override { return Record("AddDeleteKeyRequest " + Bstr::ToUtf8(uki)); }
  HRESULT ExecuteWriteRequests(LONG hwnd, BSTR message, LONG* result) override {
    *result = 42;
    return Record("ExecuteWriteRequests " + std::to_string(hwnd) + " " + Bstr::ToUtf8(message));
  }
  HRESULT GrantSectionAccess(BSTR name) override { return Record("GrantSectionAccess " + Bstr::ToUtf8(name)); }
  HRESULT AddCreateKeyRequest2(BSTR uki, EProfileDataType type, VARIANT* value, EVolatility, EPrivacy, BSTR,
                               VARIANT_BOOL, VARIANT*) override {
    return Record("AddCreateKeyRequest2 " + Bstr::ToUtf8(uki) + " " + std::to_string(type) + " " +
                  std::to_string(value->vt) + ":" + std::to_string(value->lVal));
  }
  HRESULT AddModifyValueRequest(BSTR uki, VARIANT* value) override {
    return Record("AddModifyValueRequest " + Bstr::ToUtf8(uki) + " " + std::to_string(value->vt));
  }

 private:
  HRESULT Record(std::string call) {
    m_call = std::move(call);
    return S_OK;
  }
};

// Invokes with the arguments in call order (they travel last first).
template <class... Args>
HRESULT InvokeInto(IDispatch* dispatch, DISPID dispid, Variant* result, Args&&... args) {
  Variant values[] = {std::forward<Args>(args)...};
  std::vector<VARIANT> reversed;
  for (size_t i = sizeof...(Args); i-- > 0;) reversed.push_back(*values[i].get());
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  Variant ignored;
  return dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                          (result != nullptr ? result : &ignored)->get(), nullptr, nullptr);
}

TEST(CatalogueTest, EveryProfileDispatchIdentifierReachesItsMember) {
  ComPtr<RecordingProfile> profile = MakeObject<RecordingProfile>();
  ComPtr<IDispatch> dispatch = profile.query<IDispatch>();
  ASSERT_TRUE(dispatch);

  ASSERT_EQ(InvokeInto(dispatch.get(), 10, nullptr, Variant::Utf8("com.acme.planner")), S_OK);
  EXPECT_EQ(profile->m_call, "GrantSectionAccess com.acme.planner");
  EXPECT_EQ(InvokeInto(dispatch.get(), 8, nullptr, Variant::Utf8("x")), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(InvokeInto(dispatch.get(), 9, nullptr, Variant::Utf8("x")), DISP_E_MEMBERNOTFOUND);

  Variant options;
  ASSERT_EQ(InvokeInto(dispatch.get(), 4, nullptr, Variant::Utf8("S.k"), Variant::I4(eTypeEnumOfStrings),
                       Variant::Utf8("2"), Variant::I4(eVolatilityChangesOften), Variant::I4(ePrivacyShared),
                       Variant::Utf8("Colour"), Variant::Bool(true), Variant::I4(7)),
            S_OK);
  EXPECT_EQ(profile->m_call, "AddCreateKeyRequest S.k 9 2 2 1 Colour -1 3");

  ASSERT_EQ(InvokeInto(dispatch.get(), 11, nullptr, Variant::Utf8("S.n"), Variant::I4(eTypeInt32), Variant::I4(1234),
                       Variant::I4(0), Variant::I4(0), Variant::Utf8("N"), Variant::Bool(false), Variant()),
            S_OK);
  EXPECT_EQ(profile->m_call, "AddCreateKeyRequest2 S.n 1 3:1234");

  ASSERT_EQ(InvokeInto(dispatch.get(), 3, nullptr, Variant::Utf8("S.a"), Variant::Utf8("new")), S_OK);
  EXPECT_EQ(profile->m_call, "AddModifyRawValueRequest S.a new");
  ASSERT_EQ(InvokeInto(dispatch.get(), 5, nullptr, Variant::Utf8("S.common.x"), Variant::Utf8("common.x")), S_OK);
  EXPECT_EQ(profile->m_call, "AddCreateLinkKeyRequest S.common.x common.x");

  Variant count;
  ASSERT_EQ(InvokeInto(dispatch.get(), 7, &count, Variant::I4(-1), Variant::Utf8("why")), S_OK);
  EXPECT_EQ(profile->m_call, "ExecuteWriteRequests -1 why");
  EXPECT_EQ(count.vt(), VT_I4);
  EXPECT_EQ(count->lVal, 42);

  for (const char16_t* name : {u"grantsectionaccess", u"GRANTSECTIONACCESS"}) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 10);
  }
}

}  // namespace
}  // namespace lumora
