// The consent presenters: the scripted one on real files, shared by several processes,
// and the terminal one on a real pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "platform/ui/consent_json.h"
#include "platform/ui/deny_presenter.h"
#include "platform/ui/script_presenter.h"
#include "platform/ui/terminal_presenter.h"
#include "tests/support/temp_home.h"

namespace lumora {
namespace {

ConsentDialogModel ReadDialog(std::vector<std::vector<std::string>> rows) {
  ConsentDialogModel model;
  model.kind = ConsentKind::kRead;
  model.caption = "Lumora Profile Request";
  model.texts = {
      {206, "Please share"}, {207, "Acme Ltd has requested"}, {202, "What is Lumora?"}, {1, "Allow"}, {2, "Deny"}};
  model.columns = {{"Field Name", 200}, {"Value", 200}};
  model.rows = std::move(rows);
  model.explanationCaption = "What is Lumora?";
  model.explanation = "It explains.";
  return model;
}

// The share-status buttons of a write dialog, as its logic would act: rows of array
// elements (marked "[]" in their first cell) keep their status.
class ShareButtons : public ConsentDialogActions {
 public:
  explicit ShareButtons(std::vector<std::vector<std::string>> rows) : m_rows(std::move(rows)) {}
  void PressShareButton(const std::vector<size_t>& selectedRows, bool shared) override {
    presses.emplace_back(selectedRows, shared);
    for (const size_t row : selectedRows) {
      if (m_rows[row][0] != "[]") m_rows[row][2] = shared ? "Shared" : "Private";
    }
  }
  std::vector<std::vector<std::string>> CurrentRows() const override { return m_rows; }
  std::vector<std::pair<std::vector<size_t>, bool>> presses;

 private:
  std::vector<std::vector<std::string>> m_rows;
};

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

JsonValue Record(const std::string& line) {
  const std::optional<JsonValue> value = ParseJson(line);
  EXPECT_TRUE(value) << line;
  return value.value_or(JsonValue());
}

class ScriptPresenterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_home = std::make_unique<testing::TempHome>();
    m_path = m_home->path() + "/answers.jsonl";
  }
  void Answers(const std::string& text) { std::ofstream(m_path) << text; }
  std::vector<std::string> Shown() { return Lines(m_path + ".shown"); }

  std::unique_ptr<testing::TempHome> m_home;
  std::string m_path;
};

TEST_F(ScriptPresenterTest, EachDialogTakesTheNextAnswerAndIsRecordedWhole) {
  Answers("{\"answer\":\"allow\"}\n\n   \n{\"answer\":\"close\"}\n{\"answer\":\"deny\"}");  // no final newline
  ScriptConsentPresenter presenter(m_path);
  const ConsentDialogModel model = ReadDialog({{"Name", "Ann \"the\" tab\there"}, {"Age", "42"}});
  EXPECT_EQ(presenter.Present(model, nullptr), ConsentAnswer::kAllow);
  EXPECT_EQ(presenter.Present(ReadDialog({}), nullptr), ConsentAnswer::kAllow) << "nothing asked, nothing recorded";
  EXPECT_EQ(presenter.Present(model, nullptr), ConsentAnswer::kClose) << "blank lines are no answers";
  EXPECT_EQ(ScriptConsentPresenter(m_path).Present(model, nullptr), ConsentAnswer::kDeny) << "a new presenter goes on";
  EXPECT_EQ(presenter.Present(model, nullptr), ConsentAnswer::kDeny) << "no line left";

  const std::vector<std::string> shown = Shown();
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0],
            R"({"kind":"read","caption":"Lumora Profile Request","texts":{"206":"Please share","207":"Acme Ltd has )"
            R"(requested","202":"What is Lumora?","1":"Allow","2":"Deny"},"columns":[{"header":"Field Name","width":)"
            R"(200},{"header":"Value","width":200}],"rows":[["Name","Ann \"the\" tab\there"],["Age","42"]],)"
            R"("answer":"allow","answerLine":1})");
  EXPECT_EQ(Record(shown[1]).Find("answer")->text(), "close");
  EXPECT_EQ(Record(shown[2]).Find("answerLine")->integer(), 3);
  const JsonValue last = Record(shown[3]);
  EXPECT_EQ(last.Find("answer")->text(), "deny");
  EXPECT_EQ(last.Find("error")->text(), "no answer line left");
  EXPECT_EQ(last.Find("answerLine"), nullptr);
}

TEST_F(ScriptPresenterTest, AWriteDialogsActionsRunThroughItsOwnLogicBeforeTheAnswer) {
  Answers(R"({"actions":[{"select":[0,2],"press":"private"},{"select":[1],"press":"shared"}],"answer":"allow"})"
          "\n"
          R"({"actions":[{"select":[3],"press":"private"}],"answer":"allow"})"
          "\n"
          R"({"actions":[{"select":[0],"press":"private"}],"answer":"allow"})"
          "\n");
  ConsentDialogModel model = ReadDialog({{"Name", "Ann", "Shared"}, {"Age", "42", "Private"}, {"[]", "x", ""}});
  model.kind = ConsentKind::kWrite;
  model.columns.push_back({"Share Status", 75});
  ShareButtons buttons(model.rows);
  ScriptConsentPresenter presenter(m_path);
  EXPECT_EQ(presenter.Present(model, &buttons), ConsentAnswer::kAllow);
  EXPECT_EQ(buttons.presses.size(), 2u);
  const JsonValue first = Record(Shown()[0]);
  EXPECT_EQ(first.Find("kind")->text(), "write");
  EXPECT_EQ(WriteJson(*first.Find("rows")), R"([["Name","Ann","Private"],["Age","42","Shared"],["[]","x",""]])")
      << "the rows as the actions left them";

  // A row the dialog does not have: nothing is pressed, and the dialog is refused.
  EXPECT_EQ(presenter.Present(model, &buttons), ConsentAnswer::kDeny);
  EXPECT_EQ(buttons.presses.size(), 2u);
  EXPECT_EQ(Record(Shown()[1]).Find("error")->text(), "an action selects a row the dialog does not have");
  // Actions meant for a write dialog refuse a read dialog.
  EXPECT_EQ(presenter.Present(ReadDialog({{"Name", "Ann"}}), nullptr), ConsentAnswer::kDeny);
}

TEST_F(ScriptPresenterTest, BadAnswerLinesAndFilesRefuse) {
  Answers("{\"answer\":\"allow\"\n{\"answer\":\"allow\",\"as\":\"admin\"}\nallow\n{\"answer\":\"allow\"}\n");
  ScriptConsentPresenter presenter(m_path);
  const ConsentDialogModel model = ReadDialog({{"Name", "Ann"}});
  EXPECT_EQ(presenter.Present(model, nullptr), ConsentAnswer::kDeny);
  EXPECT_EQ(presenter.Present(model, nullptr), ConsentAnswer::kDeny);
  EXPECT_EQ(presenter.Present(model, nullptr), ConsentAnswer::kDeny);
  EXPECT_EQ(presenter.Present(model, nullptr), ConsentAnswer::kAllow) << "a bad line uses up only its own dialog";

  // No answer file at all.
  EXPECT_EQ(ScriptConsentPresenter(m_home->path() + "/none.jsonl").Present(model, nullptr), ConsentAnswer::kDeny);
  EXPECT_EQ(Record(Lines(m_home->path() + "/none.jsonl.shown")[0]).Find("error")->text(),
            "the answer file cannot be read");
  // A dialog that cannot be recorded is not answered for the user.
  EXPECT_EQ(ScriptConsentPresenter(m_home->path() + "/no/such/folder/a.jsonl").Present(model, nullptr),
            ConsentAnswer::kDeny);
  // Whoever runs the test: a record file or an answer file that is a folder cannot be used.
  const std::string folders = m_home->path() + "/folders";
  ASSERT_EQ(mkdir(folders.c_str(), 0700), 0);
  ASSERT_EQ(mkdir((folders + "/a.jsonl.shown").c_str(), 0700), 0);
  std::ofstream(folders + "/a.jsonl") << "{\"answer\":\"allow\"}\n";
  EXPECT_EQ(ScriptConsentPresenter(folders + "/a.jsonl").Present(model, nullptr), ConsentAnswer::kDeny);
  ASSERT_EQ(mkdir((folders + "/b.jsonl").c_str(), 0700), 0);
  EXPECT_EQ(ScriptConsentPresenter(folders + "/b.jsonl").Present(model, nullptr), ConsentAnswer::kDeny);
  EXPECT_EQ(Record(Lines(folders + "/b.jsonl.shown")[0]).Find("error")->text(), "the answer file cannot be read");
  if (geteuid() != 0) {
    const std::string locked = m_home->path() + "/locked";
    ASSERT_EQ(mkdir(locked.c_str(), 0700), 0);
    std::ofstream(locked + "/a.jsonl") << "{\"answer\":\"allow\"}\n";
    chmod(locked.c_str(), 0500);
    EXPECT_EQ(ScriptConsentPresenter(locked + "/a.jsonl").Present(model, nullptr), ConsentAnswer::kDeny);
    chmod(locked.c_str(), 0700);
    // A record file that cannot be read, or answers that cannot be read.
    std::ofstream(locked + "/a.jsonl.shown").close();
    chmod((locked + "/a.jsonl.shown").c_str(), 0200);
    EXPECT_EQ(ScriptConsentPresenter(locked + "/a.jsonl").Present(model, nullptr), ConsentAnswer::kDeny);
    chmod((locked + "/a.jsonl.shown").c_str(), 0600);
    chmod((locked + "/a.jsonl").c_str(), 0);
    EXPECT_EQ(ScriptConsentPresenter(locked + "/a.jsonl").Present(model, nullptr), ConsentAnswer::kDeny);
    chmod((locked + "/a.jsonl").c_str(), 0600);
    EXPECT_EQ(ScriptConsentPresenter(locked + "/a.jsonl").Present(model, nullptr), ConsentAnswer::kDeny)
        << "the unreadable answers used up the only line";
  }
}

TEST_F(ScriptPresenterTest, ATornOrEmptiedRecordFileKeepsTheCount) {
  Answers("{\"answer\":\"deny\"}\n{\"answer\":\"allow\"}\n{\"answer\":\"close\"}\n");
  const ConsentDialogModel model = ReadDialog({{"Name", "Ann"}});
  // A writer died in the middle of its record: its dialog used the first line.
  std::ofstream(m_path + ".shown") << "{\"kind\":\"read\",\"capt";
  ScriptConsentPresenter presenter(m_path);
  EXPECT_EQ(presenter.Present(model, nullptr), ConsentAnswer::kAllow);
  std::vector<std::string> shown = Shown();
  ASSERT_EQ(shown.size(), 2u) << "the fragment is ended, not glued to";
  EXPECT_EQ(shown[0], "{\"kind\":\"read\",\"capt");
  EXPECT_EQ(Record(shown[1]).Find("answerLine")->integer(), 2);
  // Emptied: counting starts again.
  std::ofstream(m_path + ".shown", std::ios::trunc).close();
  EXPECT_EQ(presenter.Present(model, nullptr), ConsentAnswer::kDeny);
}

TEST_F(ScriptPresenterTest, ADialogTooLongForALineIsRefusedAndStillCounted) {
  Answers("{\"answer\":\"allow\"}\n{\"answer\":\"allow\"}\n");
  ScriptConsentPresenter presenter(m_path);
  std::vector<std::vector<std::string>> rows;
  for (int i = 0; i < 1100; ++i) rows.push_back({"Field " + std::to_string(i), std::string(1006, 'x')});
  EXPECT_EQ(presenter.Present(ReadDialog(rows), nullptr), ConsentAnswer::kDeny);
  EXPECT_EQ(presenter.Present(ReadDialog({{"Name", "Ann"}}), nullptr), ConsentAnswer::kAllow);
  const std::vector<std::string> shown = Shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_LE(shown[0].size(), kMaxConsentLineLength);
  EXPECT_EQ(Record(shown[0]).Find("error")->text(), "the dialog is longer than a line may be");
  EXPECT_EQ(Record(shown[1]).Find("answerLine")->integer(), 2);
}

TEST_F(ScriptPresenterTest, EightProcessesAtOnceUseEachAnswerLineOnce) {
  constexpr int kProcesses = 8;
  constexpr int kDialogs = 6;
  std::string answers;
  for (int i = 0; i < kProcesses * kDialogs; ++i)
    answers += i % 3 == 0 ? "{\"answer\":\"deny\"}\n" : "{\"answer\":\"allow\"}\n";
  Answers(answers);
  // Long rows, so that a record is written in more than one piece if it ever were.
  const ConsentDialogModel model = ReadDialog({{"Name", std::string(200000, 'n')}});
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ScriptConsentPresenter presenter(m_path);
      for (int d = 0; d < kDialogs; ++d) presenter.Present(model, nullptr);
      _exit(0);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::map<int64_t, std::string> used;
  for (const std::string& line : Shown()) {
    const JsonValue record = Record(line);
    ASSERT_NE(record.Find("answerLine"), nullptr) << line.substr(0, 200);
    EXPECT_TRUE(used.emplace(record.Find("answerLine")->integer(), record.Find("answer")->text()).second);
  }
  ASSERT_EQ(used.size(), static_cast<size_t>(kProcesses * kDialogs));
  for (const auto& [line, answer] : used) EXPECT_EQ(answer, (line - 1) % 3 == 0 ? "deny" : "allow") << line;
}

TEST_F(ScriptPresenterTest, AWriterKilledInTheMiddleLeavesWholeRecordsAndTheCount) {
  std::string answers;
  for (int i = 0; i < 400; ++i) answers += "{\"answer\":\"allow\"}\n";
  Answers(answers);
  const ConsentDialogModel big = ReadDialog({{"Name", std::string(900000, 'n')}});
  const pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    ScriptConsentPresenter presenter(m_path);
    for (;;) presenter.Present(big, nullptr);
  }
  // Killed once it has written something, most likely in the middle of a record.
  for (int tries = 0; tries < 2000; ++tries) {
    struct stat info {};
    if (stat((m_path + ".shown").c_str(), &info) == 0 && info.st_size > 3000000) break;
    usleep(1000);
  }
  kill(writer, SIGKILL);
  waitpid(writer, nullptr, 0);

  std::ifstream in(m_path + ".shown", std::ios::binary);
  const std::string before((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const bool torn = !before.empty() && before.back() != '\n';
  const int64_t recorded = std::count(before.begin(), before.end(), '\n') + (torn ? 1 : 0);
  ASSERT_GT(recorded, 0);
  EXPECT_EQ(ScriptConsentPresenter(m_path).Present(ReadDialog({{"Name", "Ann"}}), nullptr), ConsentAnswer::kAllow);
  const std::vector<std::string> shown = Shown();
  ASSERT_EQ(static_cast<int64_t>(shown.size()), recorded + 1) << "a torn record is ended, never glued to";
  for (size_t i = 0; i + 2 < shown.size(); ++i) EXPECT_TRUE(ParseJson(shown[i])) << "record " << i << " is whole";
  EXPECT_EQ(Record(shown.back()).Find("answerLine")->integer(), recorded + 1);
}

TEST(DenyPresenterTest, RefusesWhatItIsAsked) {
  DenyConsentPresenter presenter;
  EXPECT_EQ(presenter.Present(ReadDialog({{"Name", "Ann"}}), nullptr), ConsentAnswer::kDeny);
  EXPECT_EQ(presenter.Present(ReadDialog({}), nullptr), ConsentAnswer::kAllow);
}

TEST(TerminalDrawingTest, TheDialogIsDrawnAsTextThatCannotRewriteTheScreen) {
  EXPECT_EQ(TerminalSafeText("a\x1b[2J\x1b]0;title\x07z", false), "a\xEF\xBF\xBD[2J\xEF\xBF\xBD]0;title\xEF\xBF\xBDz");
  EXPECT_EQ(TerminalSafeText("line\nnext\ttab\r", true), "line\nnext tab ");
  EXPECT_EQ(TerminalSafeText("c1 \xC2\x9B"
                             "1m bidi \xE2\x80\xAE"
                             "evil bad \xFF",
                             false),
            "c1 \xEF\xBF\xBD"
            "1m bidi \xEF\xBF\xBD"
            "evil bad \xEF\xBF\xBD");
  EXPECT_EQ(FitToWidth("abcdef", 6), "abcdef");
  EXPECT_EQ(FitToWidth("abcdefg", 6), "abcde\xE2\x80\xA6");
  EXPECT_EQ(FitToWidth("\xC3\xA9\xC3\xA9\xC3\xA9", 2), "\xC3\xA9\xE2\x80\xA6") << "cut between characters";

  ConsentDialogModel model = ReadDialog({{"Name", std::string(100, 'v')}, {"Evil\x1b[H", "fake\nrow"}});
  model.texts[0].second = "first line\nsecond line";
  const std::string drawn = DrawConsentDialog(model, model.rows, 60);
  EXPECT_NE(drawn.find("== Lumora Profile Request ="), std::string::npos);
  EXPECT_NE(drawn.find("first line\nsecond line\n"), std::string::npos);
  EXPECT_NE(drawn.find("Acme Ltd has requested"), std::string::npos);
  EXPECT_NE(drawn.find("Field Name"), std::string::npos);
  EXPECT_NE(drawn.find("[Allow (a)]"), std::string::npos);
  EXPECT_NE(drawn.find("[Deny (d)]"), std::string::npos);
  EXPECT_NE(drawn.find("[What is Lumora? (w)]"), std::string::npos);
  EXPECT_EQ(drawn.find('\x1b'), std::string::npos);
  EXPECT_NE(drawn.find("fake row"), std::string::npos) << "a value stays on its row";
  std::istringstream lines(drawn);
  for (std::string line; std::getline(lines, line);) {
    size_t characters = 0;
    for (const char c : line) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    EXPECT_LE(characters, 60u) << line;
  }
  EXPECT_NE(drawn.find("vvv\xE2\x80\xA6"), std::string::npos) << "a long value ends with an ellipsis";
}

// A pseudo-terminal whose other end the test types on.
class TerminalPresenterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0) GTEST_SKIP() << "this machine gives no pseudo-terminal";
    ASSERT_EQ(grantpt(m_master), 0);
    ASSERT_EQ(unlockpt(m_master), 0);
    m_slave = ptsname(m_master);
  }
  void TearDown() override {
    if (m_master >= 0) close(m_master);
  }
  // Reads what the presenter drew until `text` appears. While the presenter has the
  // terminal closed (between dialogs) the master reads fail; it is asked again.
  std::string ReadUntil(const std::string& text) {
    std::string seen;
    char buffer[4096];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (seen.find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "never saw " << text << " in " << seen;
        break;
      }
      pollfd ready{m_master, POLLIN, 0};
      if (poll(&ready, 1, 50) <= 0) continue;
      const ssize_t got = read(m_master, buffer, sizeof buffer);
      if (got <= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        continue;
      }
      seen.append(buffer, static_cast<size_t>(got));
    }
    return seen;
  }
  // The presenter's answer; a presenter that does not answer in time has its terminal
  // closed, which ends it.
  ConsentAnswer AnswerOf(std::future<ConsentAnswer>& answer) {
    if (answer.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      ADD_FAILURE() << "no answer";
      close(m_master);
      m_master = -1;
    }
    return answer.get();
  }
  void Type(const std::string& text) {
    ASSERT_EQ(write(m_master, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }

  int m_master = -1;
  std::string m_slave;
};

TEST_F(TerminalPresenterTest, TheUserAnswersOnTheTerminal) {
  const ConsentDialogModel model = ReadDialog({{"Name", "Ann"}});
  TerminalConsentPresenter presenter(m_slave);
  // Typed before the question is on the screen: no answer.
  Type("a\n");
  auto answer = std::async(std::launch::async, [&] { return presenter.Present(model, nullptr); });
  std::string drawn = ReadUntil("> ");
  EXPECT_NE(drawn.find("Acme Ltd has requested"), std::string::npos);
  Type("maybe\n");
  drawn = ReadUntil("> ");
  EXPECT_NE(drawn.find("Please answer"), std::string::npos);
  Type("w\n");
  drawn = ReadUntil("> ");
  EXPECT_NE(drawn.find("It explains."), std::string::npos);
  Type("d\n");
  EXPECT_EQ(AnswerOf(answer), ConsentAnswer::kDeny);

  answer = std::async(std::launch::async, [&] { return presenter.Present(model, nullptr); });
  ReadUntil("> ");
  Type("  a \n");
  EXPECT_EQ(AnswerOf(answer), ConsentAnswer::kAllow);

  EXPECT_EQ(TerminalConsentPresenter("/nonexistent/terminal").Present(model, nullptr), ConsentAnswer::kDeny);
}

TEST_F(TerminalPresenterTest, AWriteDialogSetsRowsPrivateOrSharedByNumber) {
  ConsentDialogModel model = ReadDialog({{"Name", "Ann", "Shared"}, {"Age", "42", "Shared"}});
  model.kind = ConsentKind::kWrite;
  model.columns.push_back({"Share Status", 75});
  ShareButtons buttons(model.rows);
  TerminalConsentPresenter presenter(m_slave);
  auto answer = std::async(std::launch::async, [&] { return presenter.Present(model, &buttons); });
  ReadUntil("> ");
  Type("p 1,2\n");
  std::string drawn = ReadUntil("> ");
  EXPECT_NE(drawn.find("Private"), std::string::npos) << "drawn again with the new statuses";
  Type("s 3\n");  // no such row
  ReadUntil("> ");
  Type("s 2\n");
  ReadUntil("> ");
  Type("a\n");
  EXPECT_EQ(AnswerOf(answer), ConsentAnswer::kAllow);
  ASSERT_EQ(buttons.presses.size(), 2u);
  EXPECT_EQ(buttons.presses[0], (std::pair<std::vector<size_t>, bool>{{0, 1}, false}));
  EXPECT_EQ(buttons.presses[1], (std::pair<std::vector<size_t>, bool>{{1}, true}));
}

TEST_F(TerminalPresenterTest, AClosedTerminalClosesTheDialog) {
  const ConsentDialogModel model = ReadDialog({{"Name", "Ann"}});
  TerminalConsentPresenter presenter(m_slave);
  auto answer = std::async(std::launch::async, [&] { return presenter.Present(model, nullptr); });
  ReadUntil("> ");
  close(m_master);
  m_master = -1;
  EXPECT_EQ(AnswerOf(answer), ConsentAnswer::kClose);
}

}  // namespace
}  // namespace lumora
