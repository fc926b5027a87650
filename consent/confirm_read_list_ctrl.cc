// The read consent dialog's list: owned rows and their two cell texts.
#include "confirm_read_list_ctrl.h"

#include <algorithm>

namespace lumora {

void CConfirmReadListCtrl::AppendReadRow(std::unique_ptr<PRDisplayReadItem> row) {
  PRDisplayReadItem* datum = row.get();
  m_owned.push_back(std::move(row));
  AppendRow(datum);
}

int CConfirmReadListCtrl::GetSelectedItems(std::vector<ItemData>* data) const {
  int count = 0;
  for (size_t row = 0; row < GetItemCount(); ++row) {
    if (!IsItemSelected(row)) continue;
    data->push_back(GetItemData(row));
    ++count;
  }
  return count;
}

void CConfirmReadListCtrl::SelectItems(const std::vector<ItemData>& data) {
  for (size_t row = 0; row < GetItemCount(); ++row) {
    if (std::find(data.begin(), data.end(), GetItemData(row)) != data.end()) SetItemSelected(row, true);
  }
}

std::string CConfirmReadListCtrl::GetCellText(ItemData datum, size_t, int column) const {
  const auto* row = static_cast<const PRDisplayReadItem*>(datum);
  if (row == nullptr) return {};
  if (column == 0) return row->m_fieldName;
  if (column == 1) return row->m_displayText;
  return {};
}

void CConfirmReadListCtrl::DeleteItemData(ItemData datum) {
  std::erase_if(m_owned, [&](const std::unique_ptr<PRDisplayReadItem>& row) { return row.get() == datum; });
}

}  // namespace lumora
