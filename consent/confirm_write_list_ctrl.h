// CConfirmWriteListCtrl: the write consent dialog's list. Each row's datum is one queued
// change (a WriteConsentRow owned by the write queue, never by the list), asked for a
// cell's text whenever the cell is shown, so a share status changed by a button shows
// at once. Lives inside its dialog, on the dialog's thread.
#ifndef LUMORA_CONSENT_CONFIRM_WRITE_LIST_CTRL_H_
#define LUMORA_CONSENT_CONFIRM_WRITE_LIST_CTRL_H_

#include <string>
#include <string_view>
#include <vector>

#include "our_list_ctrl.h"
#include "write_consent_row.h"

namespace lumora {

// Whether `uki` names one element of an array variable: it ends with "]" and the text
// between its first "[" and that final "]" is not empty.
bool NamesArrayElement(std::string_view uki);

class CConfirmWriteListCtrl final : public COurListCtrl {
 public:
  ~CConfirmWriteListCtrl() override;

  void AppendWriteRow(WriteConsentRow* row) { AppendRow(row); }
  // Makes exactly the rows at `rows` (list order) selected; indexes past the last row
  // select nothing.
  void SelectOnly(const std::vector<size_t>& rows);

  // The data of the selected rows, in row order; their number.
  int GetSelectedItems(std::vector<ItemData>* data) const override;
  // Selects every row whose datum is in `data`.
  void SelectItems(const std::vector<ItemData>& data) override;
  // Field name, value, and the share status; an array element's share status is empty,
  // because an element has none of its own.
  std::string GetCellText(ItemData datum, size_t row, int column) const override;
};

}  // namespace lumora

#endif  // LUMORA_CONSENT_CONFIRM_WRITE_LIST_CTRL_H_
