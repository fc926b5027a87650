// A store holding variables of every kind, written as the store writes them (values
// protected, links, array elements, enumeration labels), for the snapshot tests.
#ifndef LUMORA_TESTS_SNAPSHOT_SNAPSHOT_TEST_FIXTURE_H_
#define LUMORA_TESTS_SNAPSHOT_SNAPSHOT_TEST_FIXTURE_H_

#include <string>
#include <vector>

#include "lumora/profile.h"
#include "lumora/values.h"
#include "snapshot/key_attrs_collection.h"
#include "store/array_set.h"
#include "store/key_set.h"
#include "store/value_protection.h"
#include "tests/store/open_store_fixture.h"

namespace lumora::testing {

class SnapshotTest : public OpenStoreTest {
 protected:
  // A variable; its field name is its key unless given. A link stores no value: its
  // key names the source.
  void Add(const std::string& section, const std::string& key, const std::string& raw, LONG type = eTypeString,
           const std::string& fieldName = {}, LONG privacy = ePrivacyShared, bool linked = false) {
    CKeySet set(m_db, dbOpenDynaset);
    set.m_strFilter = "SECTION = 'ShouldNeverExist'";
    set.Open();
    set.AddNew();
    set.m_Section = section;
    set.m_Key = key;
    set.m_Value = linked ? std::string() : ProtectValue(raw);
    set.m_FieldName = fieldName.empty() ? key : fieldName;
    set.m_Type = static_cast<SHORT>(type);
    set.m_Privacy = static_cast<BYTE>(privacy);
    set.m_Volatility = eVolatilityChangesRarely;
    set.m_IsLinked = linked ? TRUE : FALSE;
    set.Update();
  }
  void AddElement(const std::string& arrayUki, const std::string& arrayKey, const std::string& raw) {
    CArraySet set(m_db);
    set.Open(dbOpenDynaset);
    set.AddNew();
    set.m_uki = arrayUki;
    set.m_key = arrayKey;
    set.m_value = ProtectValue(raw);
    set.Update();
  }

  // A collection built from `requests` as a session granted `section` builds it.
  static ComPtr<PRKeyAttrsCollection> Read(const std::vector<std::string>& requests, const std::string& section = "sec",
                                           bool privileged = false) {
    ComPtr<PRKeyAttrsCollection> collection = MakeObject<PRKeyAttrsCollection>();
    collection->FillFromRequests(requests, privileged, section);
    return collection;
  }

  // Item of an index; *hr receives the result.
  template <class I = IPRKeyAttr>
  static ComPtr<I> Item(IPRKeyAttrsCollection* collection, VARIANT index, HRESULT* hr) {
    Variant item;
    *hr = collection->Item(index, item.get());
    ComPtr<I> typed;
    if (SUCCEEDED(*hr) && item.vt() == VT_DISPATCH && item->pdispVal != nullptr) {
      item->pdispVal->QueryInterface(IidOf<I>, typed.put_void());
    }
    return typed;
  }
  template <class I = IPRKeyAttr>
  static ComPtr<I> Item(IPRKeyAttrsCollection* collection, const std::string& uki, HRESULT* hr) {
    Variant index = Variant::Utf8(uki);
    return Item<I>(collection, *index.get(), hr);
  }
  static ComPtr<IPRKeyAttr> Item(IPRKeyAttrsCollection* collection, LONG position, HRESULT* hr) {
    Variant index = Variant::I4(position);
    return Item(collection, *index.get(), hr);
  }

  static std::string ValueText(IPRKeyAttr* item) {
    if (item == nullptr) return "<no item>";
    Variant value;
    if (FAILED(item->get_Value(value.put())) || value.vt() != VT_BSTR) return "<no text>";
    return Bstr::ToUtf8(value->bstrVal);
  }
};

}  // namespace lumora::testing

#endif  // LUMORA_TESTS_SNAPSHOT_SNAPSHOT_TEST_FIXTURE_H_
