// consent: who answers the consent dialogs on this machine, setting 20 of the settings
// service. "show" prints the choice and what it means; "set CHOICE" stores it after
// checking its form (auto, terminal, helper, deny, script:PATH with PATH absolute).
#include <cstdio>
#include <filesystem>
#include <string>

#include "admin_command.h"
#include "common/settings_client.h"
#include "consent/consent_presenter_choice.h"
#include "lumora/winerror.h"

namespace lumora::admin {
namespace {

constexpr char kChoices[] = "auto, terminal, helper, deny or script:PATH (PATH absolute)";

std::string Meaning(const ConsentPresenterSetting& setting) {
  switch (setting.kind) {
    case ConsentPresenterSetting::Kind::kAuto:
      return "the dialog helper program when a display is available and the helper is installed, else the "
             "controlling terminal, else nobody: refused";
    case ConsentPresenterSetting::Kind::kTerminal:
      return "the controlling terminal; refused when there is none";
    case ConsentPresenterSetting::Kind::kHelper:
      return "the dialog helper program; refused when it is not installed";
    case ConsentPresenterSetting::Kind::kDeny:
      return "nobody: every dialog is refused";
    case ConsentPresenterSetting::Kind::kScript:
      return "answers read from " + setting.scriptPath + ", each dialog recorded in " + setting.scriptPath + ".shown";
  }
  return {};
}

int Show() {
  std::string text;
  const HRESULT hr = ReadSetting(kSettingConsentPresenter, &text);
  if (hr == HRESULT_FROM_WIN32(ERROR_NOT_FOUND)) {
    std::printf("auto (not set)\n  %s\n", Meaning(ConsentPresenterSetting{}).c_str());
    return kExitOk;
  }
  if (FAILED(hr)) return Fail("cannot read setting 20: " + Code(hr) + " (is this an installation? see 'init')");
  const std::optional<ConsentPresenterSetting> setting = ParseConsentPresenterSetting(text);
  if (!setting) {
    std::printf("'%s'\n  not a choice (%s): every dialog is refused\n", text.c_str(), kChoices);
    return kExitOk;
  }
  std::printf("%s\n  %s\n", text.empty() ? "auto (empty)" : text.c_str(), Meaning(*setting).c_str());
  if (setting->kind == ConsentPresenterSetting::Kind::kScript && !std::filesystem::exists(setting->scriptPath)) {
    std::printf("  %s does not exist: every dialog is refused until it does\n", setting->scriptPath.c_str());
  }
  return kExitOk;
}

int Set(const std::string& choice) {
  const std::optional<ConsentPresenterSetting> setting = ParseConsentPresenterSetting(choice);
  if (!setting || choice.empty()) {
    std::fprintf(stderr, "lumora-admin: '%s' is not a choice: %s\n", choice.c_str(), kChoices);
    return kExitUsage;
  }
  const HRESULT hr = WriteSetting(kSettingConsentPresenter, choice);
  if (FAILED(hr)) return Fail("cannot store setting 20: " + Code(hr) + " (is this an installation? see 'init')");
  std::printf("consent dialogs: %s\n  %s\n", choice.c_str(), Meaning(*setting).c_str());
  return kExitOk;
}

int Consent(const Options& options) {
  const std::string& action = options.arguments[0];
  if (action == "show" && options.arguments.size() == 1) return Show();
  if (action == "set" && options.arguments.size() == 2) return Set(options.arguments[1]);
  std::fprintf(stderr, "lumora-admin: usage: lumora-admin consent show | consent set CHOICE\n");
  return kExitUsage;
}

}  // namespace

const Command kConsentCommand = {
    "consent",
    "show or set who answers the consent dialogs",
    "Who answers the consent dialogs that programs' reads and writes show (setting 20). The\n"
    "calling program never chooses.\n"
    "  show         the choice and what it means\n"
    "  set CHOICE   auto        the dialog helper program when a display is available, else the\n"
    "                           controlling terminal, else nobody (refused)\n"
    "               terminal    the controlling terminal, never standard input\n"
    "               helper      the dialog helper program\n"
    "               deny        nobody: every dialog is refused\n"
    "               script:PATH answers from the JSON-lines file PATH (absolute), each dialog\n"
    "                           recorded in PATH.shown (see docs/consent-json.md)",
    {},
    &Consent,
    "show | set CHOICE",
    1,
    2,
};

}  // namespace lumora::admin
