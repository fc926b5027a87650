// ConsentWindow: a consent dialog (read or write) on the desktop, laid out from the
// dialog-unit rectangles of its template, and ExplanationWindow, the "What is Lumora?"
// dialog both open. The window shows what the dialog object says and nothing else; the
// write dialog's share-status buttons change its list as the component's own logic will
// and are remembered as actions for the component to apply. The GUI thread only.
#ifndef LUMORA_TOOLS_LUMORA_CONSENT_CONSENT_WINDOW_H_
#define LUMORA_TOOLS_LUMORA_CONSENT_CONSENT_WINDOW_H_

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <map>
#include <vector>

#include "consent_list_view.h"
#include "dialog_units.h"
#include "platform/ui/consent_json.h"

namespace lumora::consent {

class ExplanationWindow : public QDialog {
 public:
  ExplanationWindow(const std::string& caption, const std::string& text);
};

class ConsentWindow : public QDialog {
 public:
  explicit ConsentWindow(const ConsentDialogModel& model);

  // What the user did, valid once the dialog has ended: the share-status buttons pressed
  // (with the rows selected then) and the answer. The close box and Escape answer
  // kClose.
  const ConsentReply& Reply() const { return m_reply; }

  ConsentListView* List() const { return m_list; }
  // The control with identifier `control` (a button or a text), or null.
  QWidget* Control(int control) const;

  void reject() override;

 private:
  void BuildReadDialog();
  void BuildWriteDialog();
  QLabel* AddText(int control, int left, int top, int width, int height);
  QPushButton* AddButton(int control, int left, int top, int width, int height);
  void AddList(int control, int left, int top, int width, int height);
  void PressShareButton(bool shared);
  void ShowExplanation();
  const std::string& Text(int control) const;

  ConsentDialogModel m_model;
  DialogUnits m_units;
  ConsentListView* m_list = nullptr;
  std::map<int, QWidget*> m_controls;
  ConsentReply m_reply;
};

}  // namespace lumora::consent

#endif  // LUMORA_TOOLS_LUMORA_CONSENT_CONSENT_WINDOW_H_
