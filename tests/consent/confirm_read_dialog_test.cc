// The read consent dialog's content and logic, its list, and the machine's choice of who
// answers it: shown through the real scripted presenter, chosen through the real
// settings service.
#include "consent/confirm_read_dialog.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "common/settings_client.h"
#include "consent/consent_presenter_choice.h"
#include "platform/ui/json_value.h"
#include "platform/ui/script_presenter.h"
#include "tests/support/services_fixture.h"

namespace lumora {
namespace {

std::vector<std::unique_ptr<PRDisplayReadItem>> Rows(const std::vector<std::pair<std::string, std::string>>& pairs) {
  std::vector<std::unique_ptr<PRDisplayReadItem>> rows;
  for (const auto& [field, text] : pairs)
    rows.push_back(std::make_unique<PRDisplayReadItem>(PRDisplayReadItem{field, text}));
  return rows;
}

class ConfirmReadDialogTest : public testing::ServicesTest {
 protected:
  void SetUp() override {
    ServicesTest::SetUp();
    m_answers = m_home->path() + "/answers.jsonl";
  }
  void Answers(const std::string& text) { std::ofstream(m_answers) << text; }
  std::vector<JsonValue> Shown() {
    std::vector<JsonValue> shown;
    std::ifstream in(m_answers + ".shown");
    for (std::string line; std::getline(in, line);) shown.push_back(ParseJson(line).value_or(JsonValue()));
    return shown;
  }

  std::string m_answers;
};

TEST_F(ConfirmReadDialogTest, TheDialogNamesTheCompanyAndShowsTheMessageAndOneRowPerVariable) {
  Answers("{\"answer\":\"allow\"}\n");
  ScriptConsentPresenter presenter(m_answers);
  CConfirmReadDialog dialog(Rows({{"Name", "Ann"}, {"Birthday", "1/2/1990"}}), "Acme $(CompanyName) Ltd", nullptr,
                            "Read this, $(CompanyName)?");
  EXPECT_EQ(dialog.DoModal(presenter), IDOK);
  const std::vector<JsonValue> shown = Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(WriteJson(shown[0]),
            R"({"kind":"read","caption":"Lumora Profile Request","texts":{"206":"Read this, $(CompanyName)?",)"
            R"("207":"Acme $(CompanyName) Ltd has requested the information listed below from your Lumora )"
            R"(Relationship Settings.  If you would like to allow Acme $(CompanyName) Ltd to read this information, )"
            R"(plase click on the \"Allow\" button.","208":" ","202":"What is Lumora?","1":"Allow","2":"Deny"},)"
            R"("columns":[{"header":"Field Name","width":200},{"header":"Value","width":200}],)"
            R"("rows":[["Name","Ann"],["Birthday","1/2/1990"]],"answer":"allow","answerLine":1})")
      << "both occurrences replaced, the company's own text not searched again, the message left as it is";
  EXPECT_EQ(dialog.Model().explanationCaption, "What is Lumora?");
  EXPECT_EQ(dialog.Model().explanation.substr(0, 40), "Lumora is designed to deliver technical ");
  EXPECT_NE(dialog.Model().explanation.find("\n\nLumora accomplishes this through partnerships"), std::string::npos);
  EXPECT_EQ(dialog.Model().explanation.back(), ' ') << "string 110 follows string 109";
}

TEST_F(ConfirmReadDialogTest, DenyAndCloseCancelAndAnEmptyListAllowsWithoutAsking) {
  Answers("{\"answer\":\"deny\"}\n{\"answer\":\"close\"}\n");
  ScriptConsentPresenter presenter(m_answers);
  EXPECT_EQ(CConfirmReadDialog(Rows({{"Name", "Ann"}}), "Acme", nullptr, "").DoModal(presenter), IDCANCEL);
  EXPECT_EQ(CConfirmReadDialog(Rows({}), "Acme", nullptr, "").DoModal(presenter), IDOK);
  EXPECT_EQ(CConfirmReadDialog(Rows({{"Name", "Ann"}}), "Acme", nullptr, "").DoModal(presenter), IDCANCEL);
  EXPECT_EQ(Shown().size(), 2u) << "the empty dialog was never shown";
}

TEST_F(ConfirmReadDialogTest, ACellShowsAtMost260Characters) {
  Answers("{\"answer\":\"allow\"}\n");
  ScriptConsentPresenter presenter(m_answers);
  std::string value;
  for (int i = 0; i < 300; ++i) value += "\xC3\xA9";  // two bytes each
  CConfirmReadDialog dialog(Rows({{"Long", value}}), "Acme", nullptr, "");
  dialog.DoModal(presenter);
  EXPECT_EQ(dialog.Model().rows[0][1], value.substr(0, 520));
}

// The read list on its own: ownership of its rows, selection, refilling.
TEST(ConfirmReadListCtrlTest, TheListOwnsItsRowsAndKeepsTheSelectionOfThoseThatStay) {
  CConfirmReadListCtrl list;
  const int widths[] = {200, 200, 50};
  EXPECT_FALSE(list.SetupColumns(3, widths, 101 + 16)) << "a header string the table lacks";
  CConfirmReadListCtrl columns;
  EXPECT_TRUE(columns.SetupColumns(2, widths, 101));
  EXPECT_EQ(columns.Columns()[1].header, "Value");

  auto first = std::make_unique<PRDisplayReadItem>(PRDisplayReadItem{"A", "1"});
  auto second = std::make_unique<PRDisplayReadItem>(PRDisplayReadItem{"B", "2"});
  auto third = std::make_unique<PRDisplayReadItem>(PRDisplayReadItem{"C", "3"});
  PRDisplayReadItem* a = first.get();
  PRDisplayReadItem* b = second.get();
  PRDisplayReadItem* c = third.get();
  list.AppendReadRow(std::move(first));
  list.AppendReadRow(std::move(second));
  list.AppendReadRow(std::move(third));
  EXPECT_EQ(list.GetCellText(b, 1, 0), "B");
  EXPECT_EQ(list.GetCellText(b, 1, 1), "2");
  EXPECT_EQ(list.GetCellText(b, 1, 2), "");
  list.SetItemSelected(2, true);
  list.SetItemSelected(0, true);
  std::vector<COurListCtrl::ItemData> selected;
  EXPECT_EQ(list.GetSelectedItems(&selected), 2);
  EXPECT_EQ(selected, (std::vector<COurListCtrl::ItemData>{a, c})) << "in row order";

  // Shown again in another order without a: a is freed, c stays selected, b does not.
  list.Refill({c, b});
  ASSERT_EQ(list.GetItemCount(), 2u);
  EXPECT_EQ(list.GetItemData(0), c);
  EXPECT_TRUE(list.IsItemSelected(0));
  EXPECT_FALSE(list.IsItemSelected(1));
  EXPECT_EQ(list.GetCellText(c, 0, 1), "3") << "rows shown again are not freed";

  COurListCtrl base;
  EXPECT_EQ(base.GetSelectedItems(&selected), -1);
  EXPECT_FALSE(base.ColumnHasIcon(0));
}

class PresenterChoiceTest : public testing::ServicesTest {
 protected:
  // Runs one read dialog in a child process without a controlling terminal and returns
  // whether it was allowed.
  static bool AllowedWithoutTerminal(const std::string& setting) {
    if (!setting.empty()) {
      EXPECT_EQ(WriteSetting(kSettingConsentPresenter, setting), S_OK);
    }
    const pid_t pid = fork();
    if (pid == 0) {
      setsid();
      const int result = CConfirmReadDialog(Rows({{"Name", "Ann"}}), "Acme", nullptr, "").DoModal();
      _exit(result == IDOK ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
};

TEST_F(PresenterChoiceTest, TheSettingNamesThePresenterAndAnythingElseRefuses) {
  using Kind = ConsentPresenterSetting::Kind;
  EXPECT_EQ(ParseConsentPresenterSetting("")->kind, Kind::kAuto);
  EXPECT_EQ(ParseConsentPresenterSetting("auto")->kind, Kind::kAuto);
  EXPECT_EQ(ParseConsentPresenterSetting("terminal")->kind, Kind::kTerminal);
  EXPECT_EQ(ParseConsentPresenterSetting("helper")->kind, Kind::kHelper);
  EXPECT_EQ(ParseConsentPresenterSetting("deny")->kind, Kind::kDeny);
  EXPECT_EQ(ParseConsentPresenterSetting("script:/var/x.jsonl")->scriptPath, "/var/x.jsonl");
  for (const char* bad : {"script:", "script:answers.jsonl", "script:./a", "Auto", "allow", " deny", "script /a"}) {
    EXPECT_FALSE(ParseConsentPresenterSetting(bad)) << bad;
  }

  const std::string answers = m_home->path() + "/answers.jsonl";
  std::ofstream(answers) << "{\"answer\":\"allow\"}\n{\"answer\":\"allow\"}\n";
  EXPECT_TRUE(AllowedWithoutTerminal("script:" + answers));
  EXPECT_FALSE(AllowedWithoutTerminal("script:answers.jsonl")) << "found from the program's own folder: refused";
  EXPECT_FALSE(AllowedWithoutTerminal("deny"));
  EXPECT_FALSE(AllowedWithoutTerminal("something else"));
  // Nobody to ask: no helper program yet, no terminal.
  EXPECT_FALSE(AllowedWithoutTerminal("helper"));
  EXPECT_FALSE(AllowedWithoutTerminal("terminal"));
  EXPECT_FALSE(AllowedWithoutTerminal("auto"));
  EXPECT_TRUE(AllowedWithoutTerminal("script:" + answers)) << "read again for every dialog";
}

TEST_F(PresenterChoiceTest, WithoutTheSettingOrTheServiceNobodyAnswersWithoutATerminal) {
  EXPECT_FALSE(AllowedWithoutTerminal(""));  // never set: auto
  const std::string answers = m_home->path() + "/answers.jsonl";
  std::ofstream(answers) << "{\"answer\":\"allow\"}\n{\"answer\":\"allow\"}\n";
  EXPECT_TRUE(AllowedWithoutTerminal("script:" + answers));
  // The same machine state, but the settings service cannot be had: refused.
  testing::TempHome withoutServices;
  EXPECT_FALSE(AllowedWithoutTerminal(""));
}

TEST(PresenterSeamTest, NoClientOfTheComponentCanPutAPresenterInPlace) {
  void* component = dlopen(LUMORA_COMPONENT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(component, nullptr) << dlerror();
  EXPECT_NE(dlsym(component, "_ZN6lumora23MachineConsentPresenterEv"), nullptr) << "the names below are right";
  EXPECT_EQ(dlsym(component, "_ZN6lumora27SetConsentPresenterForTestsEPNS_16ConsentPresenterE"), nullptr);
  dlclose(component);
}

}  // namespace
}  // namespace lumora
