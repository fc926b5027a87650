// Write tests on a real profile database: profile objects made in this process (their
// grant set directly, as GrantSectionAccess or the super user would), a presenter double
// standing for the user, and readers of what the store, the notification service and
// the change notification sink hold afterwards.
#ifndef LUMORA_TESTS_SESSION_WRITE_FIXTURE_H_
#define LUMORA_TESTS_SESSION_WRITE_FIXTURE_H_

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "consent/consent_presenter_choice.h"
#include "lumora/object.h"
#include "lumora/services.h"
#include "lumora/values.h"
#include "session/profile.h"
#include "store/array_set.h"
#include "store/enum_set.h"
#include "store/key_lookup.h"
#include "store/query_filters.h"
#include "store/uki.h"
#include "tests/store/open_store_fixture.h"
#include "tests/support/service_records.h"

namespace lumora::testing {

// The user, as the tests want them to act: `answer` decides (and may press the share
// buttons first); every dialog shown is kept.
class UserDouble final : public ConsentPresenter {
 public:
  using Answer = std::function<ConsentAnswer(const ConsentDialogModel&, ConsentDialogActions*)>;

  ConsentAnswer Present(const ConsentDialogModel& model, ConsentDialogActions* actions) override {
    shown.push_back(model);
    ConsentAnswer given = answer ? answer(model, actions) : ConsentAnswer::kAllow;
    if (actions != nullptr) sharesAfter = actions->CurrentRows();
    return given;
  }

  Answer answer;
  std::vector<ConsentDialogModel> shown;
  std::vector<std::vector<std::string>> sharesAfter;  // the rows as the user left them
};

// A Main row as the tests look at it, its value in plain.
struct MainRow {
  std::string raw;
  std::string storedValue;
  std::string fieldName;
  int privacy;
  int type;
  int volatility;
  bool readOnly;
  bool linked;
};

// One record of the notification service.
class WriteTest : public OpenStoreTest {
 protected:
  void SetUp() override {
    OpenStoreTest::SetUp();
    SetConsentPresenterForTests(&m_user);
  }
  void TearDown() override {
    SetConsentPresenterForTests(nullptr);
    OpenStoreTest::TearDown();
  }

  // A profile object granted `section`, shown to the user as `company`.
  static ComPtr<PRProfile> Session(const std::string& section, const std::string& company = "Acme Planning Ltd") {
    ComPtr<PRProfile> profile = MakeObject<PRProfile>();
    profile->m_section = section;
    profile->m_callerName = company;
    return profile;
  }
  // An object that may address every section, as the super user's inner session is.
  static ComPtr<PRProfile> AllSections(bool privileged = false) {
    ComPtr<PRProfile> profile = MakeObject<PRProfile>();
    profile->m_section = "/";
    profile->m_bAllSections = true;
    profile->m_bPrivileged = privileged;
    profile->m_callerName = "/";
    return profile;
  }

  static HRESULT Modify(PRProfile* profile, const std::string& uki, const std::string& raw) {
    return profile->AddModifyRawValueRequest(Bstr::FromUtf8(uki).get(), Bstr::FromUtf8(raw).get());
  }
  static HRESULT Create(PRProfile* profile, const std::string& uki, EProfileDataType type, const std::string& raw,
                        EPrivacy privacy = ePrivacyPrivate, const std::string& fieldName = "Field",
                        VARIANT* options = nullptr) {
    return profile->AddCreateKeyRequest(Bstr::FromUtf8(uki).get(), type, Bstr::FromUtf8(raw).get(),
                                        eVolatilityChangesRarely, privacy, Bstr::FromUtf8(fieldName).get(),
                                        VARIANT_FALSE, options);
  }
  static HRESULT Delete(PRProfile* profile, const std::string& uki) {
    return profile->AddDeleteKeyRequest(Bstr::FromUtf8(uki).get());
  }
  static HRESULT CreateLink(PRProfile* profile, const std::string& uki, const std::string& source) {
    return profile->AddCreateLinkKeyRequest(Bstr::FromUtf8(uki).get(), Bstr::FromUtf8(source).get());
  }
  // ExecuteWriteRequests with a window handle (a dialog), or -1; *executed gets *result.
  static HRESULT Execute(PRProfile* profile, LONG* executed = nullptr, LONG hwnd = 1,
                         const std::string& message = "Please confirm") {
    LONG count = -7;
    const HRESULT hr = profile->ExecuteWriteRequests(hwnd, Bstr::FromUtf8(message).get(), &count);
    if (executed != nullptr) *executed = count;
    return hr;
  }

  // A variable written straight into the Main table.
  void Put(const std::string& uki, const std::string& raw, SHORT type = eTypeString, int privacy = ePrivacyPrivate,
           const std::string& fieldName = {}) {
    ASSERT_EQ(OpenProfileDatabase(), S_OK);
    CKeySet set(ProfileDatabase(), dbOpenDynaset);
    set.m_strFilter = "SECTION = 'ShouldNeverExist'";
    set.Open();
    set.AddNew();
    set.m_Section = SectionOfUki(uki);
    set.m_Key = KeyOfUki(uki);
    set.m_Value = ProtectValue(raw);
    set.m_FieldName = fieldName.empty() ? KeyOfUki(uki) : fieldName;
    set.m_Privacy = static_cast<BYTE>(privacy);
    set.m_Type = type;
    set.Update();
  }
  // A link row S / common.x, with its own stored value.
  void PutLink(const std::string& uki, const std::string& ownRaw = {}, SHORT type = eTypeString) {
    ASSERT_EQ(OpenProfileDatabase(), S_OK);
    CKeySet set(ProfileDatabase(), dbOpenDynaset);
    set.m_strFilter = "SECTION = 'ShouldNeverExist'";
    set.Open();
    set.AddNew();
    set.m_Section = SectionOfUki(uki);
    set.m_Key = KeyOfUki(uki);
    set.m_Value = ownRaw.empty() ? std::string() : ProtectValue(ownRaw);
    set.m_FieldName = KeyOfUki(uki);
    set.m_Type = type;
    set.m_IsLinked = TRUE;
    set.Update();
  }
  void PutArrayItem(const std::string& baseUki, const std::string& key, const std::string& raw) {
    ASSERT_EQ(OpenProfileDatabase(), S_OK);
    CArraySet set(ProfileDatabase());
    set.m_strFilter = "UKI = 'ShouldNeverExist'";
    set.Open(dbOpenDynaset);
    set.AddNew();
    set.m_uki = baseUki;
    set.m_key = key;
    set.m_value = ProtectValue(raw);
    set.Update();
  }

  // The store as it is now (the database is opened again if the last session closed it).
  std::optional<MainRow> Row(const std::string& uki) {
    EXPECT_EQ(OpenProfileDatabase(), S_OK);
    CKeySet set(ProfileDatabase(), dbOpenSnapshot);
    set.m_strFilter = KeyFilter(SectionOfUki(uki), KeyOfUki(uki));
    set.Open();
    if (set.IsEOF()) return std::nullopt;
    return MainRow{
        UnprotectValue(set.m_Value), set.m_Value,        set.m_FieldName, set.m_Privacy, set.m_Type, set.m_Volatility,
        set.m_IsReadOnly != 0,       set.m_IsLinked != 0};
  }
  long RowCount(const std::string& filter = {}) {
    EXPECT_EQ(OpenProfileDatabase(), S_OK);
    CKeySet set(ProfileDatabase(), dbOpenSnapshot);
    set.m_strFilter = filter;
    set.Open();
    return set.GetRecordCount();
  }
  // Sections of every Main row.
  std::vector<std::string> Sections() {
    EXPECT_EQ(OpenProfileDatabase(), S_OK);
    CKeySet set(ProfileDatabase(), dbOpenSnapshot);
    set.Open();
    std::vector<std::string> sections;
    for (; !set.IsEOF(); set.MoveNext()) sections.push_back(set.m_Section);
    return sections;
  }
  // key -> plain value of the Arrays rows of `baseUki`, in row order.
  std::vector<std::pair<std::string, std::string>> ArrayItems(const std::string& baseUki) {
    EXPECT_EQ(OpenProfileDatabase(), S_OK);
    CArraySet set(ProfileDatabase());
    set.m_strFilter = "UKI = '" + QuoteFilterText(baseUki) + "'";
    set.Open();
    std::vector<std::pair<std::string, std::string>> items;
    for (; !set.IsEOF(); set.MoveNext()) items.emplace_back(set.m_key, UnprotectValue(set.m_value));
    return items;
  }
  // index -> label of the Enums rows of `uki`, in row order.
  std::vector<std::pair<LONG, std::string>> EnumRows(const std::string& uki) {
    EXPECT_EQ(OpenProfileDatabase(), S_OK);
    CEnumSet set(ProfileDatabase());
    set.m_strFilter = EnumLabelsFilter(uki);
    set.Open();
    std::vector<std::pair<LONG, std::string>> rows;
    for (; !set.IsEOF(); set.MoveNext()) rows.emplace_back(set.m_enumIndex, set.m_Label);
    return rows;
  }

  static std::vector<ChangeRecord> ChangeRecords() { return ChangeRecordsOfService(); }
  // The batches the change notification sink received, each its ukis in order.
  static std::vector<std::vector<std::string>> SinkBatches() { return SinkBatchesOfService(); }

  // An array of strings as a VARIANT, as a client passes enumeration options.
  static Variant Strings(const std::vector<std::string>& texts) {
    return Variant::Array(SafeArray::OfStrings(texts), VT_BSTR);
  }

  UserDouble m_user;
};

}  // namespace lumora::testing

#endif  // LUMORA_TESTS_SESSION_WRITE_FIXTURE_H_
