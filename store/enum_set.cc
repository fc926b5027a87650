// CEnumSet: the Enums table's columns in field-exchange order.
#include "enum_set.h"

#include "common/settings_client.h"

namespace lumora {

CEnumSet::CEnumSet(CDaoDatabase* pDatabase) : CDaoRecordset(pDatabase) {
  m_nDefaultType = dbOpenDynaset;
  m_nFields = 3;
}

std::string CEnumSet::GetDefaultDBName() { return GetDatabasePath(); }

void CEnumSet::DoFieldExchange(CDaoFieldExchange* pFX) {
  pFX->SetFieldType(CDaoFieldExchange::outputColumn);
  DFX_Text(pFX, "[Label]", m_Label);
  DFX_Long(pFX, "[enumIndex]", m_enumIndex);
  DFX_Text(pFX, "[uki]", m_uki);
}

}  // namespace lumora
