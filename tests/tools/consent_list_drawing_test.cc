// The consent dialogs' row list as drawn: its pixels compared with the text the rules
// call for (an ellipsis at the end of what does not fit, '&' shown as itself, nothing
// drawn in the 2-pixel margins), and the repaint that follows the keyboard focus at once.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>
#include <QVBoxLayout>
#include <memory>

#include "consent_list_view.h"

namespace lumora::consent {
namespace {

QApplication& Application() {
  static int argc = 1;
  static char name[] = "consent_list_drawing_test";
  static char* argv[] = {name, nullptr};
  static std::unique_ptr<QApplication> application;
  if (!application) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    application = std::make_unique<QApplication>(argc, argv);
  }
  return *application;
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
 public:
  int count = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count;
    return false;
  }
};

class ListDrawingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application();
    m_window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(m_window.get());
    m_other = new QWidget(m_window.get());
    m_other->setFocusPolicy(Qt::StrongFocus);
    m_list = new ConsentListView(
        {{"Field Name", 120}, {"Value", 200}},
        {{"Tom & Jerry", "a value far too long to be shown whole in a column this narrow"}, {"&Name", "short"}},
        QStringLiteral("rows"), m_window.get());
    layout->addWidget(m_list);
    layout->addWidget(m_other);
    m_window->resize(420, 200);
    m_window->show();
    m_window->activateWindow();
    QApplication::processEvents();
    m_other->setFocus();
    QApplication::processEvents();
  }

  // The pixels of one cell's text area as the list drew it.
  QImage DrawnCell(int row, int column) {
    const QImage whole = m_list->viewport()->grab().toImage();
    return whole.copy(CellRect(row, column));
  }
  QRect CellRect(int row, int column) const {
    const QRect rowArea = m_list->RowRect(row);
    return QRect(m_list->columnViewportPosition(column), rowArea.top(), m_list->columnWidth(column), rowArea.height());
  }
  // The same cell drawn afresh with `text` and `flags`, normal colours.
  QImage Expected(int row, int column, const QString& text, int flags) {
    const QRect cell = CellRect(row, column);
    QImage image(cell.size() * m_list->viewport()->devicePixelRatio(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(m_list->viewport()->devicePixelRatio());
    image.fill(m_list->palette().color(QPalette::Active, QPalette::Base));
    QPainter painter(&image);
    painter.setFont(m_list->font());
    painter.setPen(m_list->palette().color(QPalette::Active, QPalette::Text));
    painter.drawText(QRect(QPoint(0, 0), cell.size()).adjusted(kCellMargin, 0, -kCellMargin, 0),
                     flags | Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    return image.convertToFormat(DrawnCell(row, column).format());
  }

  std::unique_ptr<QWidget> m_window;
  QWidget* m_other = nullptr;
  ConsentListView* m_list = nullptr;
};

TEST_F(ListDrawingTest, TextIsCutWithAnEllipsisAndAmpersandsAreShownAsThey) {
  const QFontMetrics metrics(m_list->font());
  const QString longValue = m_list->CellText(0, 1);
  const QString cut = metrics.elidedText(longValue, Qt::ElideRight, 200 - 2 * kCellMargin);
  ASSERT_TRUE(cut.endsWith(QChar(0x2026))) << "the value must be too long for its column";
  EXPECT_EQ(DrawnCell(0, 1), Expected(0, 1, cut, 0));
  EXPECT_NE(DrawnCell(0, 1), Expected(0, 1, longValue, 0)) << "not merely clipped";

  EXPECT_EQ(DrawnCell(0, 0), Expected(0, 0, QStringLiteral("Tom & Jerry"), 0));
  EXPECT_NE(DrawnCell(0, 0), Expected(0, 0, QStringLiteral("Tom & Jerry"), Qt::TextShowMnemonic));
  EXPECT_NE(DrawnCell(1, 0), Expected(1, 0, QStringLiteral("&Name"), Qt::TextShowMnemonic))
      << "no underlined accelerator";

  // Nothing is drawn in a cell's margins: the ellipsis stops 2 pixels short of the edge.
  const QImage cell = DrawnCell(0, 1);
  const QColor base = m_list->palette().color(QPalette::Active, QPalette::Base);
  for (int x = cell.width() - kCellMargin; x < cell.width(); ++x) {
    for (int y = 0; y < cell.height(); ++y) ASSERT_EQ(cell.pixelColor(x, y), base) << x << "," << y;
  }
}

TEST_F(ListDrawingTest, TheSelectionIsHighlightedOnlyWhileTheListHasTheFocusAndRepaintedAtOnce) {
  m_list->selectionModel()->select(m_list->model()->index(1, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
  QApplication::processEvents();
  const QColor highlight = m_list->palette().color(QPalette::Active, QPalette::Highlight);
  const QColor base = m_list->palette().color(QPalette::Active, QPalette::Base);
  const auto rowColour = [&] {
    const QRect area = m_list->RowRect(1);
    return m_list->viewport()->grab().toImage().pixelColor(area.right() - 4, area.center().y());
  };
  EXPECT_EQ(rowColour(), base) << "selected but not focused: normal colours";

  PaintCounter paints;
  m_list->viewport()->installEventFilter(&paints);
  m_list->setFocus();
  ASSERT_TRUE(m_list->hasFocus());
  EXPECT_GT(paints.count, 0) << "repainted when the focus came, not on a later turn of the event loop";
  EXPECT_EQ(rowColour(), highlight);
  paints.count = 0;
  m_other->setFocus();
  EXPECT_GT(paints.count, 0) << "and when it went";
  EXPECT_EQ(rowColour(), base);
  m_list->viewport()->removeEventFilter(&paints);
}

}  // namespace
}  // namespace lumora::consent
