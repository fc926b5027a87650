// The machine's presenter: setting 20 read for each dialog, the presenter it names asked.
#include "consent_presenter_choice.h"

#include <cstdlib>
#include <mutex>

#include "common/settings_client.h"
#include "lumora/winerror.h"
#include "platform/ui/deny_presenter.h"
#include "platform/ui/helper_presenter.h"
#include "platform/ui/script_presenter.h"
#include "platform/ui/terminal_presenter.h"

namespace lumora {
namespace {

constexpr std::string_view kScriptPrefix = "script:";

// The helper program in the installation directory (setting 6), when it is there.
std::optional<HelperConsentPresenter> InstalledHelper() {
  std::string folder;
  if (FAILED(ReadSetting(kSettingInstallDirectory, &folder)) || folder.empty()) return std::nullopt;
  std::string program = folder + "/" + kConsentHelperName;
  if (!HelperConsentPresenter::Installed(program)) return std::nullopt;
  return HelperConsentPresenter(std::move(program));
}

bool DisplayAvailable() {
  for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

class MachinePresenter : public ConsentPresenter {
 public:
  ConsentAnswer Present(const ConsentDialogModel& model, ConsentDialogActions* actions) override {
    std::lock_guard lock(m_oneDialogAtATime);
    if (m_testPresenter != nullptr) return m_testPresenter->Present(model, actions);
    std::string text;
    const HRESULT hr = ReadSetting(kSettingConsentPresenter, &text);
    std::optional<ConsentPresenterSetting> setting;
    if (hr == HRESULT_FROM_WIN32(ERROR_NOT_FOUND)) {
      setting = ConsentPresenterSetting{};
    } else if (SUCCEEDED(hr)) {
      setting = ParseConsentPresenterSetting(text);
    }
    DenyConsentPresenter refuse;
    if (!setting) return refuse.Present(model, actions);
    switch (setting->kind) {
      case ConsentPresenterSetting::Kind::kAuto: {
        if (DisplayAvailable()) {
          if (std::optional<HelperConsentPresenter> helper = InstalledHelper()) return helper->Present(model, actions);
        }
        if (TerminalConsentPresenter::Available()) return TerminalConsentPresenter().Present(model, actions);
        return refuse.Present(model, actions);
      }
      case ConsentPresenterSetting::Kind::kTerminal:
        return TerminalConsentPresenter().Present(model, actions);
      case ConsentPresenterSetting::Kind::kHelper: {
        std::optional<HelperConsentPresenter> helper = InstalledHelper();
        return helper ? helper->Present(model, actions) : refuse.Present(model, actions);
      }
      case ConsentPresenterSetting::Kind::kScript:
        return ScriptConsentPresenter(setting->scriptPath).Present(model, actions);
      case ConsentPresenterSetting::Kind::kDeny:
        break;
    }
    return refuse.Present(model, actions);
  }

  void SetTestPresenter(ConsentPresenter* presenter) {
    std::lock_guard lock(m_oneDialogAtATime);
    m_testPresenter = presenter;
  }

 private:
  std::mutex m_oneDialogAtATime;
  ConsentPresenter* m_testPresenter = nullptr;  // guarded by m_oneDialogAtATime
};

MachinePresenter& TheMachinePresenter() {
  static MachinePresenter presenter;  // lives as long as the component
  return presenter;
}

}  // namespace

std::optional<ConsentPresenterSetting> ParseConsentPresenterSetting(std::string_view text) {
  using Kind = ConsentPresenterSetting::Kind;
  if (text.empty() || text == "auto") return ConsentPresenterSetting{Kind::kAuto, {}};
  if (text == "terminal") return ConsentPresenterSetting{Kind::kTerminal, {}};
  if (text == "helper") return ConsentPresenterSetting{Kind::kHelper, {}};
  if (text == "deny") return ConsentPresenterSetting{Kind::kDeny, {}};
  if (text.substr(0, kScriptPrefix.size()) == kScriptPrefix) {
    const std::string_view path = text.substr(kScriptPrefix.size());
    // A relative path would be found from the calling program's working directory,
    // which that program chooses.
    if (path.empty() || path.front() != '/' || path.find('\0') != std::string_view::npos) return std::nullopt;
    return ConsentPresenterSetting{Kind::kScript, std::string(path)};
  }
  return std::nullopt;
}

ConsentPresenter& MachineConsentPresenter() { return TheMachinePresenter(); }

void SetConsentPresenterForTests(ConsentPresenter* presenter) { TheMachinePresenter().SetTestPresenter(presenter); }

}  // namespace lumora
