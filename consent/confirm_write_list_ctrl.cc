// The write consent dialog's list.
#include "confirm_write_list_ctrl.h"

#include <algorithm>

#include "common/resources.h"

namespace lumora {

bool NamesArrayElement(std::string_view uki) {
  const size_t open = uki.find('[');
  if (open == std::string_view::npos || uki.empty() || uki.back() != ']') return false;
  // The final "]" must lie after the first "[" with at least one character between.
  return uki.size() >= open + 3;
}

bool CConfirmWriteListCtrl::SetupColumns(int count, const int* widths, UINT firstStringId) {
  for (int i = 0; i < count; ++i) {
    std::string header = LoadResourceString(firstStringId + static_cast<UINT>(i));
    if (header.empty()) return false;
    m_columns.push_back({std::move(header), widths[i]});
  }
  return true;
}

void CConfirmWriteListCtrl::AppendRow(WriteConsentRow* datum) { m_rows.push_back({datum, false}); }

void CConfirmWriteListCtrl::DeleteAllItems() { m_rows.clear(); }

void CConfirmWriteListCtrl::SetSelection(const std::vector<size_t>& indexes) {
  for (Row& row : m_rows) row.selected = false;
  for (size_t index : indexes) {
    if (index < m_rows.size()) m_rows[index].selected = true;
  }
}

void CConfirmWriteListCtrl::GetSelectedItems(std::vector<WriteConsentRow*>* items) const {
  for (const Row& row : m_rows) {
    if (row.selected) items->push_back(row.datum);
  }
}

void CConfirmWriteListCtrl::SelectItems(const std::vector<WriteConsentRow*>& items) {
  for (Row& row : m_rows) {
    if (std::find(items.begin(), items.end(), row.datum) != items.end()) row.selected = true;
  }
}

std::string CConfirmWriteListCtrl::GetCellText(const WriteConsentRow* datum, int column) const {
  switch (column) {
    case 0:
      return datum->GetDisplayFieldName();
    case 1:
      return datum->GetDisplayValue();
    case 2:
      return NamesArrayElement(datum->GetUki()) ? std::string() : datum->GetDisplayShareStatus();
    default:
      return {};
  }
}

std::vector<std::vector<std::string>> CConfirmWriteListCtrl::RowTexts() const {
  std::vector<std::vector<std::string>> texts;
  texts.reserve(m_rows.size());
  for (const Row& row : m_rows) {
    std::vector<std::string> cells;
    for (size_t column = 0; column < m_columns.size(); ++column) {
      cells.push_back(GetCellText(row.datum, static_cast<int>(column)));
    }
    texts.push_back(std::move(cells));
  }
  return texts;
}

}  // namespace lumora
