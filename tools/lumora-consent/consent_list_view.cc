// The consent dialogs' row list, drawn row by row.
#include "consent_list_view.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QStringList>
#include <algorithm>

#include "safe_text.h"

namespace lumora::consent {

QString FittedCellText(const QString& text, const QFontMetrics& metrics, int width) {
  QString line = text;
  // One line: breaks and tabs show as blanks rather than starting a new line.
  for (QChar& c : line) {
    if (c == u'\n' || c == u'\r' || c == u'\t') c = u' ';
  }
  return metrics.elidedText(line, Qt::ElideRight, std::max(0, width));
}

ConsentListView::ConsentListView(const std::vector<ConsentColumn>& columns,
                                 const std::vector<std::vector<std::string>>& rows, const QString& name,
                                 QWidget* parent)
    : QTreeView(parent), m_model(static_cast<int>(rows.size()), static_cast<int>(columns.size())) {
  for (size_t c = 0; c < columns.size(); ++c) {
    m_model.setHeaderData(static_cast<int>(c), Qt::Horizontal, ShownText(columns[c].header, false));
  }
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t c = 0; c < columns.size() && c < rows[r].size(); ++c) {
      auto* item = new QStandardItem(ShownText(rows[r][c], false));
      item->setEditable(false);
      m_model.setItem(static_cast<int>(r), static_cast<int>(c), item);
    }
  }
  setModel(&m_model);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSortingEnabled(false);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setContextMenuPolicy(Qt::NoContextMenu);
  setFocusPolicy(Qt::StrongFocus);
  setFrameShape(QFrame::StyledPanel);
  header()->setSectionsClickable(false);
  header()->setSectionsMovable(false);
  header()->setStretchLastSection(false);
  for (size_t c = 0; c < columns.size(); ++c) setColumnWidth(static_cast<int>(c), columns[c].width);
  setAccessibleName(name);
}

QString ConsentListView::CellText(int row, int column) const {
  return m_model.data(m_model.index(row, column)).toString();
}

void ConsentListView::SetCellText(int row, int column, const QString& text) {
  m_model.setData(m_model.index(row, column), text);
}

QVariant ConsentRowModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::AccessibleTextRole && role != Qt::AccessibleDescriptionRole) {
    return QStandardItemModel::data(index, role);
  }
  // A screen reader names each cell with its column ("Value: 43"), and hears the row
  // whole as the first cell's description; both follow the share buttons' changes.
  const auto named = [&](int column) {
    const QString text = QStandardItemModel::data(this->index(index.row(), column)).toString();
    const QString header = headerData(column, Qt::Horizontal).toString();
    return text.isEmpty() ? header : header + QStringLiteral(": ") + text;
  };
  if (role == Qt::AccessibleTextRole) return named(index.column());
  if (index.column() != 0) return {};
  QStringList whole;
  for (int column = 0; column < columnCount(); ++column) {
    if (!QStandardItemModel::data(this->index(index.row(), column)).toString().isEmpty()) whole << named(column);
  }
  return whole.join(QStringLiteral(", "));
}

std::vector<size_t> ConsentListView::SelectedRows() const {
  std::vector<size_t> rows;
  for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(static_cast<size_t>(index.row()));
  std::sort(rows.begin(), rows.end());
  return rows;
}

QRect ConsentListView::RowRect(int row) const {
  QRect area = visualRect(m_model.index(row, 0));
  area.setLeft(0);
  area.setRight(viewport()->width());
  return area;
}

void ConsentListView::RepaintRows(const std::vector<size_t>& rows) {
  for (const size_t row : rows) viewport()->repaint(RowRect(static_cast<int>(row)));
}

void ConsentListView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const int row = index.row();
  const bool focused = hasFocus();
  const bool highlighted = focused && selectionModel()->isRowSelected(row, QModelIndex());
  const QPalette& colours = palette();
  // From the row's left edge across every column to the right end of the row.
  const QRect area(option.rect.left(), option.rect.top(), viewport()->width() - option.rect.left(),
                   option.rect.height());
  painter->save();
  painter->fillRect(area, highlighted ? colours.color(QPalette::Active, QPalette::Highlight)
                                      : colours.color(QPalette::Active, QPalette::Base));
  painter->setPen(highlighted ? colours.color(QPalette::Active, QPalette::HighlightedText)
                              : colours.color(QPalette::Active, QPalette::Text));
  const QFontMetrics metrics(font());
  for (int column = 0; column < m_model.columnCount(); ++column) {
    const QRect cell(columnViewportPosition(column), option.rect.top(), columnWidth(column), option.rect.height());
    const QRect inner = cell.adjusted(kCellMargin, 0, -kCellMargin, 0);
    const QString text = CellText(row, column);
    if (text.isEmpty()) continue;
    // No mnemonic flag: an '&' in a field name or value is drawn as it is. Not clipped,
    // as the text is already cut to the cell with its ellipsis.
    painter->drawText(inner, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip,
                      FittedCellText(text, metrics, inner.width()));
  }
  if (focused && currentIndex().isValid() && currentIndex().row() == row) {
    // The dotted frame the desktop has always drawn round the focused row, in the
    // row's own text colour so that it shows on either background.
    painter->setPen(QPen(painter->pen().color(), 1, Qt::DotLine));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(area.adjusted(0, 0, -1, -1));
  }
  painter->restore();
}

void ConsentListView::RepaintSelection() { RepaintRows(SelectedRows()); }

void ConsentListView::focusInEvent(QFocusEvent* event) {
  QTreeView::focusInEvent(event);
  RepaintSelection();
  if (currentIndex().isValid()) viewport()->repaint(RowRect(currentIndex().row()));
}

void ConsentListView::focusOutEvent(QFocusEvent* event) {
  QTreeView::focusOutEvent(event);
  RepaintSelection();
  if (currentIndex().isValid()) viewport()->repaint(RowRect(currentIndex().row()));
}

void ConsentListView::keyPressEvent(QKeyEvent* event) {
  // Space selects or unselects the current row, with or without Ctrl, so that rows far
  // apart can be chosen from the keyboard (Ctrl+arrows move without selecting).
  if (event->key() == Qt::Key_Space && (event->modifiers() & ~Qt::ControlModifier) == Qt::NoModifier) {
    if (currentIndex().isValid()) {
      selectionModel()->select(currentIndex(), QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
      viewport()->repaint(RowRect(currentIndex().row()));
    }
    event->accept();
    return;
  }
  QTreeView::keyPressEvent(event);
}

void ConsentListView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    event->accept();  // right and middle clicks do nothing
    return;
  }
  QTreeView::mousePressEvent(event);
}

void ConsentListView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    event->accept();
    return;
  }
  QTreeView::mouseReleaseEvent(event);
}

void ConsentListView::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }

}  // namespace lumora::consent
