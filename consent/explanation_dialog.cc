// The explanation dialog's texts.
#include "explanation_dialog.h"

#include "common/resources.h"

namespace lumora {

CLumoraExplanationDlg::CLumoraExplanationDlg(void*)
    : m_text(LoadResourceString(IDS_EXPLANATION) + LoadResourceString(IDS_EXPLANATION_TAIL)) {}

const char* CLumoraExplanationDlg::Introduction() {
  return "Lumora is designed to deliver technical support information to you exactly at the moment you need it, "
         "based on your individual computer configuration.";
}

std::string CLumoraExplanationDlg::WholeText() const { return std::string(Introduction()) + "\n\n" + m_text; }

}  // namespace lumora
