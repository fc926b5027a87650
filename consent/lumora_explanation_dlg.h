// CLumoraExplanationDlg: the small "What is Lumora?" dialog both consent dialogs open from
// a button. It changes nothing; a presenter shows its caption and text on request. Made
// on the stack of whoever shows it.
#ifndef LUMORA_CONSENT_LUMORA_EXPLANATION_DLG_H_
#define LUMORA_CONSENT_LUMORA_EXPLANATION_DLG_H_

#include <string>

namespace lumora {

class CLumoraExplanationDlg {
 public:
  CLumoraExplanationDlg();

  static std::string Caption();
  // The dialog's fixed first paragraph, then its text member (strings 109 and 110).
  std::string Text() const;

 private:
  std::string m_text;  // string 109 followed by string 110
};

}  // namespace lumora

#endif  // LUMORA_CONSENT_LUMORA_EXPLANATION_DLG_H_
