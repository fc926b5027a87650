// Dialog units from a font's metrics.
#include "dialog_units.h"

#include <QFontMetrics>

namespace lumora::consent {

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average width of the 52 Latin letters, rounded as the window system rounds it.
  const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  m_baseWidth = std::max(1, (letters / 26 + 1) / 2);
  m_baseHeight = std::max(1, metrics.height());
}

QRect DialogUnits::Rect(int left, int top, int width, int height) const {
  return QRect(X(left), Y(top), X(width), Y(height));
}

QSize DialogUnits::Size(int width, int height) const { return QSize(X(width), Y(height)); }

}  // namespace lumora::consent
