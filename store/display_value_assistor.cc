// The display value assistors' own rules.
#include "display_value_assistor.h"

namespace lumora {

std::string PR_GDVACreateRequest::GetEnumLabel(LONG index) const {
  if (m_options == nullptr || m_options->empty()) return {};
  size_t position = 0;
  while (index > 1 && position + 1 < m_options->size()) {
    --index;
    ++position;
  }
  if (index < 1) position = m_options->size() - 1;
  return (*m_options)[position];
}

}  // namespace lumora
