// CConfirmReadDialog: the read consent dialog's content and logic. It names the calling
// company, shows the client's message and one row per variable about to be handed over,
// and ends with OK (Allow) or cancel (Deny, close box, Escape). Showing it is the
// presenter's: the machine's configuration chooses which one. Made on the stack of the
// read execution and run once, on that thread.
#ifndef LUMORA_CONSENT_CONFIRM_READ_DIALOG_H_
#define LUMORA_CONSENT_CONFIRM_READ_DIALOG_H_

#include <memory>
#include <string>
#include <vector>

#include "confirm_read_list_ctrl.h"
#include "display_read_item.h"
#include "platform/ui/consent_presenter.h"

namespace lumora {

// Every occurrence of "$(CompanyName)" in `text` replaced by `company` (which is not
// searched again).
std::string ReplaceCompanyName(const std::string& text, const std::string& company);

class CConfirmReadDialog {
 public:
  static constexpr int IDD = 202;
  static constexpr int kMessageControl = 206;
  static constexpr int kRequestControl = 207;
  static constexpr int kFooterControl = 208;
  static constexpr int kExplanationButton = 202;

  // The dialog takes the rows. No parent window is ever used: there are none here.
  CConfirmReadDialog(std::vector<std::unique_ptr<PRDisplayReadItem>> rows, std::string companyName, void* parent,
                     std::string message);

  // Runs the dialog with the presenter the machine's configuration chooses; IDOK or
  // IDCANCEL.
  int DoModal();
  // The same with a given presenter.
  int DoModal(ConsentPresenter& presenter);

  // The section the calling program was granted, recorded with the decision.
  void SetSection(std::string section) { m_section = std::move(section); }

  // The dialog as the user is shown it, once it has been set up by DoModal.
  const ConsentDialogModel& Model() const { return m_model; }

 private:
  // Fills the texts and the list; false when there is no row, so the dialog ends at once
  // as if Allow had been pressed.
  bool OnInitDialog();

  std::vector<std::unique_ptr<PRDisplayReadItem>> m_rows;
  std::string m_companyName;
  std::string m_message;
  std::string m_section;
  CConfirmReadListCtrl m_list;
  ConsentDialogModel m_model;
};

}  // namespace lumora

#endif  // LUMORA_CONSENT_CONFIRM_READ_DIALOG_H_
