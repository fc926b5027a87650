// lumora-consent: the consent dialog on the user's desktop. The profile component starts
// it for each dialog, writes one dialog object on its standard input and reads one
// answer object from its standard output (docs/consent-json.md). It reads nothing else:
// not the store, not the settings, no file. Exit status 0 with the answer written; any
// other status (and nothing written) when the input is no dialog.
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "consent_window.h"
#include "drive_steps.h"

namespace {

constexpr int kExitAnswered = 0;
constexpr int kExitBadInput = 2;
constexpr int kExitUsage = 64;

// Standard input, whole; false when it is longer than one dialog may be.
bool ReadInput(std::string* text) {
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(0, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    text->append(buffer, static_cast<size_t>(got));
    if (text->size() > lumora::kMaxConsentLineLength + 1) return false;
  }
}

bool WriteAnswer(const std::string& line) {
  std::string_view rest = line;
  while (!rest.empty()) {
    const ssize_t put = ::write(1, rest.data(), rest.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    rest.remove_prefix(static_cast<size_t>(put));
  }
  return true;
}

void Usage() {
  std::fprintf(stderr,
               "usage: lumora-consent [--steps 'STEP; STEP...' | --steps-file FILE] < DIALOG\n"
               "       lumora-consent --version\n"
               "Shows the consent dialog read from standard input and writes the user's answer to standard\n"
               "output. The steps drive the dialog without a person (tests); see drive_steps.h.\n");
}

}  // namespace

int main(int argc, char** argv) {
  QStringList steps;
  bool driven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--version") {
      std::printf("lumora-consent %s\n", LUMORA_VERSION);
      return 0;
    }
    if (arg == "--help" || arg == "-h") {
      Usage();
      return 0;
    }
    if (arg == "--steps" && i + 1 < argc) {
      steps << QString::fromUtf8(argv[++i]).split(u';');
      driven = true;
    } else if (arg == "--steps-file" && i + 1 < argc) {
      QFile file(QString::fromLocal8Bit(argv[++i]));
      if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "lumora-consent: cannot read %s\n", argv[i]);
        return kExitUsage;
      }
      steps << QString::fromUtf8(file.readAll()).split(u'\n');
      driven = true;
    } else {
      Usage();
      return kExitUsage;
    }
  }

  std::string input;
  if (!ReadInput(&input)) {
    std::fprintf(stderr, "lumora-consent: the input is no dialog (too long or unreadable)\n");
    return kExitBadInput;
  }
  if (!input.empty() && input.back() == '\n') input.pop_back();
  std::string error;
  const std::optional<lumora::ConsentDialogModel> model = lumora::ParseConsentDialog(input, &error);
  if (!model) {
    std::fprintf(stderr, "lumora-consent: the input is no dialog: %s\n", error.c_str());
    return kExitBadInput;
  }

  lumora::ConsentReply reply;
  if (model->rows.empty()) {
    // Nothing to ask: as the dialogs themselves do, allowed without being shown.
    reply.answer = lumora::ConsentAnswer::kAllow;
  } else {
    // Only the program's name: no option of the toolkit's may come from anywhere.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);
    lumora::consent::ConsentWindow window(*model);
    if (driven) {
      auto* driver = new lumora::consent::DriveSteps(&window, steps);
      driver->Start();
    }
    window.show();
    window.activateWindow();
    window.raise();
    window.exec();
    reply = window.Reply();
  }
  if (!WriteAnswer(lumora::WriteJson(lumora::ConsentReplyToJson(reply)) + "\n")) return 1;
  return kExitAnswered;
}
