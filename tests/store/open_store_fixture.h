// A store test whose profile database is open (provider held), with helpers to add rows.
#ifndef LUMORA_TESTS_STORE_OPEN_STORE_FIXTURE_H_
#define LUMORA_TESTS_STORE_OPEN_STORE_FIXTURE_H_

#include <string>
#include <vector>

#include "store/key_set.h"
#include "store/value_protection.h"
#include "tests/store/store_fixture.h"

namespace lumora::testing {

class OpenStoreTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    ASSERT_EQ(AcquireCryptProvider(), 0);
    ASSERT_EQ(OpenProfileDatabase(), S_OK);
    m_db = ProfileDatabase();
  }

  void AddVariable(const std::string& section, const std::string& key, const std::string& raw, SHORT type,
                   bool linked = false) {
    CKeySet set(m_db, dbOpenDynaset);
    set.m_strFilter = "SECTION = 'ShouldNeverExist'";
    set.Open();
    set.AddNew();
    set.m_Section = section;
    set.m_Key = key;
    set.m_Value = linked ? std::string() : ProtectValue(raw);
    set.m_FieldName = key;
    set.m_Type = type;
    set.m_IsLinked = linked ? TRUE : FALSE;
    set.Update();
  }

  void AddLabel(const std::string& uki, LONG index, const std::string& label) {
    CEnumSet set(m_db);
    set.Open();
    set.AddNew();
    set.m_Label = label;
    set.m_enumIndex = index;
    set.m_uki = uki;
    set.Update();
  }

  void AddLabels(const std::string& uki, const std::vector<std::string>& labels) {
    CEnumSet set(m_db);
    set.Open();
    LONG index = 1;
    for (const std::string& label : labels) {
      set.AddNew();
      set.m_Label = label;
      set.m_enumIndex = index++;
      set.m_uki = uki;
      set.Update();
    }
  }

  CDaoDatabase* m_db = nullptr;
};

}  // namespace lumora::testing

#endif  // LUMORA_TESTS_STORE_OPEN_STORE_FIXTURE_H_
