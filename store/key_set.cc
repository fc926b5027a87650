// CKeySet: the Main table's columns in field-exchange order, its enum recordset, and the
// process-wide display text of arrays.
#include "key_set.h"

#include <mutex>

#include "common/resources.h"
#include "common/settings_client.h"

namespace lumora {
namespace {

std::string& MultipleValues() {
  static std::string text;  // written once, under the once flag below
  return text;
}
std::once_flag g_multipleValuesLoaded;

}  // namespace

const std::string& MultipleValuesText() {
  std::call_once(g_multipleValuesLoaded, [] { MultipleValues() = LoadResourceString(IDS_MULTIPLE_VALUES); });
  return MultipleValues();
}

CKeySet::CKeySet(CDaoDatabase* pDatabase, int openType) : CDaoRecordset(pDatabase) {
  m_nDefaultType = openType;
  m_nFields = 10;
  MultipleValuesText();
}

CKeySet::~CKeySet() = default;

std::string CKeySet::GetDefaultDBName() { return GetDatabasePath(); }

void CKeySet::DoFieldExchange(CDaoFieldExchange* pFX) {
  pFX->SetFieldType(CDaoFieldExchange::outputColumn);
  DFX_Text(pFX, "[Section]", m_Section);
  DFX_Text(pFX, "[Key]", m_Key);
  DFX_Text(pFX, "[Value]", m_Value);
  DFX_Text(pFX, "[FieldName]", m_FieldName);
  DFX_Byte(pFX, "[Privacy]", m_Privacy);
  DFX_Short(pFX, "[Type]", m_Type);
  DFX_Byte(pFX, "[Volatility]", m_Volatility);
  DFX_Bool(pFX, "[IsReadOnly]", m_IsReadOnly);
  DFX_Bool(pFX, "[IsLinked]", m_IsLinked);
  DFX_DateTime(pFX, "[LastShared]", m_LastShared);
}

CEnumSet& CKeySet::EnumSet() {
  if (!m_pEnumSet) {
    auto enums = std::make_unique<CEnumSet>(m_pDatabase);
    enums->Open();
    m_pEnumSet = std::move(enums);
  }
  return *m_pEnumSet;
}

}  // namespace lumora
