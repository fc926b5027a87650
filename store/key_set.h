// CKeySet: the Main table, one row per profile variable. Opened as a snapshot for reading
// or a dynaset for writing; keeps an enum recordset over the whole Enums table made on
// first need. Used by one thread.
#ifndef LUMORA_STORE_KEY_SET_H_
#define LUMORA_STORE_KEY_SET_H_

#include <memory>

#include "enum_set.h"
#include "platform/database/dao_recordset.h"

namespace lumora {

// The display text of array variables, "<Multiple Values>", loaded by the first key set.
const std::string& MultipleValuesText();

class CKeySet : public CDaoRecordset {
 public:
  CKeySet(CDaoDatabase* pDatabase, int openType);
  ~CKeySet() override;

  std::string m_Section;
  std::string m_Key;
  std::string m_Value;
  std::string m_FieldName;
  BYTE m_Privacy = 0;
  SHORT m_Type = 0;
  BYTE m_Volatility = 0;
  BOOL m_IsReadOnly = FALSE;
  BOOL m_IsLinked = FALSE;
  DATE m_LastShared = 0.0;

  std::string GetDefaultDBName() override;
  std::string GetDefaultSQL() override { return "[Main]"; }
  void DoFieldExchange(CDaoFieldExchange* pFX) override;
  const char* GetRuntimeClassName() const override { return "CKeySet"; }

  // The enum recordset over the whole Enums table, opened on first use.
  CEnumSet& EnumSet();

 private:
  std::unique_ptr<CEnumSet> m_pEnumSet;
};

}  // namespace lumora

#endif  // LUMORA_STORE_KEY_SET_H_
