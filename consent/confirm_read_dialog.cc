// The read consent dialog: its texts, its list, and the decision.
#include "confirm_read_dialog.h"

#include "common/resources.h"
#include "consent_presenter_choice.h"
#include "disclosure_ledger.h"
#include "explanation_dialog.h"

namespace lumora {
namespace {

constexpr char kCaption[] = "Lumora Profile Request";
constexpr char kRequestText[] =
    "$(CompanyName) has requested the information listed below from your Lumora Relationship Settings.  If you "
    "would like to allow $(CompanyName) to read this information, plase click on the \"Allow\" button.";
constexpr char kFooterText[] = " ";
constexpr char kExplanationButtonText[] = "What is Lumora?";
constexpr char kAllowText[] = "Allow";
constexpr char kDenyText[] = "Deny";
constexpr int kColumnWidths[] = {200, 200};
constexpr char kCompanyNameTag[] = "$(CompanyName)";

}  // namespace

std::string ReplaceCompanyName(const std::string& text, const std::string& company) {
  const std::string_view tag = kCompanyNameTag;
  std::string result;
  size_t from = 0;
  for (size_t found = text.find(tag); found != std::string::npos; found = text.find(tag, from)) {
    result.append(text, from, found - from);
    result += company;
    from = found + tag.size();
  }
  result.append(text, from);
  return result;
}

CConfirmReadDialog::CConfirmReadDialog(std::vector<std::unique_ptr<PRDisplayReadItem>> rows, std::string companyName,
                                       void*, std::string message)
    : m_rows(std::move(rows)), m_companyName(std::move(companyName)), m_message(std::move(message)) {}

bool CConfirmReadDialog::OnInitDialog() {
  m_model = ConsentDialogModel{};
  m_model.kind = ConsentKind::kRead;
  m_model.caption = kCaption;
  m_model.company = m_companyName;
  m_model.section = m_section;
  m_model.texts = {
      {kMessageControl, m_message},  // in place of the template's three blanks
      {kRequestControl, ReplaceCompanyName(kRequestText, m_companyName)},
      {kFooterControl, ReplaceCompanyName(kFooterText, m_companyName)},
      {kExplanationButton, kExplanationButtonText},
      {IDOK, kAllowText},
      {IDCANCEL, kDenyText},
  };
  m_list.SetupColumns(2, kColumnWidths, IDS_FIELD_NAME);
  for (std::unique_ptr<PRDisplayReadItem>& row : m_rows) m_list.AppendReadRow(std::move(row));
  m_rows.clear();
  m_model.columns = m_list.Columns();
  m_model.rows = m_list.CellTexts();
  const CLumoraExplanationDlg explanation(nullptr);
  m_model.explanationCaption = CLumoraExplanationDlg::Caption();
  m_model.explanation = explanation.WholeText();
  return m_list.GetItemCount() > 0;
}

int CConfirmReadDialog::DoModal() { return DoModal(MachineConsentPresenter()); }

int CConfirmReadDialog::DoModal(ConsentPresenter& presenter) {
  if (!OnInitDialog()) return IDOK;
  const ConsentAnswer answer = RecordConsentDecision(m_model, m_model.rows, presenter.Present(m_model, nullptr));
  return answer == ConsentAnswer::kAllow ? IDOK : IDCANCEL;
}

}  // namespace lumora
