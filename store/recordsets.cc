// The five recordset classes: their columns in field-exchange order, and usage packing.
#include <mutex>

#include "array_set.h"
#include "cert_set.h"
#include "enum_set.h"
#include "key_set.h"
#include "common/resources.h"
#include "common/settings_client.h"
#include "scratch_set.h"

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

CCertSet::CCertSet(CDaoDatabase* pDatabase) : CDaoRecordset(pDatabase) {
  m_nDefaultType = dbOpenDynaset;
  m_nFields = 4;
}

std::string CCertSet::GetDefaultDBName() { return GetDatabasePath(); }

void CCertSet::DoFieldExchange(CDaoFieldExchange* pFX) {
  pFX->SetFieldType(CDaoFieldExchange::outputColumn);
  DFX_Text(pFX, "[Section]", m_Section);
  DFX_Long(pFX, "[Usage]", m_Usage);
  DFX_Text(pFX, "[Cert]", m_Cert);
  DFX_LongBinary(pFX, "[CertData]", m_CertData, 32768, AFX_DAO_DISABLE_FIELD_CACHE);
}

CertUsage DecodeUsage(LONG stored) {
  if (stored == 0) return {0, 0};
  if (stored == 1) return {1, 0};
  if (stored >= 100 && stored <= 59999) return {0, stored - 99};
  if (stored >= 60000 && stored <= 119999) return {1, stored - 59999};
  return {2, -1};
}

LONG EncodeUsage(int usageClass, LONG sequenceNumber) {
  switch (usageClass) {
    case 0:
      return sequenceNumber == 0 ? 0 : sequenceNumber + 99;
    case 1:
      return sequenceNumber == 0 ? 1 : sequenceNumber + 59999;
    default:
      return 2;
  }
}

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
