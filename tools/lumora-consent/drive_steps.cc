// The helper's test mode: steps played into the open dialog.
#include "drive_steps.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <cstdio>

#include "consent_window.h"
#include "platform/ui/json_value.h"

namespace lumora::consent {
namespace {

// The dialog that has the user's attention: the explanation while it is open.
QWidget* ActiveDialog(ConsentWindow* window) {
  QWidget* modal = QApplication::activeModalWidget();
  return modal != nullptr ? modal : window;
}

Qt::KeyboardModifiers Modifiers(const QStringList& words, int from) {
  Qt::KeyboardModifiers modifiers;
  for (int i = from; i < words.size(); ++i) {
    if (words[i] == u"ctrl") modifiers |= Qt::ControlModifier;
    if (words[i] == u"shift") modifiers |= Qt::ShiftModifier;
  }
  return modifiers;
}

bool KeyOf(const QString& name, int* key, QString* text) {
  static const struct {
    const char* name;
    int key;
    const char* text;
  } kKeys[] = {
      {"Down", Qt::Key_Down, ""},       {"Up", Qt::Key_Up, ""},         {"Home", Qt::Key_Home, ""},
      {"End", Qt::Key_End, ""},         {"Space", Qt::Key_Space, " "},  {"Return", Qt::Key_Return, "\r"},
      {"Enter", Qt::Key_Enter, "\r"},   {"Escape", Qt::Key_Escape, ""}, {"Tab", Qt::Key_Tab, "\t"},
      {"Backtab", Qt::Key_Backtab, ""},
  };
  for (const auto& each : kKeys) {
    if (name == QLatin1String(each.name)) {
      *key = each.key;
      *text = QString::fromLatin1(each.text);
      return true;
    }
  }
  return false;
}

void Click(QWidget* target, QPoint at, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, bool twice) {
  const QPointF local(at);
  const QPointF global(target->mapToGlobal(at));
  QMouseEvent press(QEvent::MouseButtonPress, local, global, button, button, modifiers);
  QApplication::sendEvent(target, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, local, global, button, Qt::NoButton, modifiers);
  QApplication::sendEvent(target, &release);
  if (!twice) return;
  QMouseEvent again(QEvent::MouseButtonDblClick, local, global, button, button, modifiers);
  QApplication::sendEvent(target, &again);
  QMouseEvent releaseAgain(QEvent::MouseButtonRelease, local, global, button, Qt::NoButton, modifiers);
  QApplication::sendEvent(target, &releaseAgain);
}

// The list as drawn, on standard error: its cells, the rows selected, the rows painted
// in the highlight colour (read from the picture, not from the list's state), where the
// keyboard focus is, and which dialog is open.
void Dump(ConsentWindow* window) {
  ConsentListView* list = window->List();
  const QImage picture = list->viewport()->grab().toImage();
  const QColor highlight = list->palette().color(QPalette::Active, QPalette::Highlight);
  JsonValue rows = JsonValue::Array();
  JsonValue highlighted = JsonValue::Array();
  for (int row = 0; row < list->RowCount(); ++row) {
    JsonValue cells = JsonValue::Array();
    for (int column = 0; column < list->model()->columnCount(); ++column) {
      cells.Append(JsonValue::String(list->CellText(row, column).toStdString()));
    }
    rows.Append(std::move(cells));
    const QRect area = list->RowRect(row);
    // A point in the row's right-hand part, past any text and inside the focus frame.
    const QPoint probe(area.right() - 4, area.center().y());
    if (picture.rect().contains(probe) && picture.pixelColor(probe) == highlight) {
      highlighted.Append(JsonValue::Integer(row));
    }
  }
  JsonValue selected = JsonValue::Array();
  for (const size_t row : list->SelectedRows()) selected.Append(JsonValue::Integer(static_cast<int64_t>(row)));
  QWidget* focus = QApplication::focusWidget();
  JsonValue dump = JsonValue::Object();
  dump.Add("dialog", JsonValue::String(ActiveDialog(window)->objectName().toStdString()));
  dump.Add("focus", JsonValue::String(focus != nullptr ? focus->objectName().toStdString() : std::string()));
  dump.Add("rows", std::move(rows));
  dump.Add("selected", std::move(selected));
  dump.Add("highlighted", std::move(highlighted));
  std::fprintf(stderr, "dump %s\n", WriteJson(dump).c_str());
  std::fflush(stderr);
}

}  // namespace

DriveSteps::DriveSteps(ConsentWindow* window, QStringList steps)
    : QObject(window), m_window(window), m_steps(std::move(steps)) {}

void DriveSteps::Start() {
  QTimer::singleShot(50, this, [this] { Next(); });
}

void DriveSteps::Next() {
  if (m_next >= m_steps.size()) return;
  const QString step = m_steps[m_next++].trimmed();
  // The next step is due before this one is played: a step that opens a modal dialog
  // returns only when that dialog closes, and the steps must go on inside it.
  QTimer::singleShot(step.startsWith(u"wait ") ? step.mid(5).toInt() : 20, this, [this] { Next(); });
  if (!step.isEmpty() && !Play(step)) {
    std::fprintf(stderr, "lumora-consent: cannot play the step \"%s\"\n", step.toUtf8().constData());
    QApplication::exit(3);
  }
}

bool DriveSteps::Play(const QString& step) {
  const QStringList words = step.split(u' ', Qt::SkipEmptyParts);
  const QString& verb = words[0];
  QWidget* dialog = ActiveDialog(m_window);
  ConsentListView* list = m_window->List();
  if (verb == u"wait") return true;
  if (verb == u"dump") {
    Dump(m_window);
    return true;
  }
  if (verb == u"close") {
    dialog->close();
    return true;
  }
  if (verb == u"picture" && words.size() == 2) return dialog->grab().save(words[1]);
  if (verb == u"key" && words.size() >= 2) {
    int key = 0;
    QString text;
    if (!KeyOf(words[1], &key, &text)) return false;
    QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : dialog;
    const Qt::KeyboardModifiers modifiers = Modifiers(words, 2);
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(target, &release);
    return true;
  }
  if ((verb == u"click" || verb == u"focus") && words.size() == 2) {
    QWidget* control = dialog->findChild<QWidget*>(QStringLiteral("control-") + words[1]);
    if (control == nullptr || !control->isVisible()) return false;
    if (verb == u"focus") {
      control->setFocus(Qt::OtherFocusReason);
    } else {
      Click(control, control->rect().center(), Qt::LeftButton, {}, false);
    }
    return true;
  }
  if (verb.startsWith(u"row-") && words.size() >= 2) {
    const int row = words[1].toInt();
    if (row < 0 || row >= list->RowCount()) return false;
    const QPoint at(list->columnViewportPosition(0) + 4, list->RowRect(row).center().y());
    if (verb == u"row-click") {
      Click(list->viewport(), at, Qt::LeftButton, Modifiers(words, 2), false);
    } else if (verb == u"row-right-click") {
      Click(list->viewport(), at, Qt::RightButton, {}, false);
    } else if (verb == u"row-double-click") {
      Click(list->viewport(), at, Qt::LeftButton, {}, true);
    } else {
      return false;
    }
    return true;
  }
  if (verb == u"header-click" && words.size() == 2) {
    const int column = words[1].toInt();
    QHeaderView* header = list->header();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
    Click(header->viewport(), at, Qt::LeftButton, {}, false);
    return true;
  }
  return false;
}

}  // namespace lumora::consent
