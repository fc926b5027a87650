// The consent dialogs and the explanation dialog, laid out in dialog units.
#include "consent_window.h"

#include <QApplication>
#include <QGroupBox>
#include <QStringList>

#include "safe_text.h"

namespace lumora::consent {
namespace {

constexpr int kOk = 1;
constexpr int kDeny = 2;
constexpr int kExplanationButton = 202;
constexpr int kShareButton = 204;
constexpr int kPrivateButton = 205;
constexpr int kMessage = 206;
constexpr int kGroupBox = -1;
constexpr int kReadList = 60897;
constexpr int kWriteList = 60898;
// The top message is drawn in this blue, whatever the desktop's colours.
const QColor kMessageColour(0, 100, 255);

// A button's text broken into lines that fit its width (a multi-line button), with any
// '&' doubled so that it is shown rather than taken for an accelerator.
QString ButtonText(const std::string& text, const QFontMetrics& metrics, int width) {
  const QString plain = ShownText(text, false);
  QStringList lines;
  QString line;
  for (const QString& word : plain.split(u' ', Qt::SkipEmptyParts)) {
    const QString longer = line.isEmpty() ? word : line + u' ' + word;
    if (!line.isEmpty() && metrics.horizontalAdvance(longer) > width) {
      lines << line;
      line = word;
    } else {
      line = longer;
    }
  }
  if (!line.isEmpty()) lines << line;
  QString joined = lines.join(u'\n');
  joined.replace(u'&', QStringLiteral("&&"));
  return joined;
}

QLabel* PlainLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(parent);
  // Texts carry the calling program's message and company name: never markup.
  label->setTextFormat(Qt::PlainText);
  label->setText(text);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

}  // namespace

ExplanationWindow::ExplanationWindow(const std::string& caption, const std::string& text) : QDialog(nullptr) {
  const DialogUnits units(font());
  setWindowTitle(ShownText(caption, false));
  setObjectName(QStringLiteral("explanation"));
  setFixedSize(units.Size(266, 175));
  // The text is the unnamed introduction, a blank line, then the explanation proper.
  const size_t split = text.find("\n\n");
  const std::string first = split == std::string::npos ? std::string() : text.substr(0, split);
  const std::string second = split == std::string::npos ? text : text.substr(split + 2);
  QLabel* introduction = PlainLabel(ShownText(first, true), this);
  introduction->setGeometry(units.Rect(17, 19, 216, 36));
  QLabel* explanation = PlainLabel(ShownText(second, true), this);
  explanation->setGeometry(units.Rect(19, 60, 217, 61));
  explanation->setObjectName(QStringLiteral("control-210"));
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("control-1"));
  ok->setGeometry(units.Rect(209, 154, 50, 14));
  ok->setDefault(true);
  ok->setFocus();
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

ConsentWindow::ConsentWindow(const ConsentDialogModel& model) : QDialog(nullptr), m_model(model), m_units(font()) {
  setWindowTitle(ShownText(m_model.caption, false));
  setObjectName(m_model.kind == ConsentKind::kWrite ? QStringLiteral("write") : QStringLiteral("read"));
  if (m_model.kind == ConsentKind::kWrite) {
    BuildWriteDialog();
  } else {
    BuildReadDialog();
  }
  // The message stands out in its own blue.
  if (QWidget* message = Control(kMessage)) {
    QPalette colours = message->palette();
    colours.setColor(QPalette::WindowText, kMessageColour);
    message->setPalette(colours);
  }
  if (auto* allow = qobject_cast<QPushButton*>(Control(kOk))) {
    allow->setDefault(true);
    connect(allow, &QPushButton::clicked, this, [this] {
      m_reply.answer = ConsentAnswer::kAllow;
      accept();
    });
  }
  if (auto* deny = qobject_cast<QPushButton*>(Control(kDeny))) {
    connect(deny, &QPushButton::clicked, this, [this] {
      m_reply.answer = ConsentAnswer::kDeny;
      done(QDialog::Rejected);
    });
  }
  if (auto* explain = qobject_cast<QPushButton*>(Control(kExplanationButton))) {
    connect(explain, &QPushButton::clicked, this, [this] { ShowExplanation(); });
  }
  if (auto* shared = qobject_cast<QPushButton*>(Control(kShareButton))) {
    connect(shared, &QPushButton::clicked, this, [this] { PressShareButton(true); });
  }
  if (auto* privately = qobject_cast<QPushButton*>(Control(kPrivateButton))) {
    connect(privately, &QPushButton::clicked, this, [this] { PressShareButton(false); });
  }
  // The keyboard starts in the list, on its first row, with nothing selected yet.
  if (m_list->RowCount() > 0) {
    m_list->selectionModel()->setCurrentIndex(m_list->model()->index(0, 0), QItemSelectionModel::NoUpdate);
  }
  m_list->setFocus();
}

const std::string& ConsentWindow::Text(int control) const {
  static const std::string kNone;
  for (const auto& [id, text] : m_model.texts) {
    if (id == control) return text;
  }
  return kNone;
}

QWidget* ConsentWindow::Control(int control) const {
  const auto found = m_controls.find(control);
  return found != m_controls.end() ? found->second : nullptr;
}

QLabel* ConsentWindow::AddText(int control, int left, int top, int width, int height) {
  QLabel* label = PlainLabel(ShownText(Text(control), true), this);
  label->setGeometry(m_units.Rect(left, top, width, height));
  label->setObjectName(QStringLiteral("control-%1").arg(control));
  m_controls[control] = label;
  return label;
}

QPushButton* ConsentWindow::AddButton(int control, int left, int top, int width, int height) {
  const QRect area = m_units.Rect(left, top, width, height);
  auto* button = new QPushButton(this);
  // A text that needs more lines than the button has room for is set a little smaller,
  // as far as it stays readable, rather than cut.
  QFont font = button->font();
  QString text;
  for (;;) {
    const QFontMetrics metrics(font);
    text = ButtonText(Text(control), metrics, area.width() - 6);
    const int lines = static_cast<int>(text.count(u'\n')) + 1;
    if (lines * metrics.lineSpacing() <= area.height() - 2 || font.pointSizeF() <= 6.0) break;
    font.setPointSizeF(font.pointSizeF() - 0.5);
  }
  button->setFont(font);
  button->setText(text);
  button->setGeometry(area);
  button->setObjectName(QStringLiteral("control-%1").arg(control));
  button->setAccessibleName(ShownText(Text(control), false));
  button->setAutoDefault(true);
  m_controls[control] = button;
  return button;
}

void ConsentWindow::AddList(int control, int left, int top, int width, int height) {
  const QString name =
      m_model.kind == ConsentKind::kWrite ? ShownText(Text(kGroupBox), false) : QStringLiteral("Information requested");
  m_list = new ConsentListView(m_model.columns, m_model.rows, name, this);
  m_list->setGeometry(m_units.Rect(left, top, width, height));
  m_list->setObjectName(QStringLiteral("control-%1").arg(control));
  m_controls[control] = m_list;
}

void ConsentWindow::BuildReadDialog() {
  setFixedSize(m_units.Size(289, 247));
  AddText(kMessage, 7, 7, 273, 44);
  AddText(207, 7, 61, 275, 39);
  AddList(kReadList, 7, 106, 275, 104);
  AddText(208, 2, 225, 43, 18);
  QPushButton* explain = AddButton(kExplanationButton, 52, 226, 72, 14);
  QPushButton* allow = AddButton(kOk, 138, 226, 50, 14);
  QPushButton* deny = AddButton(kDeny, 197, 226, 50, 14);
  setTabOrder(m_list, explain);
  setTabOrder(explain, allow);
  setTabOrder(allow, deny);
}

void ConsentWindow::BuildWriteDialog() {
  setFixedSize(m_units.Size(309, 263));
  AddText(kMessage, 7, 7, 295, 16);
  AddText(207, 7, 28, 295, 31);
  auto* group = new QGroupBox(this);
  QString title = ShownText(Text(kGroupBox), false);
  group->setTitle(title.replace(u'&', QStringLiteral("&&")));
  group->setGeometry(m_units.Rect(7, 59, 295, 137));
  group->setObjectName(QStringLiteral("group"));
  group->setFocusPolicy(Qt::NoFocus);
  AddText(208, 13, 70, 258, 33);
  AddList(kWriteList, 14, 107, 282, 68);
  QPushButton* privately = AddButton(kPrivateButton, 189, 177, 50, 14);
  QPushButton* shared = AddButton(kShareButton, 246, 177, 50, 14);
  AddText(209, 7, 197, 295, 24);
  QPushButton* explain = AddButton(kExplanationButton, 7, 237, 91, 19);
  QPushButton* allow = AddButton(kOk, 173, 242, 50, 14);
  QPushButton* deny = AddButton(kDeny, 252, 242, 50, 14);
  setTabOrder(m_list, privately);
  setTabOrder(privately, shared);
  setTabOrder(shared, explain);
  setTabOrder(explain, allow);
  setTabOrder(allow, deny);
}

void ConsentWindow::PressShareButton(bool shared) {
  const std::vector<size_t> rows = m_list->SelectedRows();
  if (!rows.empty() && m_model.shareColumn >= 0) {
    m_reply.actions.push_back(ConsentAction{rows, shared});
    // As the dialog's own logic will: array elements keep their empty status.
    const QString status = ShownText(shared ? m_model.sharedText : m_model.privateText, false);
    for (const size_t row : rows) {
      if (row < m_model.switchable.size() && m_model.switchable[row]) {
        m_list->SetCellText(static_cast<int>(row), m_model.shareColumn, status);
      }
    }
  }
  m_list->setFocus();
  m_list->RepaintRows(rows);
}

void ConsentWindow::ShowExplanation() {
  QWidget* focus = QApplication::focusWidget();
  ExplanationWindow explanation(m_model.explanationCaption, m_model.explanation);
  explanation.exec();
  // Back in this dialog where the user left it.
  activateWindow();
  if (focus != nullptr) focus->setFocus(Qt::OtherFocusReason);
}

void ConsentWindow::reject() {
  // The close box and Escape; Deny ends the dialog by itself.
  m_reply.answer = ConsentAnswer::kClose;
  QDialog::reject();
}

}  // namespace lumora::consent
