// The consent dialogs' row list as drawn: its pixels compared with the text the rules
// call for (an ellipsis at the end of what does not fit, '&' shown as itself, nothing
// drawn in the 2-pixel margins), and the repaint that follows the keyboard focus at once.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QPainter>
#include <QVBoxLayout>
#include <memory>

#include "consent_list_view.h"
#include "consent_window.h"

// The font library keeps caches for the life of the process that the kept application
// never hands back; under the leak checker they are the font library's, not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace lumora::consent {
namespace {

// One application for the whole test program, never destroyed: Qt cannot be torn down
// among the exit handlers, after its own statics have gone.
QApplication& Application() {
  static int argc = 1;
  static char name[] = "consent_list_drawing_test";
  static char* argv[] = {name, nullptr};
  static QApplication* application = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
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

TEST_F(ListDrawingTest, AScreenReaderHearsTheListByNameAndEachCellWithItsColumn) {
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(m_list);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->text(QAccessible::Name), QStringLiteral("rows"));
  QStringList names;
  QStringList descriptions;
  for (int i = 0; i < list->childCount(); ++i) {
    names << list->child(i)->text(QAccessible::Name);
    descriptions << list->child(i)->text(QAccessible::Description);
  }
  EXPECT_TRUE(names.contains(QStringLiteral("Field Name: Tom & Jerry"))) << names.join(u'|').toStdString();
  EXPECT_TRUE(names.contains(QStringLiteral("Value: short"))) << names.join(u'|').toStdString();
  EXPECT_TRUE(descriptions.contains(QStringLiteral("Field Name: &Name, Value: short")))
      << descriptions.join(u'|').toStdString();
  // A share button's change is heard too.
  m_list->SetCellText(1, 1, QStringLiteral("long"));
  names.clear();
  for (int i = 0; i < list->childCount(); ++i) names << list->child(i)->text(QAccessible::Name);
  EXPECT_TRUE(names.contains(QStringLiteral("Value: long")));
}

TEST(ConsentWindowTest, ButtonsAreNamedAsTheyReadAndTheMessageIsBlueAndPlain) {
  Application();
  ConsentDialogModel model;
  model.kind = ConsentKind::kWrite;
  model.caption = "Lumora Profile Request";
  model.texts = {{206, "<b>Acme</b> & you"},
                 {-1, "Changes to your Lumora Profile"},
                 {205, "Set to Private"},
                 {204, "Set to Shared"},
                 {202, "Tell me more about Lumora and my Lumora Profile..."},
                 {1, "Allow"},
                 {2, "Deny"}};
  model.columns = {{"Field Name", 150}, {"Value", 165}, {"Share Status", 75}};
  model.rows = {{"Size", "43", "Private"}};
  ConsentWindow window(model);
  auto* explain = static_cast<QPushButton*>(window.Control(202));
  ASSERT_NE(explain, nullptr);
  EXPECT_EQ(explain->accessibleName(), QStringLiteral("Tell me more about Lumora and my Lumora Profile..."));
  EXPECT_TRUE(explain->text().contains(u'\n')) << "a multi-line button";
  EXPECT_EQ(window.List()->accessibleName(), QStringLiteral("Changes to your Lumora Profile"));
  auto* message = static_cast<QLabel*>(window.Control(206));
  EXPECT_EQ(message->textFormat(), Qt::PlainText) << "a message is never markup";
  EXPECT_EQ(message->palette().color(QPalette::WindowText), QColor(0, 100, 255));
  EXPECT_TRUE(static_cast<QPushButton*>(window.Control(1))->isDefault());
  // Tab order: the list, then the buttons in the order they stand.
  QWidget* at = window.List();
  for (const int control : {205, 204, 202, 1, 2}) {
    do {
      at = at->nextInFocusChain();
    } while (at->focusPolicy() == Qt::NoFocus);
    EXPECT_EQ(at, window.Control(control)) << control;
  }
}

}  // namespace
}  // namespace lumora::consent
