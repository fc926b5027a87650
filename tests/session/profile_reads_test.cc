// The profile object's reads in one process, on a real store, with the scripted
// presenter answering: what is queued, what each way through the execution leaves in
// the queues, what the user is shown, and how long the store stays open.
#include <gtest/gtest.h>

#include <fstream>

#include "common/settings_client.h"
#include "consent/consent_presenter_choice.h"
#include "platform/ui/json_value.h"
#include "platform/ui/script_presenter.h"
#include "session/profile.h"
#include "store/key_lookup.h"
#include "store/profile_database.h"
#include "tests/snapshot/snapshot_test_fixture.h"

namespace lumora {
namespace {

class ProfileReadsTest : public testing::SnapshotTest {
 protected:
  void SetUp() override {
    SnapshotTest::SetUp();
    m_answers = m_home->path() + "/answers.jsonl";
    m_presenter = std::make_unique<ScriptConsentPresenter>(m_answers);
    SetConsentPresenterForTests(m_presenter.get());
  }
  void TearDown() override {
    SetConsentPresenterForTests(nullptr);
    SnapshotTest::TearDown();
  }

  // A session granted `section`, as GrantSectionAccess leaves it.
  static ComPtr<PRProfile> Session(const std::string& section = "sec") {
    ComPtr<PRProfile> profile = MakeObject<PRProfile>();
    profile->m_section = section;
    profile->m_callerName = "Acme Ltd";
    return profile;
  }
  static HRESULT Queue(PRProfile* profile, const std::string& uki, VARIANT_BOOL markShared = VARIANT_FALSE) {
    return profile->AddReadRequest(Bstr::FromUtf8(uki).get(), markShared);
  }
  static HRESULT Execute(PRProfile* profile, LONG hwnd, ComPtr<IPRKeyAttrsCollection>* collection,
                         const std::string& message = "Why we ask") {
    return profile->ExecuteReadRequests(hwnd, Bstr::FromUtf8(message).get(), collection->put());
  }
  void Answers(const std::string& text) { std::ofstream(m_answers, std::ios::app) << text; }
  std::vector<JsonValue> Shown() {
    std::vector<JsonValue> shown;
    std::ifstream in(m_answers + ".shown");
    for (std::string line; std::getline(in, line);) shown.push_back(ParseJson(line).value_or(JsonValue()));
    return shown;
  }
  DATE LastShared(const std::string& uki) {
    CKeySet set(ProfileDatabase(), dbOpenSnapshot);
    set.Open();
    return FindKey(set, uki) ? set.m_LastShared : -1;
  }

  std::string m_answers;
  std::unique_ptr<ScriptConsentPresenter> m_presenter;
};

TEST_F(ProfileReadsTest, RequestsAreQualifiedCheckedAndKeptAsTheyCome) {
  auto profile = Session();
  EXPECT_EQ(Queue(profile.get(), "sec.a"), S_OK);
  EXPECT_EQ(Queue(profile.get(), "common.name", VARIANT_TRUE), S_OK);
  EXPECT_EQ(Queue(profile.get(), "sec.a", 1), S_OK);
  EXPECT_EQ(Queue(profile.get(), "Sec.a"), E_ACCESSDENIED) << "sections compare exactly";
  EXPECT_EQ(Queue(profile.get(), "other.a", VARIANT_TRUE), E_ACCESSDENIED);
  EXPECT_EQ(Queue(profile.get(), "sec"), S_OK) << "a uki without a key names its section";
  EXPECT_EQ(profile->m_readRequests, (std::vector<std::string>{"sec.a", "sec.common.name", "sec.a", "sec"}));
  EXPECT_EQ(profile->m_markSharedRequests, std::vector<std::string>{"sec.common.name"}) << "only -1 marks";

  auto ungranted = Session("");
  EXPECT_EQ(Queue(ungranted.get(), "sec.a"), E_ACCESSDENIED);
  EXPECT_EQ(Queue(ungranted.get(), ".a"), E_ACCESSDENIED) << "before a grant not even the empty section";
  auto everything = Session("/");
  everything->m_bAllSections = true;
  EXPECT_EQ(Queue(everything.get(), "common.name"), S_OK);
  EXPECT_EQ(Queue(everything.get(), "other.x"), S_OK);
  EXPECT_EQ(everything->m_readRequests, (std::vector<std::string>{"common.name", "other.x"})) << "not qualified";
}

TEST_F(ProfileReadsTest, TheUserIsShownOneRowPerFieldNameAndAllowingHandsOverTheCollection) {
  Add("sec", "name", "Ann", eTypeString, "Name");
  Add("sec", "nick", "Annie", eTypeString, "Name");
  Add("common", "city", "Bern", eTypeString, "City");
  Add("sec", "unset", std::string(kNotSetMarker), eTypeString, "Unset");
  Answers("{\"answer\":\"allow\"}\n");
  auto profile = Session();
  for (const char* uki : {"sec.name", "sec.nick", "common.city", "sec.unset"})
    ASSERT_EQ(Queue(profile.get(), uki), S_OK);
  ComPtr<IPRKeyAttrsCollection> collection;
  ASSERT_EQ(Execute(profile.get(), 0, &collection, "For your $(CompanyName) account"), S_OK);
  LONG count = 0;
  collection->get_Count(&count);
  EXPECT_EQ(count, 4);
  EXPECT_TRUE(profile->m_readRequests.empty());
  const std::vector<JsonValue> shown = Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Find("texts")->Find("206")->text(), "For your $(CompanyName) account");
  EXPECT_EQ(shown[0].Find("texts")->Find("207")->text().substr(0, 24), "Acme Ltd has requested t");
  EXPECT_EQ(WriteJson(*shown[0].Find("rows")), R"([["Name","Ann"],["City","Bern"]])");
}

TEST_F(ProfileReadsTest, NothingToShowAsksNobody) {
  Add("sec", "unset", std::string(kNotSetMarker));
  auto profile = Session();
  ComPtr<IPRKeyAttrsCollection> collection;
  ASSERT_EQ(Execute(profile.get(), 0, &collection), S_OK) << "an empty queue";
  LONG count = -1;
  collection->get_Count(&count);
  EXPECT_EQ(count, 0);
  Queue(profile.get(), "sec.unset");
  Queue(profile.get(), "sec.nothing");
  ASSERT_EQ(Execute(profile.get(), 0, &collection), S_OK) << "nothing set, nothing there";
  collection->get_Count(&count);
  EXPECT_EQ(count, 1);
  EXPECT_TRUE(Shown().empty()) << "no answer line was needed";
}

TEST_F(ProfileReadsTest, ARefusedReadLeavesNoCollectionAndKeepsTheMarks) {
  Add("sec", "name", "Ann");
  Answers("{\"answer\":\"deny\"}\n{\"answer\":\"close\"}\n{\"answer\":\"allow\"}\n");
  auto profile = Session();
  Queue(profile.get(), "sec.name", VARIANT_TRUE);
  ComPtr<IPRKeyAttrsCollection> collection;
  EXPECT_EQ(Execute(profile.get(), 0, &collection), kCancelledByUser);
  EXPECT_EQ(collection.get(), nullptr);
  EXPECT_TRUE(profile->m_readRequests.empty());
  EXPECT_EQ(profile->m_markSharedRequests, std::vector<std::string>{"sec.name"});
  EXPECT_EQ(LastShared("sec.name"), 0.0);
  // Right after: nothing queued, nothing to show, an empty collection.
  ASSERT_EQ(Execute(profile.get(), 0, &collection), S_OK);
  LONG count = -1;
  collection->get_Count(&count);
  EXPECT_EQ(count, 0);
  EXPECT_GT(LastShared("sec.name"), 40000.0) << "the marks waited for a read the user allowed";
  EXPECT_TRUE(profile->m_markSharedRequests.empty());

  Queue(profile.get(), "sec.name");
  EXPECT_EQ(Execute(profile.get(), 0, &collection), kCancelledByUser) << "the close box";
  EXPECT_EQ(Shown().size(), 2u);
}

TEST_F(ProfileReadsTest, OnlyPrivilegedSessionsReadWithoutAsking) {
  Add("sec", "name", "Ann");
  auto profile = Session();
  Queue(profile.get(), "sec.name", VARIANT_TRUE);
  ComPtr<IPRKeyAttrsCollection> collection;
  EXPECT_EQ(Execute(profile.get(), -1, &collection), E_ACCESSDENIED);
  EXPECT_EQ(collection.get(), nullptr);
  EXPECT_TRUE(profile->m_readRequests.empty());
  EXPECT_TRUE(profile->m_markSharedRequests.empty());

  auto privileged = Session("sec");
  privileged->m_bPrivileged = true;
  Queue(privileged.get(), "sec.name", VARIANT_TRUE);
  ASSERT_EQ(Execute(privileged.get(), -1, &collection), S_OK);
  EXPECT_GT(LastShared("sec.name"), 40000.0);
  auto all = Session("/");
  all->m_bAllSections = true;
  Queue(all.get(), "sec.name");
  ASSERT_EQ(all->ExecuteReadRequestsHelper(true, -1, nullptr, collection.put()), S_OK);
  Variant first = Variant::I4(0);
  Variant item;
  ASSERT_EQ(collection->Item(*first.get(), item.put()), S_OK);
  ComPtr<IPRSuperKeyAttr> super;
  EXPECT_EQ(item->pdispVal->QueryInterface(IID_IPRSuperKeyAttr, super.put_void()), S_OK) << "the privileged form";
  EXPECT_TRUE(Shown().empty());
}

TEST_F(ProfileReadsTest, ANullOutPointerOrAStoreThatCannotOpenChangesNothing) {
  auto profile = Session();
  Queue(profile.get(), "sec.name", VARIANT_TRUE);
  EXPECT_EQ(profile->ExecuteReadRequests(0, nullptr, nullptr), E_POINTER);
  EXPECT_EQ(profile->m_readRequests.size(), 1u);
  // The file goes away under a closed store: the open's result, the queues as they were.
  CloseProfileDatabase();
  ForgetDatabasePath();
  ASSERT_EQ(WriteSetting(kSettingDatabasePath, m_home->path() + "/gone.db"), S_OK);
  ComPtr<IPRKeyAttrsCollection> collection;
  EXPECT_EQ(Execute(profile.get(), 0, &collection), static_cast<HRESULT>(0x800A0BD0));
  EXPECT_EQ(profile->m_readRequests.size(), 1u);
  EXPECT_EQ(profile->m_markSharedRequests.size(), 1u);
}

TEST_F(ProfileReadsTest, TheCollectionKeepsTheStoreOpenAfterItsSessionIsReleased) {
  Add("common", "city", "Bern");
  Add("sec", "common.city", "", eTypeString, "City", ePrivacyShared, true);
  Answers("{\"answer\":\"allow\"}\n");
  ComPtr<IPRKeyAttrsCollection> collection;
  {
    auto profile = Session();
    Queue(profile.get(), "common.city");
    ASSERT_EQ(Execute(profile.get(), 0, &collection), S_OK);
  }
  ASSERT_NE(ProfileDatabase(), nullptr) << "still open for the collection";
  HRESULT hr = S_OK;
  EXPECT_EQ(ValueText(Item(collection.get(), "common.city", &hr).get()), "Bern");
  collection.reset();
  EXPECT_EQ(ProfileDatabase(), nullptr) << "closed with the last user";
}

}  // namespace
}  // namespace lumora
