// The explanation dialog's texts.
#include "lumora_explanation_dlg.h"

#include "common/resources.h"

namespace lumora {

CLumoraExplanationDlg::CLumoraExplanationDlg()
    : m_text(LoadResourceString(IDS_EXPLANATION) + LoadResourceString(IDS_EXPLANATION_TAIL)) {}

std::string CLumoraExplanationDlg::Caption() { return "What is Lumora?"; }

std::string CLumoraExplanationDlg::Text() const {
  return "Lumora is designed to deliver technical support information to you exactly at the moment you need it, "
         "based on your individual computer configuration.\n\n" +
         m_text;
}

}  // namespace lumora
