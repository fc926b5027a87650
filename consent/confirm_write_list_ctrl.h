// CConfirmWriteListCtrl: the write consent dialog's report list. Each row holds one queued
// change (a WriteConsentRow owned by the write queue, never by the list); the list keeps
// no text of its own and asks the row for a cell's text whenever the cell is shown, so a
// share status changed by a button shows at once. Selection is kept per row. Used on the
// caller's thread, inside its dialog.
#ifndef LUMORA_CONSENT_CONFIRM_WRITE_LIST_CTRL_H_
#define LUMORA_CONSENT_CONFIRM_WRITE_LIST_CTRL_H_

#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/consent_presenter.h"
#include "write_consent_row.h"

namespace lumora {

// Whether `uki` names one element of an array variable: it ends with "]" and the text
// between its first "[" and that final "]" is not empty.
bool NamesArrayElement(std::string_view uki);

class CConfirmWriteListCtrl {
 public:
  // Adds `count` left-aligned columns, column i headed by string firstStringId + i of the
  // string table and widths[i] pixels wide. False (and no further column) when a header
  // cannot be had.
  bool SetupColumns(int count, const int* widths, UINT firstStringId);
  const std::vector<ConsentColumn>& Columns() const { return m_columns; }

  // Appends a row at the end whose datum is `datum`; it starts unselected.
  void AppendRow(WriteConsentRow* datum);
  size_t GetItemCount() const { return m_rows.size(); }
  // Removes every row; the data stay with their owner.
  void DeleteAllItems();

  // Makes exactly the rows at `indexes` (list order) selected; indexes past the last row
  // select nothing.
  void SetSelection(const std::vector<size_t>& indexes);
  // Appends the datum of every selected row to *items, in row order.
  void GetSelectedItems(std::vector<WriteConsentRow*>* items) const;
  // Selects every row whose datum is in `items` (others keep their state).
  void SelectItems(const std::vector<WriteConsentRow*>& items);

  // Field name, value, and the share status; an array element's share status is empty,
  // because an element has none of its own.
  std::string GetCellText(const WriteConsentRow* datum, int column) const;
  // Every row's cell texts, in list order, as the list shows them now.
  std::vector<std::vector<std::string>> RowTexts() const;

 private:
  struct Row {
    WriteConsentRow* datum;
    bool selected;
  };

  std::vector<ConsentColumn> m_columns;
  std::vector<Row> m_rows;
};

}  // namespace lumora

#endif  // LUMORA_CONSENT_CONFIRM_WRITE_LIST_CTRL_H_
