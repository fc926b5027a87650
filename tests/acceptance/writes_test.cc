// Writes from outside: signed partner programs in their own processes queue changes and
// execute them against a local installation, and the machine's scripted presenter
// answers the write dialog as a user would (setting 20 = script:PATH).
#include <gtest/gtest.h>

#include "tests/acceptance/writes_fixture.h"

namespace lumora::testing {
namespace {

using Results = std::vector<std::string>;
using Batches = std::vector<std::vector<std::string>>;

TEST_F(WritesTest, AGrantedProgramsChangesAreShownOnceMergedAndStoredOnAllow) {
  MakeCommonVariables();
  Answers({R"({"answer":"allow"})"});
  // One step per line.
  // clang-format off
  const Results results = RunPartnerInOrder("acme", {
      "grant", "acme",
      "modify", "common.country", "Portugal",             // a link carrying the value
      "modify", "common.country", "Spain",                // merged into it; a second link follows
      "create-key", "acme.visits", "1", "3", "0", "Visits",
      "modify", "acme.visits", "4",                       // merged into the creation
      "create-enum", "acme.size", "2", "0", "Size", "small,medium,large",
      "create-enum", "acme.bad", "4", "0", "Bad", "small,medium,large",
      "create-key2", "acme.when", "3", "date:36526", "0", "When",
      "modify-value", "acme.visits", "byref-i4:5",        // merged again, by reference
      "modify-value", "acme.visits", "null:",             // refused: nothing to convert
      "delete", "acme.gone",                              // fails: no such variable
      "modify", "acme.gone", "x",                         // swallowed by the deletion
      "execute-write", "1", "Please confirm"});
  // clang-format on
  EXPECT_EQ(results, (Results{kOk, kOk, kOk, kOk, kOk, kOk, kOk, "0x80070057", kOk, kOk, "0x80020005", kOk, kOk,
                              "0x80004005", "5"}));
  const auto store = Store();
  EXPECT_EQ(store.at("acme.common.country").raw, "Spain");
  EXPECT_FALSE(store.at("acme.common.country").linked) << "the common variable had a value of its own";
  EXPECT_EQ(store.at("common.country").raw, "Ireland");
  EXPECT_EQ(store.at("acme.visits").raw, "5");
  EXPECT_EQ(store.at("acme.size").raw, "2");
  EXPECT_EQ(store.at("acme.when").raw, "36526");
  EXPECT_EQ(store.count("acme.bad"), 0u);
  EXPECT_EQ(store.count("acme.gone"), 0u);

  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 2u) << "the product's dialog, then this one";
  EXPECT_NE(shown[1].find("Acme Planning Ltd would like to make a change"), std::string::npos) << shown[1];
  EXPECT_NE(shown[1].find("Please confirm"), std::string::npos);
  EXPECT_NE(shown[1].find("\"Size\",\"medium\""), std::string::npos) << shown[1];
  // After the batch the sink holds the changed ukis in queue order.
  EXPECT_EQ(SinkBatches().back(),
            (std::vector<std::string>{"acme.common.country", "acme.visits", "acme.size", "acme.when"}));
}

TEST_F(WritesTest, TheUsersShareChoicesAreStoredAndRecordedAndElementsCannotBeSwitched) {
  MakeCommonVariables();
  Answers({R"({"answer":"allow"})"});
  ASSERT_EQ(RunPartner("acme", {"grant", "acme",    "create-key",    "acme.a",    "5",    "a",
                                "0",     "Field A", "create-key",    "acme.b",    "5",    "b",
                                "1",     "Field B", "create-key",    "acme.tags", "8",    "",
                                "0",     "Tags",    "execute-write", "1",         "First"})
                .at("execute-write"),
            kOk);
  // Row 0 Field A, row 1 Field B, row 2 the element Tags[x], row 3 the common country.
  Answers({R"({"actions":[{"select":[0,2,3],"press":"shared"},{"select":[1],"press":"private"}],"answer":"allow"})"});
  const auto results =
      RunPartner("acme", {"grant", "acme", "modify", "acme.a", "a2", "modify", "acme.b", "b2", "modify", "acme.tags[x]",
                          "ex", "modify", "common.country", "Ireland", "execute-write", "1", "Second"});
  EXPECT_EQ(results.at("execute-write"), kOk);
  EXPECT_EQ(results.at("executed"), "4");
  const auto store = Store();
  EXPECT_EQ(store.at("acme.a").privacy, ePrivacyShared);
  EXPECT_EQ(store.at("acme.b").privacy, ePrivacyPrivate);
  EXPECT_EQ(store.at("acme.tags").privacy, ePrivacyPrivate) << "the element's row switched nothing";
  EXPECT_EQ(store.at("acme.common.country").privacy, ePrivacyShared);
  EXPECT_FALSE(store.at("acme.common.country").linked);
  EXPECT_EQ(ArrayKeys("acme.tags"), (std::vector<std::string>{"x=ex"}));
  // One record per privacy change of an existing variable, made by an ordinary client.
  EXPECT_EQ(Changes(), (std::vector<Change>{{"Field A", 1, 1}, {"Field B", 2, 1}}));
  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 3u);
  // The dialog as the user left it.
  EXPECT_NE(shown[2].find(R"("rows":[["Field A","a2","Shared"],["Field B","b2","Private"],["Tags[x]","ex",""],)"
                          R"(["Country","Ireland","Shared"]])"),
            std::string::npos)
      << shown[2];
}

TEST_F(WritesTest, RefusalsDeletionsAndFailuresAsAProgramSeesThem) {
  MakeCommonVariables();
  // Deny and close: nothing stored; the queue is gone, so the next execution is empty.
  Answers({R"({"answer":"deny"})", R"({"answer":"close"})"});
  EXPECT_EQ(RunPartnerInOrder(
                "acme", {"grant", "acme", "create-key",    "acme.x", "5", "x",          "0",      "X", "execute-write",
                         "1",     "m",    "execute-write", "1",      "m", "create-key", "acme.x", "5", "x",
                         "0",     "X",    "execute-write", "1",      "m"}),
            (Results{kOk, kOk, kOk, kCancelled, "0", kOk, "0", kOk, kCancelled, "0"}));
  EXPECT_EQ(Store().count("acme.x"), 0u);

  // Three items of which the second fails: the first and third are committed.
  Answers({R"({"answer":"allow"})"});
  EXPECT_EQ(
      RunPartnerInOrder("acme", {"grant",  "acme",          "create-key", "acme.one",   "1",          "1", "0", "One",
                                 "modify", "acme.missing",  "2",          "create-key", "acme.three", "1", "3", "0",
                                 "Three",  "execute-write", "1",          "m"}),
      (Results{kOk, kOk, kOk, kOk, kOk, "0x8004E302", "2"}));
  auto store = Store();
  EXPECT_EQ(store.at("acme.one").raw, "1");
  EXPECT_EQ(store.at("acme.three").raw, "3");

  // Deletions alone, and a link without value, need no dialog; the same value again is
  // no change for the sink.
  const size_t dialogs = Shown().size();
  const size_t batches = SinkBatches().size();
  EXPECT_EQ(RunPartnerInOrder("acme", {"grant", "acme", "delete", "acme.one", "link", "acme.common.number",
                                       "common.number", "execute-write", "1", "m"}),
            (Results{kOk, kOk, kOk, kOk, kOk, "2"}));
  Answers({R"({"answer":"allow"})"});
  EXPECT_EQ(RunPartnerInOrder("acme", {"grant", "acme", "modify", "acme.three", "3", "execute-write", "1", "m"}),
            (Results{kOk, kOk, kOk, kOk, "1"}));
  EXPECT_EQ(Shown().size(), dialogs + 1);
  const auto sink = SinkBatches();
  ASSERT_EQ(sink.size(), batches + 1);
  EXPECT_EQ(sink.back(), (std::vector<std::string>{"acme.one", "acme.common.number"}));
  store = Store();
  EXPECT_EQ(store.count("acme.one"), 0u);
  EXPECT_TRUE(store.at("acme.common.number").linked);

  // Execution without a dialog is for the product's privileged objects only; another
  // company's section is refused.
  EXPECT_EQ(
      RunPartnerInOrder(
          "acme", {"grant", "acme",       "create-key", "acme.y", "5", "y", "0", "Y",    "execute-write", "-1",
                   "m",     "create-key", "globex.y",   "5",      "y", "0", "Y", "link", "acme.globex.y", "globex.y"}),
      (Results{kOk, kOk, kOk, kAccessDenied, "0", kAccessDenied, kAccessDenied}));
  EXPECT_EQ(Store().count("acme.y"), 0u);
}

TEST_F(WritesTest, PrivilegedObjectsWriteWithoutADialogButNeverMakeAVariableShared) {
  // The product's administration program: its super user addresses every section; the
  // session it hands out on its own authority for a section may not create shared
  // variables, and both write without asking when they say so.
  Answers({R"({"actions":[{"select":[0],"press":"shared"}],"answer":"allow"})"});
  // One step per line.
  // clang-format off
  const auto results = RunSteps(Admin("product"), {
      "super",
      "su-create", "common.flag", "6", "T", "0", "Flag",
      "su-create-null", "common.size", "1", "1", "Size",
      "su-create", "acme.kept", "5", "k", "0", "Kept",
      "su-execute", "-1",
      "su-privacy", "common.flag", "1",                   // a common variable: requester 2
      "su-privacy", "acme.kept", "1",                     // another variable: no record
      "su-execute", "-1",
      "under", "acme", "-", "1",
      "s-create", "acme.p", "5", "v", "1", "P",           // shared: refused
      "s-create", "acme.p", "5", "v", "0", "P",
      "s-execute", "-1",
      "s-modify", "acme.p", "v2",
      "s-execute", "1",                                   // the user makes it shared: requester 0
      "s-modify", "acme.p", "v3",
  });
  // clang-format on
  EXPECT_EQ(results, (Results{kOk, kOk, kOk, kOk, "0x00000000 3", kOk, kOk, "0x00000000 2", kOk, kAccessDenied, kOk,
                              "0x00000000 1", kOk, "0x00000000 1", kOk}));
  const auto store = Store();
  EXPECT_EQ(store.at("common.flag").privacy, ePrivacyShared);
  EXPECT_EQ(store.at("common.size").raw, "\x02\x02");
  EXPECT_EQ(store.at("common.size").privacy, ePrivacyShared) << "the super user's own session may share";
  EXPECT_EQ(store.at("acme.kept").privacy, ePrivacyShared);
  EXPECT_EQ(store.at("acme.p").raw, "v2") << "the last request was never executed";
  EXPECT_EQ(store.at("acme.p").privacy, ePrivacyShared);
  EXPECT_EQ(Changes(), (std::vector<Change>{{"Flag", 1, 2}, {"P", 1, 0}}));
  EXPECT_EQ(Shown().size(), 1u) << "only the execution with a window asked the user";
}

TEST_F(WritesTest, ALateBoundProgramWritesByNamesAlone) {
  Answers({R"({"answer":"allow"})"});
  // clang-format off
  const Results results = RunPartnerInOrder("acme", {
      "grant", "acme",
      "d-create-key", "acme.visits", "1", "3", "0", "Visits",
      "d-modify-value", "acme.visits", "i4:7",            // merged into the creation
      "d-create-key", "acme.note", "5", "kept", "0", "Note",
      "d-modify-value", "acme.note", "null:",             // refused: nothing to convert
      "d-delete", "acme.gone",                            // fails when executed
      "d-execute-write", "1", "Late"});
  // clang-format on
  // The failed deletion fails the call, so a late-bound caller gets no count back.
  EXPECT_EQ(results, (Results{kOk, kOk, kOk, kOk, kOk, "0x80020005", kOk, "0x80004005", "-1"}));
  const auto store = Store();
  EXPECT_EQ(store.at("acme.visits").raw, "7");
  EXPECT_EQ(store.at("acme.note").raw, "kept");
  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].find("Late"), std::string::npos) << shown[0];
}

}  // namespace
}  // namespace lumora::testing
