// CConfirmWriteDialog: the modal dialog in which the user sees a program's queued changes
// before they are saved, may switch each listed change between Shared and Private, and
// allows or refuses them all. It holds the dialog's content and logic; a presenter shows
// it and drives its buttons. Made on the stack of the write execution, run once; the rows
// point into the live write queue, which outlives the dialog. Caller's thread only.
#ifndef LUMORA_CONSENT_CONFIRM_WRITE_DIALOG_H_
#define LUMORA_CONSENT_CONFIRM_WRITE_DIALOG_H_

#include <string>
#include <vector>

#include "confirm_write_list_ctrl.h"
#include "platform/ui/consent_presenter.h"
#include "write_consent_row.h"

namespace lumora {

class CConfirmWriteDialog final : public ConsentDialogActions {
 public:
  static constexpr int IDD = 201;
  static constexpr int kMessageControl = 206;
  static constexpr int kIntroductionControl = 207;
  static constexpr int kChangesGroup = -1;  // the group box has no identifier of its own
  static constexpr int kInstructionsControl = 208;
  static constexpr int kSetToPrivateButton = 205;
  static constexpr int kSetToSharedButton = 204;
  static constexpr int kPurposeControl = 209;
  static constexpr int kExplanationButton = 202;
  static constexpr int kListControl = 60898;

  // `queue` is the whole write queue in order (not owned; rows are made only for the
  // kinds the dialog lists). `companyName` replaces "$(CompanyName)" in the texts.
  // `parent` is the owner window; none exists on this platform, so it is only kept.
  CConfirmWriteDialog(std::vector<WriteConsentRow*> queue, std::string companyName, LONG parent, std::string message);

  // Fills the list (each listed change prepares its display record from the Main table)
  // and, when there is at least one row, hands the dialog to `presenter`. IDOK for Allow
  // or when there was nothing to show, IDCANCEL otherwise. The rows' display privacies
  // stay as the user left them, also on Deny. Database failures are thrown.
  int DoModal(ConsentPresenter& presenter);
  // The same with the presenter the machine's configuration names.
  int DoModal();

  // "Set to Shared" / "Set to Private": every selected row, in list order, that does not
  // name an array element gets that privacy (again, if it had it already).
  void OnSetToShared();
  void OnSetToPrivate();

  // ConsentDialogActions: the presenter selects rows (list order) and presses a button.
  void PressShareButton(const std::vector<size_t>& selectedRows, bool shared) override;
  std::vector<std::vector<std::string>> CurrentRows() const override;

  // The section the calling program was granted, recorded with the decision.
  void SetSection(std::string section) { m_section = std::move(section); }

  // What the presenter is shown, valid after DoModal filled the list.
  const ConsentDialogModel& Model() const { return m_model; }
  CConfirmWriteListCtrl& List() { return m_list; }
  // The owner window the dialog was given.
  LONG Parent() const { return m_parent; }

 private:
  // Fills the list; false when no row was appended.
  bool OnInitDialog();
  void SetSelectedPrivacy(LONG privacy);
  std::string WithCompanyName(std::string text) const;

  std::vector<WriteConsentRow*> m_queue;
  std::string m_companyName;
  LONG m_parent;
  std::string m_message;
  std::string m_section;
  CConfirmWriteListCtrl m_list;
  ConsentDialogModel m_model;
};

}  // namespace lumora

#endif  // LUMORA_CONSENT_CONFIRM_WRITE_DIALOG_H_
