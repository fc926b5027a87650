// The helper presenter as the component uses it: the real dialog program started with
// its small environment and driven to an answer, and stand-in programs that fail every
// way a helper can (die, hang, flood, babble, answer for rows that do not exist, never
// read) to show that each refuses the dialog, presses nothing and leaves no child behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "platform/ui/consent_json.h"
#include "platform/ui/helper_presenter.h"
#include "tests/support/temp_home.h"

namespace lumora {
namespace {

using std::chrono::milliseconds;

// The write dialog's logic as far as a presenter sees it: which buttons were pressed.
class RecordingActions : public ConsentDialogActions {
 public:
  void PressShareButton(const std::vector<size_t>& rows, bool shared) override { presses.push_back({rows, shared}); }
  std::vector<std::vector<std::string>> CurrentRows() const override { return rows; }
  std::vector<std::pair<std::vector<size_t>, bool>> presses;
  std::vector<std::vector<std::string>> rows = {{"Size", "43", "Private"}, {"Tags[a]", "x", ""}};
};

ConsentDialogModel WriteDialog() {
  ConsentDialogModel model;
  model.kind = ConsentKind::kWrite;
  model.caption = "Lumora Profile Request";
  model.texts = {{206, "Please"}, {205, "Set to Private"}, {204, "Set to Shared"}, {1, "Allow"}, {2, "Deny"}};
  model.columns = {{"Field Name", 150}, {"Value", 165}, {"Share Status", 75}};
  model.rows = {{"Size", "43", "Private"}, {"Tags[a]", "x", ""}};
  model.explanationCaption = "What is Lumora?";
  model.explanation = "It explains.";
  model.shareColumn = 2;
  model.switchable = {true, false};
  model.sharedText = "Shared";
  model.privateText = "Private";
  return model;
}

class HelperPresenterTest : public ::testing::Test {
 protected:
  // A program made of a shell script.
  std::string Program(const std::string& name, const std::string& body) {
    const std::string path = m_home.path() + "/" + name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    ::chmod(path.c_str(), 0700);
    return path;
  }
  // No child of this process is left, dead or alive.
  static bool NoChildLeft() {
    int status = 0;
    return ::waitpid(-1, &status, WNOHANG) < 0 && errno == ECHILD;
  }

  testing::TempHome m_home;
};

TEST_F(HelperPresenterTest, TheRealProgramIsDrivenToAnAnswerWhoseButtonsActThroughTheDialogsLogic) {
  const std::string steps = m_home.path() + "/steps";
  std::ofstream(steps) << "row-click 0\nrow-click 1 ctrl\nclick 204\nkey Return\n";
  // The presenter starts the program without arguments; the test's stand-in installation
  // names the steps for it.
  const std::string helper =
      Program("lumora-consent", std::string("exec '") + LUMORA_CONSENT_HELPER + "' --steps-file '" + steps + "'");
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  RecordingActions actions;
  ConsentDialogModel model = WriteDialog();
  EXPECT_EQ(HelperConsentPresenter(helper).Present(model, &actions), ConsentAnswer::kAllow);
  ASSERT_EQ(actions.presses.size(), 1u);
  EXPECT_EQ(actions.presses[0].first, (std::vector<size_t>{0, 1}));
  EXPECT_TRUE(actions.presses[0].second);
  EXPECT_TRUE(NoChildLeft());
}

TEST_F(HelperPresenterTest, EveryWayAHelperCanFailRefusesTheDialogAndPressesNothing) {
  const struct {
    const char* name;
    std::string body;
  } kFailures[] = {
      {"dies", "kill -9 $$"},
      {"fails", "cat >/dev/null; echo '{\"answer\":\"allow\"}'; exit 1"},
      {"babbles", "cat >/dev/null; echo 'yes please'"},
      {"two-answers", "cat >/dev/null; echo '{\"answer\":\"allow\"}'; echo '{\"answer\":\"allow\"}'"},
      {"no-newline", "cat >/dev/null; printf '{\"answer\":\"allow\"}'"},
      {"foreign-row",
       "cat >/dev/null; echo '{\"actions\":[{\"select\":[0,7],\"press\":\"shared\"}],\"answer\":\"allow\"}'"},
      {"floods", "head -c 3000000 /dev/zero | tr '\\0' 'a'"},
      {"never-reads", "echo '{\"answer\":\"allow\"}' >/dev/null; exit 0"},
      {"hangs", "exec sleep 30"},
      {"answers-then-hangs", "cat >/dev/null; echo '{\"answer\":\"allow\"}'; exec sleep 30"},
  };
  for (const auto& failure : kFailures) {
    RecordingActions actions;
    const auto started = std::chrono::steady_clock::now();
    HelperConsentPresenter presenter(Program(failure.name, failure.body), milliseconds(700));
    EXPECT_EQ(presenter.Present(WriteDialog(), &actions), ConsentAnswer::kDeny) << failure.name;
    EXPECT_TRUE(actions.presses.empty()) << failure.name;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << failure.name;
    EXPECT_TRUE(NoChildLeft()) << failure.name;
  }
  // A program that is not there, or cannot be run.
  RecordingActions actions;
  EXPECT_EQ(HelperConsentPresenter(m_home.path() + "/absent").Present(WriteDialog(), &actions), ConsentAnswer::kDeny);
  const std::string notRunnable = m_home.path() + "/plain";
  std::ofstream(notRunnable) << "{\"answer\":\"allow\"}\n";
  EXPECT_FALSE(HelperConsentPresenter::Installed(notRunnable));
  EXPECT_EQ(HelperConsentPresenter(notRunnable).Present(WriteDialog(), &actions), ConsentAnswer::kDeny);
  EXPECT_TRUE(NoChildLeft());
  // A folder is searchable, not runnable, and a link that leads round in a circle leads
  // nowhere: neither is an installed helper, so that `auto` falls back to the terminal
  // instead of refusing every dialog.
  const std::string folder = m_home.path() + "/lumora-consent.d";
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  EXPECT_FALSE(HelperConsentPresenter::Installed(folder));
  const std::string loop = m_home.path() + "/loop";
  ASSERT_EQ(::symlink(loop.c_str(), loop.c_str()), 0);
  EXPECT_FALSE(HelperConsentPresenter::Installed(loop));
  EXPECT_EQ(HelperConsentPresenter(folder).Present(WriteDialog(), &actions), ConsentAnswer::kDeny);
  EXPECT_TRUE(NoChildLeft());
}

TEST_F(HelperPresenterTest, AHelperThatQuitsEarlyCannotKillTheCallerWithSigPipe) {
  // A dialog much larger than a pipe holds, and a helper that reads none of it.
  ConsentDialogModel model = WriteDialog();
  RecordingActions actions;
  for (int i = 0; i < 4000; ++i)
    actions.rows.push_back({"Field " + std::to_string(i), std::string(100, 'v'), "Shared"});
  model.rows = actions.rows;
  model.switchable.assign(model.rows.size(), true);
  const std::string helper = Program("quits", "exit 0");
  EXPECT_EQ(HelperConsentPresenter(helper).Present(model, &actions), ConsentAnswer::kDeny);
  sigset_t pending;
  sigpending(&pending);
  EXPECT_FALSE(sigismember(&pending, SIGPIPE)) << "no SIGPIPE left waiting for the caller";
}

TEST_F(HelperPresenterTest, AHostThatIgnoresSigChldStillGetsItsAnswer) {
  // Such a host's children are reaped by the system; the answer alone must decide.
  struct sigaction ignore {};
  struct sigaction old {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGCHLD, &ignore, &old);
  RecordingActions actions;
  const std::string helper = Program(
      "answers", "cat >/dev/null; echo '{\"actions\":[{\"select\":[1],\"press\":\"shared\"}],\"answer\":\"allow\"}'");
  EXPECT_EQ(HelperConsentPresenter(helper).Present(WriteDialog(), &actions), ConsentAnswer::kAllow);
  EXPECT_EQ(actions.presses.size(), 1u);
  ::sigaction(SIGCHLD, &old, nullptr);
}

TEST_F(HelperPresenterTest, AHelperDiesWithTheProgramThatAsked) {
  const std::string pidFile = m_home.path() + "/helper.pid";
  const std::string helper = Program("waits", "echo $$ > '" + pidFile + "'; exec sleep 30");
  const pid_t asker = ::fork();
  if (asker == 0) {
    RecordingActions actions;
    HelperConsentPresenter(helper).Present(WriteDialog(), &actions);
    ::_exit(0);
  }
  pid_t shown = 0;
  for (int i = 0; i < 500 && shown == 0; ++i) {
    std::ifstream(pidFile) >> shown;
    if (shown == 0) ::usleep(10 * 1000);
  }
  ASSERT_GT(shown, 0);
  // The asking program is killed while its dialog is open.
  ::kill(asker, SIGKILL);
  int status = 0;
  ::waitpid(asker, &status, 0);
  // Gone, or dead and waiting for whoever adopted it to reap it.
  const auto goneOrDead = [&] {
    std::ifstream stat("/proc/" + std::to_string(shown) + "/stat");
    std::string pid, name, state;
    return !(stat >> pid >> name >> state) || state == "Z" || state == "X";
  };
  bool gone = false;
  for (int i = 0; i < 300 && !gone; ++i) {
    gone = goneOrDead();
    if (!gone) ::usleep(10 * 1000);
  }
  EXPECT_TRUE(gone) << "the dialog of a program that is gone is gone too";
}

TEST_F(HelperPresenterTest, TheHelperGetsOnlyWhatReachesTheDesktopAndNothingThatLoadsCode) {
  const std::vector<std::string> environment = ConsentHelperEnvironment({
      "DISPLAY=:0",
      "WAYLAND_DISPLAY=wayland-0",
      "DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/1000/bus",
      "LANG=de_DE.UTF-8",
      "LD_PRELOAD=/tmp/evil.so",
      "LD_LIBRARY_PATH=/tmp",
      "QT_PLUGIN_PATH=/tmp/plugins",
      "QT_QPA_PLATFORM_PLUGIN_PATH=/tmp/plugins",
      "QT_QPA_PLATFORM=vnc:port=5900",
      "QT_STYLE_OVERRIDE=evil",
      "QT_SCALE_FACTOR=0.01",
      "PATH=/tmp/bin",
      "DISPLAY=:9",
      "LUMORA_HOME=/var/lib/lumora",
  });
  EXPECT_EQ(environment,
            (std::vector<std::string>{"PATH=/usr/bin:/bin", "DISPLAY=:0", "WAYLAND_DISPLAY=wayland-0",
                                      "DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/1000/bus", "LANG=de_DE.UTF-8"}));
  EXPECT_EQ(ConsentHelperEnvironment({"QT_QPA_PLATFORM=offscreen"}),
            (std::vector<std::string>{"PATH=/usr/bin:/bin", "QT_QPA_PLATFORM=offscreen"}));
}

}  // namespace
}  // namespace lumora
