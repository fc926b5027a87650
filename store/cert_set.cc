// CCertSet: the Certs table's columns in field-exchange order, and usage packing.
#include "cert_set.h"

#include "common/settings_client.h"

namespace lumora {

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

}  // namespace lumora
