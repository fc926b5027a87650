// CCertSet: the Certs table, signing certificates registered for sections; and the
// packing of a row's usage class and sequence number into its Usage column. Used by one
// thread.
#ifndef LUMORA_STORE_CERT_SET_H_
#define LUMORA_STORE_CERT_SET_H_

#include <vector>

#include "platform/database/dao_recordset.h"

namespace lumora {

// Usage classes: 0 and 1 as stored, 2 for a value outside both ranges (no class).
struct CertUsage {
  int usageClass;
  LONG sequenceNumber;  // -1 for no class
};
CertUsage DecodeUsage(LONG stored);
// The stored value for sequence number n in a row of class `usageClass`.
LONG EncodeUsage(int usageClass, LONG sequenceNumber);

class CCertSet : public CDaoRecordset {
 public:
  explicit CCertSet(CDaoDatabase* pDatabase);

  std::string m_Section;
  LONG m_Usage = 0;
  std::string m_Cert;
  std::vector<BYTE> m_CertData;

  int UsageClass() const { return DecodeUsage(m_Usage).usageClass; }
  LONG SequenceNumber() const { return DecodeUsage(m_Usage).sequenceNumber; }
  // Keeps the row's class.
  void SetSequenceNumber(LONG sequenceNumber) { m_Usage = EncodeUsage(UsageClass(), sequenceNumber); }

  std::string GetDefaultDBName() override;
  std::string GetDefaultSQL() override { return "[Certs]"; }
  void DoFieldExchange(CDaoFieldExchange* pFX) override;
  const char* GetRuntimeClassName() const override { return "CCertSet"; }
};

}  // namespace lumora

#endif  // LUMORA_STORE_CERT_SET_H_
