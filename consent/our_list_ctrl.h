// COurListCtrl: the report list both consent dialogs show their rows in. The list holds
// one item datum per row (the owning dialog's row object) and no text: it asks
// GetCellText for a cell's text whenever the cell is shown. Derived lists supply the row
// handling. Lives inside its dialog, on the dialog's thread.
#ifndef LUMORA_CONSENT_OUR_LIST_CTRL_H_
#define LUMORA_CONSENT_OUR_LIST_CTRL_H_

#include <cstddef>
#include <string>
#include <vector>

#include "lumora/automation.h"
#include "platform/ui/consent_presenter.h"

namespace lumora {

// A cell shows at most this many characters of its text (then the drawing cuts what
// does not fit the column with an ellipsis).
inline constexpr size_t kMaxCellTextCharacters = 260;

class COurListCtrl {
 public:
  using ItemData = void*;

  COurListCtrl() = default;
  virtual ~COurListCtrl() = default;
  COurListCtrl(const COurListCtrl&) = delete;
  COurListCtrl& operator=(const COurListCtrl&) = delete;

  // For i from 0 to count - 1: a left-aligned column headed by string firstStringId + i
  // of the string table, `widths[i]` pixels wide. False (and the columns so far kept)
  // when a header string is missing.
  bool SetupColumns(int count, const int* widths, UINT firstStringId);
  // A row at the end whose texts are asked for when shown.
  void AppendRow(ItemData datum);
  size_t GetItemCount() const { return m_rows.size(); }
  ItemData GetItemData(size_t row) const { return m_rows[row].datum; }
  // Removes every row; the data stay with whoever owns them.
  void DeleteAllItems() { m_rows.clear(); }

  void SetItemSelected(size_t row, bool selected);
  bool IsItemSelected(size_t row) const { return m_rows[row].selected; }

  // The data of the selected rows, in row order; the base list answers -1 and adds none.
  virtual int GetSelectedItems(std::vector<ItemData>* data) const;
  // Selects every row whose datum is in `data`; the base list does nothing.
  virtual void SelectItems(const std::vector<ItemData>& data);
  virtual bool ColumnHasIcon(int column) const;
  // The text of one cell; the base list's cells are empty.
  virtual std::string GetCellText(ItemData datum, size_t row, int column) const;
  // Frees a datum the list owns; the base list owns none.
  virtual void DeleteItemData(ItemData datum);

  // Shows `data` instead of the present rows, keeping the selection of the data that
  // stay. Rows whose datum is not shown again are freed (DeleteItemData).
  void Refill(const std::vector<ItemData>& data);

  // What a presenter shows: the columns, and each row's cell texts as drawn.
  const std::vector<ConsentColumn>& Columns() const { return m_columns; }
  std::vector<std::vector<std::string>> CellTexts() const;

 private:
  struct Row {
    ItemData datum;
    bool selected;
  };
  std::vector<ConsentColumn> m_columns;
  std::vector<Row> m_rows;
};

}  // namespace lumora

#endif  // LUMORA_CONSENT_OUR_LIST_CTRL_H_
