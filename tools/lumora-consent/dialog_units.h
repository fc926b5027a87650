// Dialog units, as the desktop's dialogs have always been laid out: a horizontal unit is
// a quarter of the dialog font's average character width, a vertical unit an eighth of
// its height, so that a dialog keeps its arrangement at any font size and screen scale.
// Pure computation on the font given; the GUI thread.
#ifndef LUMORA_TOOLS_LUMORA_CONSENT_DIALOG_UNITS_H_
#define LUMORA_TOOLS_LUMORA_CONSENT_DIALOG_UNITS_H_

#include <QFont>
#include <QRect>
#include <QSize>

namespace lumora::consent {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);

  // A rectangle given as left, top, width, height in dialog units, in pixels.
  QRect Rect(int left, int top, int width, int height) const;
  QSize Size(int width, int height) const;

  int baseWidth() const { return m_baseWidth; }
  int baseHeight() const { return m_baseHeight; }

 private:
  int X(int units) const { return (units * m_baseWidth + 2) / 4; }
  int Y(int units) const { return (units * m_baseHeight + 4) / 8; }

  int m_baseWidth;   // the average character width, in pixels
  int m_baseHeight;  // the character height, in pixels
};

}  // namespace lumora::consent

#endif  // LUMORA_TOOLS_LUMORA_CONSENT_DIALOG_UNITS_H_
