// CArraySet: the Arrays table, one row per element of an array variable. Used by one
// thread.
#ifndef LUMORA_STORE_ARRAY_SET_H_
#define LUMORA_STORE_ARRAY_SET_H_

#include "platform/database/dao_recordset.h"

namespace lumora {

class CArraySet : public CDaoRecordset {
 public:
  explicit CArraySet(CDaoDatabase* pDatabase);

  std::string m_uki;
  std::string m_key;
  std::string m_value;

  std::string GetDefaultDBName() override;
  std::string GetDefaultSQL() override { return "[Arrays]"; }
  void DoFieldExchange(CDaoFieldExchange* pFX) override;
  const char* GetRuntimeClassName() const override { return "CArraySet"; }
};

}  // namespace lumora

#endif  // LUMORA_STORE_ARRAY_SET_H_
