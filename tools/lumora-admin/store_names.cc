// Reading names from the store, read-only.
#include "store_names.h"

#include <unordered_set>

#include "common/settings_client.h"
#include "lumora/profile.h"
#include "platform/database/dao_recordset.h"
#include "store/profile_database.h"
#include "store/query_filters.h"
#include "store/store_context.h"

namespace lumora::admin {
namespace {

// One text column of one table (and the column a filter names, when there is one) and
// nothing else: the names are all that is read, so a table of 100,000 rows with their
// values costs what its names cost.
class CNameColumnSet : public CDaoRecordset {
 public:
  CNameColumnSet(CDaoDatabase* database, std::string table, std::string column, std::string filterColumn = {})
      : CDaoRecordset(database),
        m_table(std::move(table)),
        m_column(std::move(column)),
        m_filterColumn(std::move(filterColumn)) {
    m_nDefaultType = dbOpenSnapshot;
    m_nFields = m_filterColumn.empty() ? 1 : 2;
  }

  std::string GetDefaultSQL() override { return "[" + m_table + "]"; }
  void DoFieldExchange(CDaoFieldExchange* pFX) override {
    pFX->SetFieldType(CDaoFieldExchange::outputColumn);
    DFX_Text(pFX, ("[" + m_column + "]").c_str(), m_name);
    if (!m_filterColumn.empty()) DFX_Text(pFX, ("[" + m_filterColumn + "]").c_str(), m_filterValue);
  }
  const char* GetRuntimeClassName() const override { return "CNameColumnSet"; }

  std::string m_name;
  std::string m_filterValue;

 private:
  std::string m_table;
  std::string m_column;
  std::string m_filterColumn;
};

std::vector<std::string> DistinctNames(CNameColumnSet& set) {
  set.Open(dbOpenSnapshot);
  std::vector<std::string> names;
  std::unordered_set<std::string> seen;
  for (; !set.IsEOF(); set.MoveNext()) {
    if (seen.insert(set.m_name).second) names.push_back(set.m_name);
  }
  set.Close();
  return names;
}

}  // namespace

bool StoreNames::Open(std::string* problem, HRESULT* code) {
  std::string path;
  *code = ReadSetting(kSettingDatabasePath, &path);
  if (FAILED(*code) || path.empty()) {
    if (SUCCEEDED(*code)) *code = eErrorRegKeyNotFound;
    *problem = "the database path (setting 2) cannot be read";
    return false;
  }
  std::string password;
  HRESULT failure = S_OK;
  const PasswordPieces pieces = ReadPasswordPieces(&password, &failure);
  try {
    const bool withPassword = ProbeDatabaseFile(path) == DatabaseFileState::kWithPassword;
    if (withPassword && pieces != PasswordPieces::kFound) {
      *code = FAILED(failure) ? failure : eErrorCipherInitializingFailed;
      *problem = "the database password cannot be put together from its pieces ('lumora-admin check' tells why)";
      return false;
    }
    m_database.Open(path, false, true, withPassword ? ";pwd=" + password : std::string());
  } catch (const CDaoException& e) {
    *code = e.m_scode;
    *problem = std::string("the database cannot be read: ") + e.what();
    return false;
  }
  return true;
}

std::vector<std::string> StoreNames::SectionsOf(const char* table) {
  CNameColumnSet set(&m_database, table, "Section");
  return DistinctNames(set);
}

std::vector<std::string> StoreNames::ScratchKeys(const std::string& section) {
  CNameColumnSet set(&m_database, "Scratch", "key", "section");
  set.m_strFilter = "SECTION = '" + QuoteFilterText(section) + "'";
  set.Open(dbOpenSnapshot);
  std::vector<std::string> keys;
  for (; !set.IsEOF(); set.MoveNext()) keys.push_back(set.m_name);
  set.Close();
  return keys;
}

}  // namespace lumora::admin
