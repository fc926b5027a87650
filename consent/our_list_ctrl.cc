// The consent dialogs' list: columns, rows of item data, selection, cell texts.
#include "our_list_ctrl.h"

#include <algorithm>

#include "common/resources.h"

namespace lumora {
namespace {

// The first `characters` characters of a UTF-8 text (a character begins at every byte
// that is not a continuation byte).
std::string FirstCharacters(std::string text, size_t characters) {
  size_t seen = 0;
  for (size_t pos = 0; pos < text.size(); ++pos) {
    if ((static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) continue;
    if (seen++ == characters) {
      text.resize(pos);
      break;
    }
  }
  return text;
}

}  // namespace

bool COurListCtrl::SetupColumns(int count, const int* widths, UINT firstStringId) {
  for (int i = 0; i < count; ++i) {
    std::string header = LoadResourceString(firstStringId + static_cast<UINT>(i));
    if (header.empty()) return false;
    m_columns.push_back({std::move(header), widths[i]});
  }
  return true;
}

void COurListCtrl::AppendRow(ItemData datum) { m_rows.push_back({datum, false}); }

void COurListCtrl::SetItemSelected(size_t row, bool selected) {
  if (row < m_rows.size()) m_rows[row].selected = selected;
}

int COurListCtrl::GetSelectedItems(std::vector<ItemData>*) const { return -1; }
void COurListCtrl::SelectItems(const std::vector<ItemData>&) {}
bool COurListCtrl::ColumnHasIcon(int) const { return false; }
std::string COurListCtrl::GetCellText(ItemData, size_t, int) const { return {}; }
void COurListCtrl::DeleteItemData(ItemData) {}

void COurListCtrl::Refill(const std::vector<ItemData>& data) {
  std::vector<ItemData> selected;
  GetSelectedItems(&selected);
  for (const Row& row : m_rows) {
    if (std::find(data.begin(), data.end(), row.datum) == data.end()) DeleteItemData(row.datum);
  }
  m_rows.clear();
  for (ItemData datum : data) AppendRow(datum);
  SelectItems(selected);
}

std::vector<std::vector<std::string>> COurListCtrl::CellTexts() const {
  std::vector<std::vector<std::string>> texts;
  texts.reserve(m_rows.size());
  for (size_t row = 0; row < m_rows.size(); ++row) {
    std::vector<std::string>& cells = texts.emplace_back();
    for (size_t column = 0; column < m_columns.size(); ++column) {
      cells.push_back(
          ColumnHasIcon(static_cast<int>(column))
              ? std::string()
              : FirstCharacters(GetCellText(m_rows[row].datum, row, static_cast<int>(column)), kMaxCellTextCharacters));
    }
  }
  return texts;
}

}  // namespace lumora
