// CLumoraExplanationDlg: the small "What is Lumora?" dialog both consent dialogs open.
// It changes nothing; its texts are handed to the presenter with the dialog that opens
// it. Made on the stack; one thread.
#ifndef LUMORA_CONSENT_EXPLANATION_DIALOG_H_
#define LUMORA_CONSENT_EXPLANATION_DIALOG_H_

#include <string>

namespace lumora {

class CLumoraExplanationDlg {
 public:
  static constexpr int IDD = 203;
  static constexpr int kExplanationControl = 210;

  explicit CLumoraExplanationDlg(void* parent = nullptr);

  static const char* Caption() { return "What is Lumora?"; }
  // The dialog's unnamed first text.
  static const char* Introduction();
  // Control 210: string 109 followed by string 110.
  const std::string& Explanation() const { return m_text; }
  // Both texts, one paragraph each, as a presenter shows them.
  std::string WholeText() const;

 private:
  std::string m_text;
};

}  // namespace lumora

#endif  // LUMORA_CONSENT_EXPLANATION_DIALOG_H_
