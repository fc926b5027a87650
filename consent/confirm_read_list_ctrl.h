// CConfirmReadListCtrl: the read consent dialog's list. Its rows are PRDisplayReadItem
// objects, which it owns from the moment they are appended until it is destroyed.
#ifndef LUMORA_CONSENT_CONFIRM_READ_LIST_CTRL_H_
#define LUMORA_CONSENT_CONFIRM_READ_LIST_CTRL_H_

#include <memory>
#include <vector>

#include "display_read_item.h"
#include "our_list_ctrl.h"

namespace lumora {

class CConfirmReadListCtrl : public COurListCtrl {
 public:
  // The control identifier the dialog creates the list with.
  static constexpr int kControlId = 60897;

  // Takes the row and shows it at the end.
  void AppendReadRow(std::unique_ptr<PRDisplayReadItem> row);

  int GetSelectedItems(std::vector<ItemData>* data) const override;
  void SelectItems(const std::vector<ItemData>& data) override;
  // Column 0 the field name, column 1 the display text, any other column empty.
  std::string GetCellText(ItemData datum, size_t row, int column) const override;
  void DeleteItemData(ItemData datum) override;

 private:
  std::vector<std::unique_ptr<PRDisplayReadItem>> m_owned;
};

}  // namespace lumora

#endif  // LUMORA_CONSENT_CONFIRM_READ_LIST_CTRL_H_
