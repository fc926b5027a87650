// Executing the write queue: when the user is asked, what the write dialog shows and lets
// the user change, the one transaction that keeps every item that succeeded, the count
// in *result, and the change notification sink.
#include <gtest/gtest.h>

#include <fstream>

#include "common/resources.h"
#include "consent/confirm_write_dialog.h"
#include "consent/disclosure_ledger.h"
#include "lumora/services.h"
#include "platform/crypto/crypt_provider.h"
#include "session/create_request_item.h"
#include "session/modify_raw_value_request_item.h"
#include "tests/session/write_fixture.h"
#include "tests/store/german_locale.h"
#include "tests/support/failing_factory.h"

// The C library keeps for good a locale name it composes in setlocale (the German locale
// test switches categories); under the leak checker that is not the component's leak.
extern "C" const char* __lsan_default_suppressions() { return "leak:__argz_add_sep\n"; }

namespace lumora::testing {
namespace {

using WriteBatchTest = WriteTest;
using Rows = std::vector<std::vector<std::string>>;
using Batches = std::vector<std::vector<std::string>>;

std::string TextOf(const ConsentDialogModel& model, int control) {
  for (const auto& [id, text] : model.texts) {
    if (id == control) return text;
  }
  return "<none>";
}

TEST_F(WriteBatchTest, TheQueueIsDiscardedOnEveryOutcomeButAMissingResultPointer) {
  Put("acme.a", "old");
  ComPtr<PRProfile> s = Session("acme");
  ASSERT_EQ(Modify(s.get(), "acme.a", "new"), S_OK);
  EXPECT_EQ(s->ExecuteWriteRequests(1, nullptr, nullptr), E_POINTER);
  EXPECT_EQ(s->m_writeRequests.size(), 1u);

  // Without a dialog only an all-sections or privileged object may write.
  LONG executed = -1;
  EXPECT_EQ(Execute(s.get(), &executed, -1), E_ACCESSDENIED);
  EXPECT_EQ(executed, 0);
  EXPECT_TRUE(s->m_writeRequests.empty());

  // The user refuses, by Deny or by closing the dialog.
  for (ConsentAnswer refusal : {ConsentAnswer::kDeny, ConsentAnswer::kClose}) {
    ASSERT_EQ(Modify(s.get(), "acme.a", "new"), S_OK);
    m_user.answer = [&](const ConsentDialogModel&, ConsentDialogActions*) { return refusal; };
    EXPECT_EQ(Execute(s.get(), &executed), kCancelledByUser);
    EXPECT_EQ(executed, 0);
    EXPECT_TRUE(s->m_writeRequests.empty());
  }
  EXPECT_EQ(Row("acme.a")->raw, "old");
  EXPECT_TRUE(SinkBatches().empty());

  // An empty queue asks nobody.
  m_user.shown.clear();
  EXPECT_EQ(Execute(s.get(), &executed), S_OK);
  EXPECT_EQ(executed, 0);
  EXPECT_TRUE(m_user.shown.empty());
}

TEST_F(WriteBatchTest, ChangesWithoutARowToShowExecuteWithoutAskingTheUser) {
  Put("common.x", "shared value");
  Put("acme.gone", "x");
  Put("acme.gone2", "y");
  ComPtr<PRProfile> s = Session("acme");
  ASSERT_EQ(Delete(s.get(), "acme.gone"), S_OK);
  ASSERT_EQ(Delete(s.get(), "acme.gone2"), S_OK);
  ASSERT_EQ(CreateLink(s.get(), "acme.common.x", "common.x"), S_OK);  // a link without value shows nothing
  ASSERT_EQ(Modify(s.get(), "acme.none", "1"), S_OK);                 // nothing to show: not found
  m_user.answer = [](const ConsentDialogModel&, ConsentDialogActions*) { return ConsentAnswer::kDeny; };
  LONG executed = 0;
  EXPECT_EQ(Execute(s.get(), &executed), eErrorKeyNotFound) << "the modification still executes, and fails";
  EXPECT_EQ(executed, 3);
  EXPECT_TRUE(m_user.shown.empty());
  EXPECT_FALSE(std::ifstream(LedgerPath()).good()) << "a dialog without rows is no decision: no ledger line";
  EXPECT_FALSE(Row("acme.gone"));
  EXPECT_FALSE(Row("acme.gone2"));
  EXPECT_TRUE(Row("acme.common.x")->linked);

  // An all-sections object may skip the dialog altogether.
  ComPtr<PRProfile> all = AllSections();
  ASSERT_EQ(Modify(all.get(), "common.x", "new shared value"), S_OK);
  EXPECT_EQ(Execute(all.get(), &executed, -1), S_OK);
  EXPECT_EQ(executed, 1);
  EXPECT_TRUE(m_user.shown.empty());
  EXPECT_EQ(Row("common.x")->raw, "new shared value");
}

TEST_F(WriteBatchTest, AFailingItemDoesNotStopTheBatchAndTheOthersAreCommitted) {
  Put("acme.n", "1", eTypeInt32);
  Put("acme.same", "kept");
  ComPtr<PRProfile> s = Session("acme");
  ASSERT_EQ(Create(s.get(), "acme.first", eTypeString, "one"), S_OK);
  ASSERT_EQ(Modify(s.get(), "acme.n", "not a number"), S_OK);  // refused by the variable's type
  ASSERT_EQ(Modify(s.get(), "acme.same", "kept"), S_OK);       // unchanged: no change, no failure
  ASSERT_EQ(Create(s.get(), "acme.third", eTypeString, "three"), S_OK);
  LONG executed = 0;
  EXPECT_EQ(Execute(s.get(), &executed), eErrorProfileTypeMismatch);
  EXPECT_EQ(executed, 3) << "the items that executed without failure";
  EXPECT_EQ(Row("acme.first")->raw, "one");
  EXPECT_EQ(Row("acme.n")->raw, "1");
  EXPECT_EQ(Row("acme.third")->raw, "three");
  EXPECT_EQ(SinkBatches(), (Batches{{"acme.first", "acme.third"}}));

  // The last failure is the one returned; the connection is out of its transaction for
  // the next batch.
  ASSERT_EQ(Modify(s.get(), "acme.missing", "1"), S_OK);
  ASSERT_EQ(Modify(s.get(), "acme.n", "2"), S_OK);
  ASSERT_EQ(Modify(s.get(), "acme.n2", "1"), S_OK);
  EXPECT_EQ(Execute(s.get(), &executed), eErrorKeyNotFound);
  EXPECT_EQ(executed, 1);
  EXPECT_EQ(Row("acme.n")->raw, "2");

  // A value that cannot be protected fails its item alone, with the cipher's code.
  ASSERT_EQ(Modify(s.get(), "acme.n", "3"), S_OK);
  ASSERT_EQ(Delete(s.get(), "acme.first"), S_OK);
  crypto::SetRandomFailure(true);
  const HRESULT hr = Execute(s.get(), &executed);
  crypto::SetRandomFailure(false);
  EXPECT_EQ(hr, eErrorCipherEncryptingFailed);
  EXPECT_EQ(executed, 1);
  EXPECT_EQ(Row("acme.n")->raw, "2");
  EXPECT_FALSE(Row("acme.first"));
}

TEST_F(WriteBatchTest, TheSinkReceivesExactlyTheChangedUkisInQueueOrder) {
  Put("common.c", "\x02\x02");
  Put("acme.b", "same");
  Put("acme.arr", "", eTypeArrayOfStrings);
  ComPtr<PRProfile> s = Session("acme");
  ASSERT_EQ(Create(s.get(), "acme.z", eTypeString, "z"), S_OK);
  ASSERT_EQ(Modify(s.get(), "acme.b", "same"), S_OK);
  ASSERT_EQ(Modify(s.get(), "acme.arr[k1]", "v"), S_OK);
  ASSERT_EQ(Modify(s.get(), "common.c", "given"), S_OK);
  ASSERT_EQ(Modify(s.get(), "common.c", "again"), S_OK);  // the second link request: unchanged
  ASSERT_EQ(Create(s.get(), "acme.a", eTypeString, "a"), S_OK);
  LONG executed = 0;
  EXPECT_EQ(Execute(s.get(), &executed), S_OK);
  EXPECT_EQ(executed, 6);
  EXPECT_EQ(SinkBatches(), (Batches{{"acme.z", "acme.arr[k1]", "acme.common.c", "acme.a"}}));
  EXPECT_EQ(Row("common.c")->raw, "again") << "the unset common variable received the value";
  EXPECT_TRUE(Row("acme.common.c")->linked);

  // A batch that changes nothing tells the sink nothing; the array element written again
  // with another value is a change.
  ASSERT_EQ(Modify(s.get(), "acme.b", "same"), S_OK);
  EXPECT_EQ(Execute(s.get(), &executed), S_OK);
  EXPECT_EQ(executed, 1);
  ASSERT_EQ(Modify(s.get(), "acme.arr[k1]", "w"), S_OK);
  ASSERT_EQ(Modify(s.get(), "acme.arr[k1]", "w"), S_OK);  // merged: one item
  EXPECT_EQ(Execute(s.get(), &executed), S_OK);
  EXPECT_EQ(SinkBatches(), (Batches{{"acme.z", "acme.arr[k1]", "acme.common.c", "acme.a"}, {"acme.arr[k1]"}}));
}

TEST_F(WriteBatchTest, TheDialogShowsTheChangesAsTheyWillBeWithTheCompanysName) {
  Put("acme.colour", "1", eTypeEnumOfStrings, ePrivacyShared, "Favourite colour");
  AddLabels("acme.colour", {"red", "green", "blue"});
  Put("acme.birthday", "36526", eTypeDate, ePrivacyPrivate, "Birthday");
  Put("acme.tags", "", eTypeArrayOfStrings, ePrivacyPrivate, "Tags");
  Put("common.flag", "F", eTypeBoolean, ePrivacyShared, "Flag");
  ComPtr<PRProfile> s = Session("acme", "O'Brien & $(CompanyName) Sons");
  Variant sizes = Strings({"small", "medium", "large"});
  ASSERT_EQ(Modify(s.get(), "acme.colour", "2"), S_OK);
  ASSERT_EQ(Modify(s.get(), "acme.birthday", "36527"), S_OK);
  ASSERT_EQ(Modify(s.get(), "acme.tags[blue]", "navy"), S_OK);
  ASSERT_EQ(Create(s.get(), "acme.size", eTypeEnumOfStrings, "7", ePrivacyPrivate, "Size", sizes.get()), E_INVALIDARG);
  ASSERT_EQ(Create(s.get(), "acme.size", eTypeEnumOfStrings, "2", ePrivacyShared, "Size", sizes.get()), S_OK);
  ASSERT_EQ(Create(s.get(), "acme.tags[red]", eTypeString, "crimson"), S_OK);
  ASSERT_EQ(Create(s.get(), "acme.ok", eTypeBoolean, "1", ePrivacyPrivate, "OK?"), S_OK);
  ASSERT_EQ(Modify(s.get(), "common.flag", "T"), S_OK);
  ASSERT_EQ(Modify(s.get(), "acme.unknown", "1"), S_OK);  // not found: no row
  ASSERT_EQ(Delete(s.get(), "acme.birthday2"), S_OK);     // never shown
  EXPECT_EQ(Execute(s.get(), nullptr, 1, "Our message: $(CompanyName)"), E_FAIL) << "the delete failed last";

  ASSERT_EQ(m_user.shown.size(), 1u);
  const ConsentDialogModel& shown = m_user.shown[0];
  EXPECT_EQ(shown.kind, ConsentKind::kWrite);
  EXPECT_EQ(shown.caption, "Lumora Profile Request");
  EXPECT_EQ(TextOf(shown, 206), "Our message: $(CompanyName)") << "the message is shown as given";
  EXPECT_EQ(TextOf(shown, 207),
            "O'Brien & $(CompanyName) Sons would like to make a change to your Lumora Profile. Before saving these "
            "changes, please take a moment to confirm them.");
  EXPECT_EQ(TextOf(shown, 209),
            "Lumora uses the information in your Profile to determine which O'Brien & $(CompanyName) Sons messages "
            "are relevant to you. Allowing us to make these changes to your Profile will let Lumora better filter "
            "O'Brien & $(CompanyName) Sons messages for you.");
  EXPECT_EQ(TextOf(shown, 208).substr(0, 50), "Below are the changes that O'Brien & $(CompanyName");
  EXPECT_EQ(TextOf(shown, 204), "Set to Shared");
  EXPECT_EQ(TextOf(shown, 205), "Set to Private");
  ASSERT_EQ(shown.columns.size(), 3u);
  EXPECT_EQ(shown.columns[0].header, "Field Name");
  EXPECT_EQ(shown.columns[1].header, "Value");
  EXPECT_EQ(shown.columns[2].header, "Share Status");
  EXPECT_EQ(shown.columns[1].width, 165);
  EXPECT_EQ(shown.explanationCaption, "What is Lumora?");
  EXPECT_NE(shown.explanation.find(LoadResourceString(IDS_EXPLANATION)), std::string::npos);

  Bstr birthday;
  ASSERT_EQ(VarBstrFromDate(36527.0, LOCALE_USER_DEFAULT, VAR_DATEVALUEONLY, birthday.put()), S_OK);
  EXPECT_EQ(shown.rows, (Rows{{"Favourite colour", "green", "Shared"},
                              {"Birthday", birthday.ToUtf8(), "Private"},
                              {"Tags[blue]", "navy", ""},
                              {"Size", "medium", "Shared"},
                              {"    [red]", "crimson", ""},
                              {"OK?", "Yes", "Private"},
                              {"Flag", "Yes", "Shared"}}));
}

TEST_F(WriteBatchTest, TheUserSwitchesSelectedRowsAndThatIsWhatGetsStoredAndRecorded) {
  Put("acme.a", "a", eTypeString, ePrivacyPrivate, "Field A");
  Put("acme.b", "b", eTypeString, ePrivacyShared, "Field B");
  Put("acme.list", "", eTypeArrayOfStrings, ePrivacyPrivate, "List");
  Put("common.c", "c", eTypeString, ePrivacyPrivate, "Field C");
  ComPtr<PRProfile> s = Session("acme");
  ASSERT_EQ(Modify(s.get(), "acme.a", "a2"), S_OK);                                          // row 0
  ASSERT_EQ(Modify(s.get(), "acme.b", "b"), S_OK);                                           // row 1: same value
  ASSERT_EQ(Modify(s.get(), "acme.list[1]", "one"), S_OK);                                   // row 2: an element
  ASSERT_EQ(Create(s.get(), "acme.d", eTypeString, "d", ePrivacyPrivate, "Field D"), S_OK);  // row 3
  ASSERT_EQ(Modify(s.get(), "common.c", "c"), S_OK);  // row 4: the link, same value
  m_user.answer = [](const ConsentDialogModel&, ConsentDialogActions* actions) {
    actions->PressShareButton({}, true);  // nothing selected: nothing changes
    actions->PressShareButton({0, 2, 3, 4, 99}, true);
    actions->PressShareButton({1}, false);
    return ConsentAnswer::kAllow;
  };
  LONG executed = 0;
  EXPECT_EQ(Execute(s.get(), &executed), S_OK);
  EXPECT_EQ(m_user.sharesAfter, (Rows{{"Field A", "a2", "Shared"},
                                      {"Field B", "b", "Private"},
                                      {"List[1]", "one", ""},
                                      {"Field D", "d", "Shared"},
                                      {"Field C", "c", "Shared"}}));
  EXPECT_EQ(Row("acme.a")->privacy, ePrivacyShared);
  EXPECT_EQ(Row("acme.b")->privacy, ePrivacyPrivate);
  EXPECT_EQ(Row("acme.list")->privacy, ePrivacyPrivate) << "an element row changes nothing";
  EXPECT_EQ(Row("acme.d")->privacy, ePrivacyShared) << "a new variable takes the privacy shown";
  EXPECT_EQ(Row("acme.common.c")->privacy, ePrivacyShared);
  EXPECT_EQ(Row("common.c")->privacy, ePrivacyPrivate) << "the common variable keeps its own";
  // One record per privacy that changed on an existing row, from an ordinary client (1).
  EXPECT_EQ(ChangeRecords(), (std::vector<ChangeRecord>{{"Field A", 1, 1}, {"Field B", 2, 1}}));
  // Only the privacy changed on acme.b: the item counts as unchanged.
  EXPECT_EQ(SinkBatches(), (Batches{{"acme.a", "acme.list[1]", "acme.d", "acme.common.c"}}));
  // The ledger keeps the statuses the user left, not those the dialog offered: the rows
  // must be read after the answer, whatever order a compiler evaluates arguments in.
  std::vector<LedgerEntry> entries;
  std::vector<size_t> damaged;
  std::string error;
  ASSERT_TRUE(ReadLedger(LedgerPath(), &entries, &damaged, &error)) << error;
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].fields, (std::vector<std::string>{"Field A", "Field B", "List[1]", "Field D", "Field C"}));
  EXPECT_EQ(entries[0].shares, (std::vector<std::string>{"shared", "private", "", "shared", "shared"}));
}

// The dialog shows the variables as they were; the batch writes on them as they are once
// the user has answered. Another program may have deleted, made again or changed them.
TEST_F(WriteBatchTest, WhatHappensToAVariableWhileTheUserDecidesIsWhatTheBatchMeets) {
  Put("acme.b", "b", eTypeString, ePrivacyPrivate, "Field B");
  Put("acme.c", "c", eTypeString, ePrivacyPrivate, "Field C");
  Put("acme.a", "1", eTypeString, ePrivacyPrivate, "Field A");  // the last row: its row id is handed out again
  ComPtr<PRProfile> s = Session("acme");
  ASSERT_EQ(Modify(s.get(), "acme.a", "7"), S_OK);
  ASSERT_EQ(Modify(s.get(), "acme.b", "text"), S_OK);
  ASSERT_EQ(Modify(s.get(), "acme.c", "c2"), S_OK);
  m_user.answer = [this](const ConsentDialogModel& model, ConsentDialogActions*) {
    EXPECT_EQ(model.rows.size(), 3u);
    CKeySet keys(ProfileDatabase(), dbOpenDynaset);
    keys.Open();
    for (; !keys.IsEOF(); keys.MoveNext()) {
      if (keys.m_Key == "a" || keys.m_Key == "c") {
        keys.Delete();
      } else {
        keys.Edit();
        keys.m_Type = eTypeInt32;
        keys.Update();
      }
    }
    keys.Close();
    Put("acme.z", "z", eTypeString, ePrivacyPrivate, "Other");  // takes the row id acme.c had
    Put("ACME.A", "0", eTypeInt32, ePrivacyPrivate, "Made again");  // takes the one acme.a had
    return ConsentAnswer::kAllow;
  };
  LONG executed = 0;
  EXPECT_EQ(Execute(s.get(), &executed), eErrorKeyNotFound) << "acme.c is gone, and nothing makes it again";
  EXPECT_EQ(executed, 1);
  ASSERT_TRUE(Row("acme.a"));
  EXPECT_EQ(Row("acme.a")->fieldName, "Made again");
  EXPECT_EQ(Row("acme.a")->raw, "7") << "written on the variable made again, checked against its type";
  EXPECT_EQ(Row("acme.b")->raw, "b") << "the type it has now refuses the text";
  EXPECT_FALSE(Row("acme.c"));
  EXPECT_EQ(Row("acme.z")->raw, "z") << "another variable on acme.c's old row is not acme.c";
  EXPECT_EQ(RowCount(), 3);
  EXPECT_EQ(SinkBatches(), (Batches{{"acme.a"}}));
}

TEST_F(WriteBatchTest, DenyKeepsTheUsersChoicesOnTheRowsAndStoresNothing) {
  Put("acme.a", "a");
  ComPtr<PRProfile> s = Session("acme");
  ASSERT_EQ(Modify(s.get(), "acme.a", "b"), S_OK);
  ASSERT_EQ(Create(s.get(), "acme.new", eTypeString, "n"), S_OK);
  std::vector<WriteConsentRow*> queue;
  for (const auto& item : s->m_writeRequests) queue.push_back(item.get());
  CConfirmWriteDialog dialog(queue, "Acme", 0, "message");
  m_user.answer = [](const ConsentDialogModel&, ConsentDialogActions* actions) {
    actions->PressShareButton({0, 1}, true);
    return ConsentAnswer::kDeny;
  };
  EXPECT_EQ(dialog.DoModal(m_user), IDCANCEL);
  EXPECT_EQ(s->m_writeRequests[0]->Display()->privacy, ePrivacyShared);
  EXPECT_EQ(s->m_writeRequests[1]->Display()->privacy, ePrivacyShared);
  EXPECT_EQ(dialog.List().GetItemCount(), 0u) << "closing removes the rows; the queue keeps its items";
  EXPECT_EQ(Row("acme.a")->privacy, ePrivacyPrivate);
  EXPECT_EQ(Row("acme.a")->raw, "a");
}

TEST_F(WriteBatchTest, PrivacyRecordsNameTheRequesterAndFollowOnlyRealChanges) {
  Put("common.p", "p", eTypeString, ePrivacyPrivate, "Common P");
  Put("acme.q", "q", eTypeString, ePrivacyPrivate, "Acme Q");
  Put("acme.r", "r", eTypeString, ePrivacyShared, "Acme R");
  ComPtr<PRProfile> all = AllSections();
  ASSERT_EQ(all->AddModifyPrivacyRequest(Bstr::FromUtf8("common.p").get(), ePrivacyShared), S_OK);  // kind 1
  ASSERT_EQ(all->AddModifyPrivacyRequest(Bstr::FromUtf8("acme.q").get(), ePrivacyShared), S_OK);    // kind 4
  ASSERT_EQ(all->AddModifyPrivacyRequest(Bstr::FromUtf8("acme.r").get(), ePrivacyShared), S_OK);    // the same
  ASSERT_EQ(all->AddModifyPrivacyRequest(Bstr::FromUtf8("acme.none").get(), ePrivacyShared), S_OK);
  LONG executed = 0;
  EXPECT_EQ(Execute(all.get(), &executed, -1), E_FAIL);
  EXPECT_EQ(executed, 3);
  EXPECT_EQ(Row("common.p")->privacy, ePrivacyShared);
  EXPECT_EQ(Row("acme.q")->privacy, ePrivacyShared);
  EXPECT_EQ(SinkBatches(), (Batches{{"common.p", "acme.q", "acme.r"}})) << "a privacy request is always a change";
  EXPECT_EQ(ChangeRecords(), (std::vector<ChangeRecord>{{"Common P", 1, 2}}));

  ComPtr<PRProfile> privileged = AllSections(true);
  ASSERT_EQ(privileged->AddModifyPrivacyRequest(Bstr::FromUtf8("acme.q").get(), ePrivacyPrivate), S_OK);
  EXPECT_EQ(Execute(privileged.get(), &executed, -1), S_OK);
  EXPECT_EQ(ChangeRecords(), (std::vector<ChangeRecord>{{"Common P", 1, 2}, {"Acme Q", 2, 0}}));
}

TEST_F(WriteBatchTest, WithoutTheNotificationServiceOrTheSinkTheBatchIsStillWholeAndCommitted) {
  Put("acme.a", "a", eTypeString, ePrivacyPrivate, "A");
  testing::FailingFactory unavailable(E_OUTOFMEMORY);  // a companion service that cannot be created
  DWORD sinkCookie = 0;
  DWORD notificationCookie = 0;
  ASSERT_EQ(CoRegisterClassObject(CLSID_LumoraChangeSink, &unavailable, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                  &sinkCookie),
            S_OK);
  ASSERT_EQ(CoRegisterClassObject(CLSID_LumoraNotification, &unavailable, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                  &notificationCookie),
            S_OK);
  {
    ComPtr<PRProfile> s = Session("acme");
    ASSERT_EQ(Modify(s.get(), "acme.a", "b"), S_OK);
    ASSERT_EQ(Create(s.get(), "acme.c", eTypeString, "c"), S_OK);
    m_user.answer = [](const ConsentDialogModel&, ConsentDialogActions* actions) {
      actions->PressShareButton({0, 1}, true);
      return ConsentAnswer::kAllow;
    };
    LONG executed = 0;
    EXPECT_EQ(Execute(s.get(), &executed), S_OK);
    EXPECT_EQ(executed, 2);
  }
  CoRevokeClassObject(sinkCookie);
  CoRevokeClassObject(notificationCookie);
  EXPECT_EQ(Row("acme.a")->raw, "b");
  EXPECT_EQ(Row("acme.a")->privacy, ePrivacyShared);
  EXPECT_EQ(Row("acme.c")->privacy, ePrivacyShared);
  EXPECT_TRUE(ChangeRecords().empty());
  EXPECT_TRUE(SinkBatches().empty());
}

TEST_F(WriteBatchTest, AHostInAGermanLocaleWritesTheSameRawValuesAndSeesItsOwnDates) {
  Put("acme.r", "0", eTypeString, ePrivacyPrivate, "Ratio");
  ComPtr<PRProfile> s = Session("acme");
  GermanLocale german;
  if (!german.active()) GTEST_SKIP() << german.why();
  Variant ratio = Variant::R8(1.5);
  ASSERT_EQ(s->AddModifyValueRequest(Bstr::FromUtf8("acme.r").get(), ratio.get()), S_OK);
  Variant when = Variant::Date(36526.75);
  ASSERT_EQ(
      s->AddCreateKeyRequest2(Bstr::FromUtf8("acme.when").get(), eTypeDateTime, when.get(), eVolatilityChangesNever,
                              ePrivacyPrivate, Bstr::FromUtf8("When").get(), VARIANT_FALSE, nullptr),
      S_OK);
  ASSERT_EQ(Modify(s.get(), "acme.r", "2.25"), S_OK) << "merged: the raw text as given";
  LONG executed = 0;
  EXPECT_EQ(Execute(s.get(), &executed), S_OK);
  EXPECT_EQ(executed, 2);
  Bstr shownDate;
  ASSERT_EQ(VarBstrFromDate(36526.75, LOCALE_USER_DEFAULT, 0, shownDate.put()), S_OK);
  ASSERT_EQ(m_user.shown.size(), 1u);
  EXPECT_EQ(m_user.shown[0].rows[1], (std::vector<std::string>{"When", shownDate.ToUtf8(), "Private"}));
  EXPECT_EQ(Row("acme.r")->raw, "2.25");
  EXPECT_EQ(Row("acme.when")->raw, "36526.750000") << "raw numbers in the C locale";

  ASSERT_EQ(s->AddModifyValueRequest(Bstr::FromUtf8("acme.r").get(), ratio.get()), S_OK);
  EXPECT_EQ(Execute(s.get(), &executed), S_OK);
  EXPECT_EQ(Row("acme.r")->raw, "1.500000");
}

}  // namespace
}  // namespace lumora::testing
