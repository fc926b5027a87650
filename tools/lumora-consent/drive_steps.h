// DriveSteps: the helper's test mode. A list of steps (key presses, clicks on controls,
// rows and headers, the close box, pictures, a dump of the list as drawn) is played into
// whatever dialog is open, one step per turn of the event loop, so the real program can
// be driven and checked without a person or a display. Only a command-line option
// starts it; the component starts the helper with none. The GUI thread only.
#ifndef LUMORA_TOOLS_LUMORA_CONSENT_DRIVE_STEPS_H_
#define LUMORA_TOOLS_LUMORA_CONSENT_DRIVE_STEPS_H_

#include <QObject>
#include <QStringList>

namespace lumora::consent {

class ConsentWindow;

class DriveSteps : public QObject {
 public:
  // `steps`: one per entry, for example "key Down", "key Space ctrl", "click 204",
  // "row-click 2 shift", "row-right-click 0", "row-double-click 1", "header-click 0",
  // "focus 1", "close", "picture /tmp/read.png", "dump", "wait 50".
  DriveSteps(ConsentWindow* window, QStringList steps);
  // Plays the steps, beginning once the event loop runs.
  void Start();

 private:
  void Next();
  // Plays one step; false (with a message on standard error) for a step that cannot be.
  bool Play(const QString& step);

  ConsentWindow* m_window;
  QStringList m_steps;
  int m_next = 0;
};

}  // namespace lumora::consent

#endif  // LUMORA_TOOLS_LUMORA_CONSENT_DRIVE_STEPS_H_
