// The write consent dialog's list.
#include "confirm_write_list_ctrl.h"

#include <algorithm>

namespace lumora {

bool NamesArrayElement(std::string_view uki) {
  const size_t open = uki.find('[');
  if (open == std::string_view::npos || uki.empty() || uki.back() != ']') return false;
  // The final "]" must lie after the first "[" with at least one character between.
  return uki.size() >= open + 3;
}

// Closing the dialog removes the rows; the changes stay in the queue that owns them.
CConfirmWriteListCtrl::~CConfirmWriteListCtrl() { DeleteAllItems(); }

void CConfirmWriteListCtrl::SelectOnly(const std::vector<size_t>& rows) {
  for (size_t row = 0; row < GetItemCount(); ++row) {
    SetItemSelected(row, std::find(rows.begin(), rows.end(), row) != rows.end());
  }
}

int CConfirmWriteListCtrl::GetSelectedItems(std::vector<ItemData>* data) const {
  int selected = 0;
  for (size_t row = 0; row < GetItemCount(); ++row) {
    if (!IsItemSelected(row)) continue;
    data->push_back(GetItemData(row));
    ++selected;
  }
  return selected;
}

void CConfirmWriteListCtrl::SelectItems(const std::vector<ItemData>& data) {
  for (size_t row = 0; row < GetItemCount(); ++row) {
    if (std::find(data.begin(), data.end(), GetItemData(row)) != data.end()) SetItemSelected(row, true);
  }
}

std::string CConfirmWriteListCtrl::GetCellText(ItemData datum, size_t, int column) const {
  const auto* change = static_cast<const WriteConsentRow*>(datum);
  switch (column) {
    case 0:
      return change->GetDisplayFieldName();
    case 1:
      return change->GetDisplayValue();
    case 2:
      return NamesArrayElement(change->GetUki()) ? std::string() : change->GetDisplayShareStatus();
    default:
      return {};
  }
}

}  // namespace lumora
