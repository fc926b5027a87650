// The consent dialog program as the component meets it: the real lumora-consent on
// Qt's offscreen platform, fed a dialog object on its input and driven by key and mouse
// steps, its answer read from its output and the list as drawn checked from its dumps.
// Pictures of the dialogs are kept under the build folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/ui/consent_json.h"
#include "tests/support/temp_home.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

struct HelperRun {
  int status = -1;
  std::string answer;            // standard output
  std::vector<JsonValue> dumps;  // the list as drawn, at each "dump" step
  std::string errors;            // everything else on standard error
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class ConsentHelperTest : public ::testing::Test {
 protected:
  // Runs the program with `input` on its standard input and the steps to play.
  HelperRun Run(const std::string& input, const std::vector<std::string>& steps) {
    const std::string in = m_home.path() + "/dialog.json";
    const std::string stepsFile = m_home.path() + "/steps";
    const std::string out = m_home.path() + "/answer";
    const std::string err = m_home.path() + "/errors";
    std::ofstream(in, std::ios::binary) << input;
    {
      std::ofstream file(stepsFile);
      for (const std::string& step : steps) file << step << "\n";
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int input = ::open(in.c_str(), O_RDONLY);
      const int output = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int errors = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(input, 0);
      ::dup2(output, 1);
      ::dup2(errors, 2);
      ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
      ::setenv("XDG_RUNTIME_DIR", m_home.path().c_str(), 1);
      ::execl(LUMORA_CONSENT_HELPER, LUMORA_CONSENT_HELPER, "--steps-file", stepsFile.c_str(), nullptr);
      ::_exit(127);
    }
    HelperRun run;
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.answer = ReadFile(out);
    std::istringstream lines(ReadFile(err));
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("dump ", 0) == 0) {
        std::optional<JsonValue> dump = ParseJson(line.substr(5));
        EXPECT_TRUE(dump.has_value()) << line;
        if (dump) run.dumps.push_back(std::move(*dump));
      } else {
        run.errors += line + "\n";
      }
    }
    return run;
  }

  static std::string Dialog(const ConsentDialogModel& model) {
    return WriteJson(ConsentDialogForProgram(model, model.rows)) + "\n";
  }

  // Where the pictures of the dialogs are kept.
  static std::string Picture(const std::string& name) {
    const fs::path folder = fs::path(LUMORA_BUILD_DIR) / "consent-pictures";
    fs::create_directories(folder);
    return (folder / name).string();
  }

  testing::TempHome m_home;
};

ConsentDialogModel ReadModel() {
  ConsentDialogModel model;
  model.kind = ConsentKind::kRead;
  model.caption = "Lumora Profile Request";
  model.texts = {{206, "Acme Planning would like to tailor its advice to you"},
                 {207,
                  "Acme & Sons Ltd has requested the information listed below from your Lumora Relationship "
                  "Settings.  If you would like to allow Acme & Sons Ltd to read this information, plase click on "
                  "the \"Allow\" button."},
                 {208, " "},
                 {202, "What is Lumora?"},
                 {1, "Allow"},
                 {2, "Deny"}};
  model.columns = {{"Field Name", 200}, {"Value", 200}};
  model.rows = {{"Name", "Ann Smith"},
                {"Home & Garden", "Tom & Jerry"},
                {"Address", "12 Long Street, Apartment 7, Bern, Switzerland, a long way from the sea"}};
  model.explanationCaption = "What is Lumora?";
  model.explanation =
      "Lumora is designed to deliver technical support information to you exactly at the moment you need it, "
      "based on your individual computer configuration.\n\nLumora accomplishes this through partnerships with "
      "companies that create messages which will alert you to potential technical problems. ";
  return model;
}

ConsentDialogModel WriteModel() {
  ConsentDialogModel model = ReadModel();
  model.kind = ConsentKind::kWrite;
  model.texts = {{206, "Please confirm your new shoe size"},
                 {207,
                  "Acme would like to make a change to your Lumora Profile. Before saving these changes, please "
                  "take a moment to confirm them."},
                 {-1, "Changes to your Lumora Profile"},
                 {208,
                  "Below are the changes that Acme would like to make to your Lumora Profile.\nTo change an item to "
                  "Private or set it to Shared, select the item and click the appropriate button."},
                 {205, "Set to Private"},
                 {204, "Set to Shared"},
                 {209,
                  "Lumora uses the information in your Profile to determine which Acme messages are relevant to "
                  "you. Allowing us to make these changes to your Profile will let Lumora better filter Acme "
                  "messages for you."},
                 {202, "Tell me more about Lumora and my Lumora Profile..."},
                 {1, "Allow"},
                 {2, "Deny"}};
  model.columns = {{"Field Name", 150}, {"Value", 165}, {"Share Status", 75}};
  // Row 2 is an array element: it has no status of its own and cannot be switched.
  model.rows = {{"Shoe size", "43", "Private"},
                {"City", "Bern", "Shared"},
                {"Tags[x]", "hiking", ""},
                {"Country", "Switzerland", "Private"}};
  model.shareColumn = 2;
  model.switchable = {true, true, false, true};
  model.sharedText = "Shared";
  model.privateText = "Private";
  return model;
}

std::vector<std::string> Column(const JsonValue& dump, size_t column) {
  std::vector<std::string> texts;
  for (const JsonValue& row : dump.Find("rows")->items()) texts.push_back(row.items()[column].text());
  return texts;
}

std::vector<int64_t> Numbers(const JsonValue& dump, const char* name) {
  std::vector<int64_t> numbers;
  for (const JsonValue& item : dump.Find(name)->items()) numbers.push_back(item.integer());
  return numbers;
}

TEST_F(ConsentHelperTest, TheReadDialogEndsAsTheKeysAndButtonsSay) {
  const std::string dialog = Dialog(ReadModel());
  // Enter presses the default button, Allow, from the list where the keyboard starts.
  HelperRun run = Run(dialog, {"picture " + Picture("read.png"), "key Return"});
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.answer, "{\"answer\":\"allow\"}\n");
  EXPECT_TRUE(fs::exists(Picture("read.png")));
  // Escape and the close box close the dialog: Deny to the component.
  EXPECT_EQ(Run(dialog, {"key Escape"}).answer, "{\"answer\":\"close\"}\n");
  EXPECT_EQ(Run(dialog, {"close"}).answer, "{\"answer\":\"close\"}\n");
  EXPECT_EQ(Run(dialog, {"click 2"}).answer, "{\"answer\":\"deny\"}\n");
  // Without a mouse: the tab order is list, "What is Lumora?", Allow, Deny; Space presses.
  EXPECT_EQ(Run(dialog, {"key Tab", "key Tab", "key Tab", "key Space"}).answer, "{\"answer\":\"deny\"}\n");
  EXPECT_EQ(Run(dialog, {"key Tab", "key Tab", "key Space"}).answer, "{\"answer\":\"allow\"}\n");
}

TEST_F(ConsentHelperTest, TheListHighlightsOnlyWhileFocusedAndIgnoresHeaderDoubleAndRightClicks) {
  HelperRun run =
      Run(Dialog(ReadModel()), {"row-click 1", "dump", "focus 1", "dump", "focus 60897", "dump", "header-click 0",
                                "header-click 1", "row-right-click 2", "row-double-click 0", "dump", "key Escape"});
  ASSERT_EQ(run.dumps.size(), 4u) << run.errors;
  EXPECT_EQ(Numbers(run.dumps[0], "selected"), (std::vector<int64_t>{1}));
  EXPECT_EQ(Numbers(run.dumps[0], "highlighted"), (std::vector<int64_t>{1}));
  // Focus on Allow: still selected, drawn in the normal colours.
  EXPECT_EQ(run.dumps[1].Find("focus")->text(), "control-1");
  EXPECT_EQ(Numbers(run.dumps[1], "selected"), (std::vector<int64_t>{1}));
  EXPECT_EQ(Numbers(run.dumps[1], "highlighted"), (std::vector<int64_t>{}));
  // Back in the list: highlighted again.
  EXPECT_EQ(Numbers(run.dumps[2], "highlighted"), (std::vector<int64_t>{1}));
  // No sorting; a right click selects nothing; a double click is a click and no more.
  EXPECT_EQ(Column(run.dumps[3], 0), (std::vector<std::string>{"Name", "Home & Garden", "Address"}));
  EXPECT_EQ(Numbers(run.dumps[3], "selected"), (std::vector<int64_t>{0}));
  EXPECT_EQ(run.dumps[3].Find("dialog")->text(), "read");
  EXPECT_EQ(run.answer, "{\"answer\":\"close\"}\n");
}

TEST_F(ConsentHelperTest, ShareButtonsActLiveOnTheSelectedRowsButNeverOnArrayElements) {
  const std::string dialog = Dialog(WriteModel());
  // Several rows, one of them an element, set private; then one set shared from the
  // keyboard alone (Ctrl+arrows move without selecting, Space selects).
  HelperRun run =
      Run(dialog, {"row-click 0", "row-click 2 ctrl", "row-click 3 ctrl", "click 205", "dump",
                   "picture " + Picture("write.png"), "key Home", "key Down", "key Down ctrl", "key Down ctrl",
                   "key Space", "key Space", "key Up ctrl", "key Space", "click 204", "dump", "key Return"});
  ASSERT_EQ(run.dumps.size(), 2u) << run.errors;
  EXPECT_EQ(Column(run.dumps[0], 2), (std::vector<std::string>{"Private", "Shared", "", "Private"}));
  EXPECT_EQ(run.dumps[0].Find("focus")->text(), "control-60898") << "the button gives the list the focus back";
  EXPECT_EQ(Numbers(run.dumps[0], "highlighted"), (std::vector<int64_t>{0, 2, 3}));
  EXPECT_EQ(Numbers(run.dumps[1], "selected"), (std::vector<int64_t>{1, 2}));
  EXPECT_EQ(Column(run.dumps[1], 2), (std::vector<std::string>{"Private", "Shared", "", "Private"}));
  EXPECT_EQ(run.answer,
            "{\"actions\":[{\"select\":[0,2,3],\"press\":\"private\"},{\"select\":[1,2],\"press\":\"shared\"}],"
            "\"answer\":\"allow\"}\n");

  // A button with no row selected changes nothing and is no action; Deny keeps the
  // buttons pressed before it (the component drops the whole queue anyway).
  run = Run(dialog, {"click 204", "dump", "row-click 1", "click 205", "click 2"});
  ASSERT_EQ(run.dumps.size(), 1u) << run.errors;
  EXPECT_EQ(Column(run.dumps[0], 2), (std::vector<std::string>{"Private", "Shared", "", "Private"}));
  EXPECT_EQ(run.answer, "{\"actions\":[{\"select\":[1],\"press\":\"private\"}],\"answer\":\"deny\"}\n");
}

TEST_F(ConsentHelperTest, TheExplanationOpensOverEitherDialogAndChangesNothing) {
  HelperRun run = Run(Dialog(WriteModel()), {"row-click 3", "click 202", "picture " + Picture("explanation.png"),
                                             "dump", "key Escape", "dump", "click 204", "dump", "key Return"});
  ASSERT_EQ(run.dumps.size(), 3u) << run.errors;
  EXPECT_EQ(run.dumps[0].Find("dialog")->text(), "explanation");
  EXPECT_EQ(run.dumps[1].Find("dialog")->text(), "write") << "Escape closed the explanation only";
  EXPECT_EQ(Column(run.dumps[2], 2), (std::vector<std::string>{"Private", "Shared", "", "Shared"}));
  EXPECT_EQ(run.answer, "{\"actions\":[{\"select\":[3],\"press\":\"shared\"}],\"answer\":\"allow\"}\n");
  EXPECT_TRUE(fs::exists(Picture("explanation.png")));
  // The read dialog's button opens it too; OK closes it.
  run = Run(Dialog(ReadModel()), {"click 202", "dump", "click 1", "dump", "click 2"});
  ASSERT_EQ(run.dumps.size(), 2u) << run.errors;
  EXPECT_EQ(run.dumps[0].Find("dialog")->text(), "explanation");
  EXPECT_EQ(run.dumps[1].Find("dialog")->text(), "read");
  EXPECT_EQ(run.answer, "{\"answer\":\"deny\"}\n");
}

TEST_F(ConsentHelperTest, AnythingButOneDialogIsRefusedWithoutAWindow) {
  const std::string good = Dialog(ReadModel());
  const std::string inputs[] = {
      "",
      "not json",
      good.substr(0, good.size() / 2),
      // an unknown member, a row with a missing cell, a share block on a read dialog
      good.substr(0, good.size() - 2) + ",\"extra\":1}\n",
      R"({"kind":"read","caption":"c","texts":{},"columns":[{"header":"a","width":1}],"rows":[[]],)"
      R"("explanation":{"caption":"","text":""}})",
      R"({"kind":"read","caption":"c","texts":{},"columns":[],"rows":[],"explanation":{"caption":"","text":""},)"
      R"("share":{"column":0,"shared":"S","private":"P","switchable":[]}})",
      std::string(kMaxConsentLineLength + 10, ' '),
      "\xff\xfe{}",
  };
  for (const std::string& input : inputs) {
    const HelperRun run = Run(input, {"key Return"});
    EXPECT_EQ(run.status, 2) << input.substr(0, 80);
    EXPECT_EQ(run.answer, "") << input.substr(0, 80);
  }
  // A dialog without rows asks nothing.
  ConsentDialogModel empty = ReadModel();
  empty.rows.clear();
  EXPECT_EQ(Run(Dialog(empty), {}).answer, "{\"answer\":\"allow\"}\n");
}

}  // namespace
}  // namespace lumora
