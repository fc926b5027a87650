// CEnumSet: the Enums table, the labels of enumeration variables. Used by one thread.
#ifndef LUMORA_STORE_ENUM_SET_H_
#define LUMORA_STORE_ENUM_SET_H_

#include "platform/database/dao_recordset.h"

namespace lumora {

class CEnumSet : public CDaoRecordset {
 public:
  explicit CEnumSet(CDaoDatabase* pDatabase);

  std::string m_Label;
  LONG m_enumIndex = 0;
  std::string m_uki;

  std::string GetDefaultDBName() override;
  std::string GetDefaultSQL() override { return "[Enums]"; }
  void DoFieldExchange(CDaoFieldExchange* pFX) override;
  const char* GetRuntimeClassName() const override { return "CEnumSet"; }
};

}  // namespace lumora

#endif  // LUMORA_STORE_ENUM_SET_H_
