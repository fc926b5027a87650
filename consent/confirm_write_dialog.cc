// The write consent dialog's content and logic.
#include "confirm_write_dialog.h"

#include <utility>

#include "common/resources.h"
#include "consent_presenter_choice.h"
#include "disclosure_ledger.h"
#include "explanation_dialog.h"
#include "lumora/profile.h"
#include "store/key_set.h"
#include "store/profile_database.h"

namespace lumora {
namespace {

constexpr char kCompanyNamePlaceholder[] = "$(CompanyName)";
constexpr int kColumnWidths[] = {150, 165, 75};
constexpr int kShareStatusColumn = 2;

}  // namespace

CConfirmWriteDialog::CConfirmWriteDialog(std::vector<WriteConsentRow*> queue, std::string companyName, LONG parent,
                                         std::string message)
    : m_queue(std::move(queue)),
      m_companyName(std::move(companyName)),
      m_parent(parent),
      m_message(std::move(message)) {}

std::string CConfirmWriteDialog::WithCompanyName(std::string text) const {
  // One pass from left to right: a company name that itself holds the placeholder is
  // inserted as it is, never replaced again.
  const std::string_view placeholder = kCompanyNamePlaceholder;
  for (size_t at = text.find(placeholder); at != std::string::npos;
       at = text.find(placeholder, at + m_companyName.size())) {
    text.replace(at, placeholder.size(), m_companyName);
  }
  return text;
}

bool CConfirmWriteDialog::OnInitDialog() {
  m_model = ConsentDialogModel{};
  m_model.kind = ConsentKind::kWrite;
  m_model.caption = "Lumora Profile Request";
  m_model.company = m_companyName;
  m_model.section = m_section;
  m_model.texts = {
      {kMessageControl, m_message},
      {kIntroductionControl,
       WithCompanyName("$(CompanyName) would like to make a change to your Lumora Profile. Before "
                       "saving these changes, please take a moment to confirm them.")},
      {kChangesGroup, "Changes to your Lumora Profile"},
      {kInstructionsControl,
       WithCompanyName("Below are the changes that $(CompanyName) would like to make to your Lumora Profile.\nTo "
                       "change an item to Private or set it to Shared, select the item and click the appropriate "
                       "button.")},
      {kSetToPrivateButton, "Set to Private"},
      {kSetToSharedButton, "Set to Shared"},
      {kPurposeControl,
       WithCompanyName("Lumora uses the information in your Profile to determine which $(CompanyName) messages are "
                       "relevant to you. Allowing us to make these changes to your Profile will let Lumora better "
                       "filter $(CompanyName) messages for you.")},
      {kExplanationButton, "Tell me more about Lumora and my Lumora Profile..."},
      {IDOK, "Allow"},
      {IDCANCEL, "Deny"},
  };
  m_list.SetupColumns(3, kColumnWidths, IDS_FIELD_NAME);
  m_model.columns = m_list.Columns();
  const CLumoraExplanationDlg explanation(nullptr);
  m_model.explanationCaption = CLumoraExplanationDlg::Caption();
  m_model.explanation = explanation.WholeText();

  m_list.DeleteAllItems();
  bool anyListed = false;
  for (WriteConsentRow* row : m_queue) anyListed = anyListed || row->ListedInWriteDialog();
  if (!anyListed) return false;
  {
    // Every listed change finds its variable through the Main table's indexes: a set that
    // knows its rows by id, never a copy of the whole table searched row by row. The rows
    // come from one read, which ends before the user is asked.
    CDaoReadTransaction oneRead(ProfileDatabase());
    CKeySet keys(ProfileDatabase(), dbOpenDynaset);
    keys.Open();
    for (WriteConsentRow* row : m_queue) {
      if (row->ListedInWriteDialog() && row->PrepareDisplayInfo(keys) == 0) m_list.AppendWriteRow(row);
    }
    keys.Close();
  }
  m_model.rows = m_list.CellTexts();
  // What the share-status buttons do, for presenters that show them acting live.
  m_model.shareColumn = kShareStatusColumn;
  m_model.sharedText = LoadResourceString(IDS_SHARED);
  m_model.privateText = LoadResourceString(IDS_PRIVATE);
  for (size_t row = 0; row < m_list.GetItemCount(); ++row) {
    m_model.switchable.push_back(!NamesArrayElement(static_cast<WriteConsentRow*>(m_list.GetItemData(row))->GetUki()));
  }
  return m_list.GetItemCount() > 0;
}

int CConfirmWriteDialog::DoModal(ConsentPresenter& presenter) {
  if (!OnInitDialog()) return IDOK;  // nothing to show: as if Allow had been pressed
  // The rows are read only after the user has answered: the ledger keeps the share
  // statuses as they were left, not as they were offered.
  const ConsentAnswer given = presenter.Present(m_model, this);
  const ConsentAnswer answer = RecordConsentDecision(m_model, CurrentRows(), given);
  m_list.DeleteAllItems();  // the rows stay in the queue, owned by it
  return answer == ConsentAnswer::kAllow ? IDOK : IDCANCEL;
}

int CConfirmWriteDialog::DoModal() { return DoModal(MachineConsentPresenter()); }

void CConfirmWriteDialog::SetSelectedPrivacy(LONG privacy) {
  std::vector<COurListCtrl::ItemData> selected;
  m_list.GetSelectedItems(&selected);
  for (COurListCtrl::ItemData datum : selected) {
    auto* row = static_cast<WriteConsentRow*>(datum);
    // An array element shares its variable's privacy; it has none of its own to change.
    if (NamesArrayElement(row->GetUki())) continue;
    row->SetDisplayPrivacy(privacy);
  }
}

void CConfirmWriteDialog::OnSetToShared() { SetSelectedPrivacy(ePrivacyShared); }

void CConfirmWriteDialog::OnSetToPrivate() { SetSelectedPrivacy(ePrivacyPrivate); }

void CConfirmWriteDialog::PressShareButton(const std::vector<size_t>& selectedRows, bool shared) {
  m_list.SelectOnly(selectedRows);
  if (shared) {
    OnSetToShared();
  } else {
    OnSetToPrivate();
  }
}

std::vector<std::vector<std::string>> CConfirmWriteDialog::CurrentRows() const { return m_list.CellTexts(); }

}  // namespace lumora
