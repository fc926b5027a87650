// CScratchSet: the Scratch table, free key/value pairs of a section. Used by one thread.
#ifndef LUMORA_STORE_SCRATCH_SET_H_
#define LUMORA_STORE_SCRATCH_SET_H_

#include "platform/database/dao_recordset.h"

namespace lumora {

class CScratchSet : public CDaoRecordset {
 public:
  explicit CScratchSet(CDaoDatabase* pDatabase);

  std::string m_section;
  std::string m_key;
  std::string m_value;

  std::string GetDefaultDBName() override;
  std::string GetDefaultSQL() override { return "[Scratch]"; }
  void DoFieldExchange(CDaoFieldExchange* pFX) override;
  const char* GetRuntimeClassName() const override { return "CScratchSet"; }
};

}  // namespace lumora

#endif  // LUMORA_STORE_SCRATCH_SET_H_
