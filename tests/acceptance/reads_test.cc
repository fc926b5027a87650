// Reads from outside: signed partner programs, each in its own process, read what the
// store holds behind the consent dialog, which the scripted presenter answers and
// records as the machine's configuration says.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <set>

#include "common/settings_client.h"
#include "lumora/profile.h"
#include "platform/ui/json_value.h"
#include "store/array_set.h"
#include "store/enum_set.h"
#include "store/key_set.h"
#include "store/profile_database.h"
#include "store/store_context.h"
#include "store/value_protection.h"
#include "tests/acceptance/installation_fixture.h"
#include "tests/store/german_locale.h"

namespace lumora::testing {
namespace {

constexpr char kCancelled[] = "0x800704C7";

// Writes rows into the installation's store as the component writes them, from this
// process; the store is closed again when it goes.
class StoreSeeder {
 public:
  StoreSeeder() {
    EXPECT_EQ(AcquireCryptProvider(), 0);
    EXPECT_EQ(OpenProfileDatabase(), S_OK);
    ProfileDatabase()->m_pWorkspace->BeginTrans();
  }
  ~StoreSeeder() {
    ProfileDatabase()->m_pWorkspace->CommitTrans();
    ReleaseCryptProvider();
    CloseProfileDatabase();
  }
  StoreSeeder(const StoreSeeder&) = delete;
  StoreSeeder& operator=(const StoreSeeder&) = delete;

  void Add(const std::string& section, const std::string& key, const std::string& raw, LONG type,
           const std::string& fieldName, bool linked = false) {
    CKeySet set(ProfileDatabase(), dbOpenDynaset);
    set.m_strFilter = "SECTION = 'ShouldNeverExist'";
    set.Open();
    set.AddNew();
    set.m_Section = section;
    set.m_Key = key;
    set.m_Value = linked ? std::string() : ProtectValue(raw);
    set.m_FieldName = fieldName;
    set.m_Type = static_cast<SHORT>(type);
    set.m_Privacy = ePrivacyShared;
    set.m_IsLinked = linked ? TRUE : FALSE;
    set.Update();
  }
  void AddElement(const std::string& arrayUki, const std::string& key, const std::string& raw) {
    CArraySet set(ProfileDatabase());
    set.Open(dbOpenDynaset);
    set.AddNew();
    set.m_uki = arrayUki;
    set.m_key = key;
    set.m_value = ProtectValue(raw);
    set.Update();
  }
  void AddLabel(const std::string& uki, LONG index, const std::string& label) {
    CEnumSet set(ProfileDatabase());
    set.Open(dbOpenDynaset);
    set.AddNew();
    set.m_uki = uki;
    set.m_enumIndex = index;
    set.m_Label = label;
    set.Update();
  }
};

class ReadsTest : public InstallationTest {
 protected:
  void SetUp() override {
    InstallationTest::SetUp();
    m_answers = m_home->path() + "/answers.jsonl";
    ASSERT_EQ(WriteSetting(kSettingConsentPresenter, "script:" + m_answers), S_OK);
    // A store as a partner and the product have filled it: protected values, a common
    // variable, the section's own copy of another, a link, arrays, an enumeration.
    StoreSeeder store;
    store.Add("acme", "name", "Ann Smith", eTypeString, "Name");
    store.Add("acme", "birthday", "32874.000000", eTypeDate, "Birthday");
    store.Add("acme", "visits", "12", eTypeInt32, "Visits");
    store.Add("acme", "subscribed", "T", eTypeBoolean, "Subscribed");
    store.Add("acme", "plan", "2", eTypeEnumOfStrings, "Plan");
    store.AddLabel("acme.plan", 1, "Basic");
    store.AddLabel("acme.plan", 2, "Premium");
    store.Add("acme", "nickname", "Annie", eTypeString, "Name");
    store.Add("acme", "fax", std::string(kNotSetMarker), eTypeString, "Fax");
    store.Add("acme", "pets", "", eTypeArrayOfStrings, "Pets");
    store.AddElement("acme.pets", "a", "cat");
    store.AddElement("acme.pets", "b", "dog");
    store.Add("common", "city", "Bern", eTypeString, "City");
    store.Add("common", "country", "Switzerland", eTypeString, "Country");
    store.Add("acme", "common.country", "Suisse", eTypeString, "Country");
    store.Add("common", "langs", "", eTypeArrayOfStrings, "Languages");
    store.AddElement("common.langs", "1", "de");
    store.Add("acme", "common.langs", "", eTypeArrayOfStrings, "Languages", true);
    store.Add("globex", "secret", "not for acme", eTypeString, "Secret");
  }

  void Answers(const std::string& lines) { std::ofstream(m_answers, std::ios::app) << lines; }
  std::vector<JsonValue> Shown() {
    std::vector<JsonValue> shown;
    std::ifstream in(m_answers + ".shown");
    for (std::string line; std::getline(in, line);) {
      const std::optional<JsonValue> record = ParseJson(line);
      EXPECT_TRUE(record) << line;
      shown.push_back(record.value_or(JsonValue()));
    }
    return shown;
  }
  // The steps' results, "create" first, each "0x........" and what was read.
  std::vector<std::string> Run(const std::vector<std::string>& steps, const std::string& who = "acme") {
    return RunPartnerInOrder(who, steps);
  }

  std::string m_answers;
};

TEST_F(ReadsTest, TheTypicalReadAsksOnceAndHandsOverWhatTheUserAllowed) {
  Answers("{\"answer\":\"allow\"}\n");
  const auto results = Run({"grant",
                            "acme",
                            "read",
                            "acme.name,common.city,acme.birthday,acme.visits,acme.subscribed,acme.plan",
                            "execute-read",
                            "0",
                            "Acme would like to tailor its advice",
                            "count",
                            "item",
                            "0",
                            "item",
                            "acme.name",
                            "item",
                            "common.city",
                            "item",
                            "acme.birthday",
                            "item",
                            "acme.visits",
                            "item",
                            "acme.subscribed",
                            "item",
                            "acme.plan",
                            "exists",
                            "acme.nickname",
                            "item",
                            "6"});
  EXPECT_EQ(
      results,
      (std::vector<std::string>{
          kOk, kOk, "0x00000000 ", "0x00000000 collection", "0x00000000 6",
          "0x00000000 type=5 set=-1 value=0x00000000:Ann Smith", "0x00000000 type=5 set=-1 value=0x00000000:Ann Smith",
          "0x00000000 type=5 set=-1 value=0x00000000:Bern", "0x00000000 type=3 set=-1 value=0x00000000:32874.000000",
          "0x00000000 type=1 set=-1 value=0x00000000:12", "0x00000000 type=6 set=-1 value=0x00000000:-1",
          "0x00000000 type=9 set=-1 value=0x00000000:2", "0x00000000 0", "0x80070057 no item"}));
  const std::vector<JsonValue> shown = Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Find("caption")->text(), "Lumora Profile Request");
  EXPECT_EQ(shown[0].Find("texts")->Find("206")->text(), "Acme would like to tailor its advice");
  EXPECT_EQ(shown[0].Find("texts")->Find("207")->text(),
            "Acme Planning Ltd has requested the information listed below from your Lumora Relationship Settings.  "
            "If you would like to allow Acme Planning Ltd to read this information, plase click on the \"Allow\" "
            "button.");
  EXPECT_EQ(WriteJson(*shown[0].Find("columns")),
            R"([{"header":"Field Name","width":200},{"header":"Value","width":200}])");
  const JsonValue& rows = *shown[0].Find("rows");
  ASSERT_EQ(rows.items().size(), 6u);
  EXPECT_EQ(WriteJson(rows.items()[0]), R"(["Name","Ann Smith"])");
  EXPECT_EQ(rows.items()[1].items()[0].text(), "Birthday");
  EXPECT_FALSE(rows.items()[1].items()[1].text().empty()) << "a date shown as a date";
  EXPECT_EQ(WriteJson(rows.items()[3]), R"(["Subscribed","Yes"])");
  EXPECT_EQ(WriteJson(rows.items()[4]), R"(["Plan","Premium"])");
  EXPECT_EQ(WriteJson(rows.items()[5]), R"(["City","Bern"])");
  EXPECT_EQ(shown[0].Find("answer")->text(), "allow");
}

TEST_F(ReadsTest, TheSameReadThroughIDispatchOnly) {
  Answers("{\"answer\":\"allow\"}\n");
  const auto results =
      Run({"grant-name", "acme", "d-read", "acme.name,common.city,acme.visits", "d-execute-read", "0", "Why", "d-count",
           "d-item", "1", "d-item", "common.city", "d-item", "acme.visits", "d-enum"});
  EXPECT_EQ(results,
            (std::vector<std::string>{kOk, kOk, "0x00000000 ", "0x00000000 collection", "0x00000000 3",
                                      "0x00000000 type=1 set=-1 value=0x00000000:12",
                                      "0x00000000 type=5 set=-1 value=0x00000000:Bern",
                                      "0x00000000 type=1 set=-1 value=0x00000000:12", "0x00000000 Ann Smith|12|Bern"}))
      << "by name, by dispid, the default member and _NewEnum";
  EXPECT_EQ(Shown().size(), 1u);
}

TEST_F(ReadsTest, NothingToAskNothingShown) {
  const auto results =
      Run({"grant", "acme", "execute-read", "0", "empty queue", "count", "read", "acme.fax,acme.nothing,common.nothing",
           "execute-read", "0", "nothing set", "count", "item", "acme.fax", "exists", "acme.nothing"});
  EXPECT_EQ(results, (std::vector<std::string>{kOk, kOk, "0x00000000 collection", "0x00000000 0", "0x00000000 ",
                                               "0x00000000 collection", "0x00000000 1",
                                               "0x00000000 type=5 set=0 value=0x8004E301:empty", "0x00000000 0"}));
  EXPECT_TRUE(Shown().empty()) << "no dialog, no answer line used";
}

TEST_F(ReadsTest, DuplicateFieldNamesShowOnceWithTheFirstValue) {
  Answers("{\"answer\":\"allow\"}\n");
  Run({"grant", "acme", "read", "acme.nickname,acme.name,acme.name", "execute-read", "0", "names", "count"});
  const std::vector<JsonValue> shown = Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(WriteJson(*shown[0].Find("rows")), R"([["Name","Ann Smith"]])") << "the first row in the store's order";
}

TEST_F(ReadsTest, ARefusedReadReturnsNothingAndTheNextReadIsEmpty) {
  Answers("{\"answer\":\"deny\"}\n{\"answer\":\"close\"}\n");
  const auto results = Run({"grant", "acme", "read", "acme.name", "execute-read", "0", "first", "count", "execute-read",
                            "0", "again", "count", "read", "acme.visits", "execute-read", "0", "third"});
  EXPECT_EQ(results, (std::vector<std::string>{kOk, kOk, "0x00000000 ", std::string(kCancelled) + " none",
                                               "0x80004003 no collection", "0x00000000 collection", "0x00000000 0",
                                               "0x00000000 ", std::string(kCancelled) + " none"}));
  EXPECT_EQ(Shown().size(), 2u);
}

TEST_F(ReadsTest, ReadingWithoutAskingIsRefusedAndEmptiesTheQueue) {
  const auto results = Run({"grant", "acme", "read", "acme.name", "execute-read", "-1", "", "execute-read", "0", "",
                            "count", "read", "globex.secret", "read", "Acme.name"});
  EXPECT_EQ(results, (std::vector<std::string>{kOk, kOk, "0x00000000 ", std::string(kAccessDenied) + " none",
                                               "0x00000000 collection", "0x00000000 0",
                                               std::string(kAccessDenied) + " ", std::string(kAccessDenied) + " "}));
  EXPECT_TRUE(Shown().empty());
}

TEST_F(ReadsTest, ASectionsOwnCopyWinsOverTheSharedCommonVariable) {
  Answers("{\"answer\":\"allow\"}\n");
  const auto results =
      Run({"grant", "acme", "read", "common.country,common.city", "execute-read", "0", "where", "count", "item",
           "common.country", "item", "acme.common.country", "item", "common.city", "item", "acme.common.city"});
  EXPECT_EQ(results,
            (std::vector<std::string>{
                kOk, kOk, "0x00000000 ", "0x00000000 collection", "0x00000000 2",
                "0x00000000 type=5 set=-1 value=0x00000000:Suisse", "0x00000000 type=5 set=-1 value=0x00000000:Suisse",
                "0x00000000 type=5 set=-1 value=0x00000000:Bern", "0x00000000 type=5 set=-1 value=0x00000000:Bern"}));
  EXPECT_EQ(WriteJson(*Shown()[0].Find("rows")), R"([["City","Bern"],["Country","Suisse"]])");
}

TEST_F(ReadsTest, ElementsAndArraysAreReadThroughTheirArrayVariable) {
  Answers("{\"answer\":\"allow\"}\n");
  const auto results = Run({"grant",
                            "acme",
                            "read",
                            "acme.pets[b],acme.pets,common.langs",
                            "execute-read",
                            "0",
                            "pets",
                            "count",
                            "item",
                            "acme.pets[b]",
                            "item",
                            "acme.pets[zz]",
                            "item",
                            "acme.pets",
                            "array",
                            "acme.pets",
                            "array-item",
                            "acme.pets",
                            "A",
                            "array-item",
                            "acme.pets",
                            "zz",
                            "array",
                            "acme.common.langs",
                            "array",
                            "acme.pets[b]",
                            "array",
                            "ACME.PETS"});
  EXPECT_EQ(results, (std::vector<std::string>{kOk, kOk, "0x00000000 ", "0x00000000 collection", "0x00000000 2",
                                               "0x00000000 type=5 set=-1 value=0x00000000:dog", "0x8004E302 no item",
                                               "0x00000000 type=8 set=-1 value=0x8004E300:empty",
                                               "0x00000000 count=2 a=cat;b=dog", "0x00000000 a=cat", "0x80070490 ",
                                               "0x00000000 count=1 1=de", "0x00000000 count=0 ", "0x8004E302 "}));
  EXPECT_EQ(WriteJson(*Shown()[0].Find("rows")), R"([["Pets","<Multiple Values>"],["Languages","<Multiple Values>"]])");
}

TEST_F(ReadsTest, EnumeratorsSkipPastTheEndAndCloneWhereTheyStand) {
  Answers("{\"answer\":\"allow\"}\n");
  const auto results = Run({"grant", "acme", "read", "acme.name,acme.visits,common.city", "execute-read", "0", "",
                            "enum", "enum-skip", "1", "enum-skip", "2", "enum-skip", "3", "enum-skip", "9"});
  EXPECT_EQ(
      results,
      (std::vector<std::string>{
          kOk, kOk, "0x00000000 ", "0x00000000 collection", "0x00000000 Ann Smith|12|Bern",
          "0x00000000 next=0x00000000:12 clone=0x00000000:12", "0x00000000 next=0x00000000:Bern clone=0x00000000:Bern",
          "0x00000001 next=0x00000001:- clone=0x00000001:-", "0x00000001 next=0x00000001:- clone=0x00000001:-"}));
}

TEST_F(ReadsTest, AHostInAnotherLocaleReadsTheSameValuesAndSeesItsOwnDates) {
  GermanLocale german;
  if (!german.active()) GTEST_SKIP() << german.why();
  Answers("{\"answer\":\"allow\"}\n");
  const char* oldLang = std::getenv("LANG");
  const std::string previous = oldLang != nullptr ? oldLang : "";
  setenv("LANG", GermanLocale::kName, 1);
  // The C library keeps a locale name it composes in setlocale for good; under the leak
  // checker that is not the component's leak.
  const std::string suppressions = m_home->path() + "/lsan.supp";
  std::ofstream(suppressions) << "leak:__argz_add_sep\n";
  const char* oldLeakOptions = std::getenv("LSAN_OPTIONS");
  const std::string previousLeakOptions = oldLeakOptions != nullptr ? oldLeakOptions : "";
  setenv("LSAN_OPTIONS", ("suppressions=" + suppressions).c_str(), 1);
  const auto results = Run({"setlocale", "", "grant", "acme", "read", "acme.birthday,acme.visits", "execute-read", "0",
                            "Datum", "item", "acme.birthday", "item", "acme.visits"});
  if (oldLeakOptions != nullptr) {
    setenv("LSAN_OPTIONS", previousLeakOptions.c_str(), 1);
  } else {
    unsetenv("LSAN_OPTIONS");
  }
  if (oldLang != nullptr) {
    setenv("LANG", previous.c_str(), 1);
  } else {
    unsetenv("LANG");
  }
  EXPECT_EQ(results, (std::vector<std::string>{kOk, "0x00000000 ", kOk, "0x00000000 ", "0x00000000 collection",
                                               "0x00000000 type=3 set=-1 value=0x00000000:32874,000000",
                                               "0x00000000 type=1 set=-1 value=0x00000000:12"}))
      << "the program prints with its decimal comma; the value is the same day";
  EXPECT_EQ(WriteJson(*Shown()[0].Find("rows")), R"([["Birthday","01.01.1990"],["Visits","12"]])");
}

// The partner program run as a user runs it in a terminal: the terminal is its
// controlling terminal; its standard input is a pipe that says "d" and its output a pipe.
// Returns what it printed; `user` is what the user types when the question appears.
std::string RunInTerminal(const std::vector<std::string>& argv, const std::string& user, std::string* screen) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return "no terminal";
  const std::string slave = ptsname(master);
  int output[2];
  int input[2];
  if (pipe(output) != 0 || pipe(input) != 0) return "no pipe";
  const pid_t pid = fork();
  if (pid == 0) {
    setsid();
    const int terminal = open(slave.c_str(), O_RDWR);  // becomes the controlling terminal
    if (terminal < 0) _exit(126);
    if (write(input[1], "d\n", 2) != 2) _exit(126);
    close(input[1]);
    dup2(input[0], 0);
    dup2(output[1], 1);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(output[1]);
  close(input[0]);
  close(input[1]);
  // Answer once the question stands on the screen.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  char buffer[4096];
  while (screen->find("> ") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd ready{master, POLLIN, 0};
    if (poll(&ready, 1, 50) <= 0) continue;
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got > 0) screen->append(buffer, static_cast<size_t>(got));
  }
  if (write(master, user.data(), user.size()) != static_cast<ssize_t>(user.size())) return "not typed";
  std::string printed;
  for (ssize_t got; (got = read(output[0], buffer, sizeof buffer)) > 0;)
    printed.append(buffer, static_cast<size_t>(got));
  close(output[0]);
  waitpid(pid, nullptr, 0);
  close(master);
  return printed;
}

TEST_F(ReadsTest, TheUserAnswersOnTheTerminalNotThroughTheProgramsInput) {
  const int probe = posix_openpt(O_RDWR | O_NOCTTY);
  if (probe < 0) GTEST_SKIP() << "this machine gives no pseudo-terminal";
  close(probe);
  ASSERT_EQ(WriteSetting(kSettingConsentPresenter, "terminal"), S_OK);
  for (const auto& [typed, result] : {std::pair<std::string, std::string>{"a\n", "0x00000000 collection"},
                                      std::pair<std::string, std::string>{"d\n", std::string(kCancelled) + " none"}}) {
    std::string screen;
    const std::string printed = RunInTerminal(
        {Partner("acme"), "grant", "acme", "read", "acme.name", "execute-read", "0", "May we?"}, typed, &screen);
    EXPECT_NE(printed.find("execute-read: " + result), std::string::npos) << typed << printed;
    // The company's name may stand out in bold: its marks are no part of the text.
    for (const char* mark : {"\x1b[1m", "\x1b[22m", "\x1b[1;34m", "\x1b[0m"}) {
      for (size_t at = screen.find(mark); at != std::string::npos; at = screen.find(mark)) {
        screen.erase(at, std::string_view(mark).size());
      }
    }
    EXPECT_NE(screen.find("Acme Planning Ltd has requested"), std::string::npos) << screen;
    EXPECT_NE(screen.find("Ann Smith"), std::string::npos) << screen;
  }
}

TEST_F(ReadsTest, AProgramCannotAnswerForItsUser) {
  // The machine asks whoever is there; this program runs with no display it could use
  // and no terminal, and tries its own standard input and its own environment.
  ASSERT_EQ(WriteSetting(kSettingConsentPresenter, "auto"), S_OK);
  const std::string rogueAnswers = m_home->path() + "/rogue.jsonl";
  std::ofstream(rogueAnswers) << "{\"answer\":\"allow\"}\n";
  std::string output;
  ASSERT_EQ(RunProgram({"/usr/bin/setsid",
                        "-w",
                        Partner("acme"),
                        "grant",
                        "acme",
                        "pipe-answer",
                        "a",
                        "setenv",
                        "LUMORA_CONSENT=allow",
                        "setenv",
                        "LUMORA_CONSENT_PRESENTER=script:" + rogueAnswers,
                        "setenv",
                        "DISPLAY=:0",
                        "setenv",
                        "WAYLAND_DISPLAY=wayland-0",
                        "read",
                        "acme.name",
                        "execute-read",
                        "0",
                        "let me",
                        "count"},
                       &output),
            0);
  EXPECT_NE(output.find("execute-read: " + std::string(kCancelled) + " none"), std::string::npos) << output;
  EXPECT_NE(output.find("count: 0x80004003"), std::string::npos) << output;
  EXPECT_FALSE(std::ifstream(rogueAnswers + ".shown").good()) << "the program's own script was never asked";
  // The machine's own refusal, and a script path a program could plant, refuse as well.
  for (const std::string& setting : {std::string("deny"), std::string("helper"), std::string("script:rogue.jsonl")}) {
    ASSERT_EQ(WriteSetting(kSettingConsentPresenter, setting), S_OK);
    EXPECT_EQ(Run({"grant", "acme", "read", "acme.name", "execute-read", "0", ""})[3],
              std::string(kCancelled) + " none")
        << setting;
  }
}

TEST_F(ReadsTest, EightProgramsReadingAtOnceEachGetTheirOwnAnswer) {
  constexpr int kPrograms = 8;
  for (int i = 0; i < kPrograms; ++i) Answers(i % 2 == 0 ? "{\"answer\":\"allow\"}\n" : "{\"answer\":\"deny\"}\n");
  std::vector<std::unique_ptr<ChildProcess>> programs;
  for (int i = 1; i <= kPrograms; ++i) {
    const std::string section = "racer" + std::to_string(i);
    programs.push_back(std::make_unique<ChildProcess>(std::vector<std::string>{Partner(section), "grant", section,
                                                                               "read", "common.city,common.country",
                                                                               "execute-read", "0", section, "count"}));
  }
  int allowed = 0;
  int refused = 0;
  for (auto& program : programs) {
    std::string output;
    EXPECT_EQ(program->Finish(&output), 0);
    if (output.find("execute-read: 0x00000000 collection\ncount: 0x00000000 2") != std::string::npos) ++allowed;
    if (output.find("execute-read: " + std::string(kCancelled)) != std::string::npos) ++refused;
  }
  EXPECT_EQ(allowed, kPrograms / 2);
  EXPECT_EQ(refused, kPrograms / 2);
  std::set<int64_t> lines;
  for (const JsonValue& record : Shown()) {
    ASSERT_NE(record.Find("answerLine"), nullptr);
    lines.insert(record.Find("answerLine")->integer());
    EXPECT_EQ(record.Find("texts")->Find("207")->text().substr(0, 6), "Racer ");
  }
  EXPECT_EQ(lines.size(), static_cast<size_t>(kPrograms)) << "every answer line used once";
}

}  // namespace
}  // namespace lumora::testing
