// CScratchSet: the Scratch table's columns in field-exchange order.
#include "scratch_set.h"

#include "common/settings_client.h"

namespace lumora {

CScratchSet::CScratchSet(CDaoDatabase* pDatabase) : CDaoRecordset(pDatabase) {
  m_nDefaultType = dbOpenDynaset;
  m_nFields = 3;
}

std::string CScratchSet::GetDefaultDBName() { return GetDatabasePath(); }

void CScratchSet::DoFieldExchange(CDaoFieldExchange* pFX) {
  pFX->SetFieldType(CDaoFieldExchange::outputColumn);
  DFX_Text(pFX, "[section]", m_section);
  DFX_Text(pFX, "[key]", m_key);
  DFX_Text(pFX, "[value]", m_value);
}

}  // namespace lumora
