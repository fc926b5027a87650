// CArraySet: the Arrays table's columns in field-exchange order.
#include "array_set.h"

#include "common/settings_client.h"

namespace lumora {

CArraySet::CArraySet(CDaoDatabase* pDatabase) : CDaoRecordset(pDatabase) {
  m_nDefaultType = dbOpenSnapshot;
  m_nFields = 3;
}

std::string CArraySet::GetDefaultDBName() { return GetDatabasePath(); }

void CArraySet::DoFieldExchange(CDaoFieldExchange* pFX) {
  pFX->SetFieldType(CDaoFieldExchange::outputColumn);
  DFX_Text(pFX, "[uki]", m_uki);
  DFX_Text(pFX, "[key]", m_key);
  DFX_Text(pFX, "[value]", m_value);
}

}  // namespace lumora
