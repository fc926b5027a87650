// ConsentListView: the consent dialogs' row list. It draws whole rows itself, as the
// component's list control does: selection colours only while the list has the keyboard
// focus (repainted at once when the focus comes and goes), each cell's text on one line
// within 2-pixel margins and cut with an ellipsis, '&' shown as itself, a focus rectangle
// on the current row while focused. Header clicks, double clicks and right clicks change
// nothing; several rows may be selected, with the mouse or the keyboard (arrows, Shift,
// Ctrl and Space). The GUI thread only.
#ifndef LUMORA_TOOLS_LUMORA_CONSENT_CONSENT_LIST_VIEW_H_
#define LUMORA_TOOLS_LUMORA_CONSENT_CONSENT_LIST_VIEW_H_

#include <QStandardItemModel>
#include <QTreeView>
#include <string>
#include <vector>

#include "platform/ui/consent_presenter.h"

namespace lumora::consent {

// The space kept free on each side of a cell's text.
inline constexpr int kCellMargin = 2;

// The rows' texts, and what a screen reader hears of them.
class ConsentRowModel : public QStandardItemModel {
 public:
  using QStandardItemModel::QStandardItemModel;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
};

class ConsentListView : public QTreeView {
 public:
  // `name` is what a screen reader calls the list.
  ConsentListView(const std::vector<ConsentColumn>& columns, const std::vector<std::vector<std::string>>& rows,
                  const QString& name, QWidget* parent);

  int RowCount() const { return m_model.rowCount(); }
  QString CellText(int row, int column) const;
  void SetCellText(int row, int column, const QString& text);
  // The selected rows, in list order.
  std::vector<size_t> SelectedRows() const;
  // Repaints the given rows now, not when the event loop comes round.
  void RepaintRows(const std::vector<size_t>& rows);
  // The area a row is painted in, in viewport coordinates.
  QRect RowRect(int row) const;

 protected:
  void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void RepaintSelection();

  ConsentRowModel m_model;
};

// The text of a cell as drawn in `width` pixels with `metrics`: one line, cut with an
// ellipsis at its end when it does not fit.
QString FittedCellText(const QString& text, const QFontMetrics& metrics, int width);

}  // namespace lumora::consent

#endif  // LUMORA_TOOLS_LUMORA_CONSENT_CONSENT_LIST_VIEW_H_
