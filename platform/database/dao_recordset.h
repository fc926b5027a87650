// CDaoRecordset: the rows of one table, bound to a derived class's members by field
// exchange. A snapshot copies its rows when it opens; a dynaset keeps the row ids taken
// at open (plus the rows it adds) and reads and writes the live rows. Rows come in
// insertion order. Filters (m_strFilter, FindFirst, FindNext) are parsed, never pasted
// into SQL. Every failure throws CDaoException. A recordset is used by one thread and
// must not outlive its database.
#ifndef LUMORA_PLATFORM_DATABASE_DAO_RECORDSET_H_
#define LUMORA_PLATFORM_DATABASE_DAO_RECORDSET_H_

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "dao_database.h"
#include "dao_filter.h"
#include "dao_value.h"

struct sqlite3_stmt;

inline constexpr int dbOpenTable = 1;
inline constexpr int dbOpenDynaset = 2;
inline constexpr int dbOpenSnapshot = 4;
inline constexpr int AFX_DAO_USE_DEFAULT_TYPE = -1;
inline constexpr DWORD AFX_DAO_DISABLE_FIELD_CACHE = 0x1;

// The field exchange pass a recordset runs over its bound members.
class CDaoFieldExchange {
 public:
  enum Operation { kDescribe, kLoad, kStore, kSetDefaults };
  enum FieldType { outputColumn, param };

  explicit CDaoFieldExchange(Operation operation) : m_nOperation(operation) {}
  void SetFieldType(FieldType) {}

  Operation m_nOperation;
  std::vector<DaoColumn> m_columns;  // kDescribe collects here
  const DaoRow* m_pRowIn = nullptr;  // kLoad reads from here
  DaoRow m_rowOut;                   // kStore writes here
  size_t m_nField = 0;               // the next column's position in m_pRowIn
};

void DFX_Text(CDaoFieldExchange* pFX, const char* name, std::string& value, int preallocation = 255, DWORD flags = 0);
void DFX_Byte(CDaoFieldExchange* pFX, const char* name, BYTE& value);
void DFX_Short(CDaoFieldExchange* pFX, const char* name, SHORT& value);
void DFX_Long(CDaoFieldExchange* pFX, const char* name, LONG& value);
void DFX_Bool(CDaoFieldExchange* pFX, const char* name, BOOL& value);
void DFX_DateTime(CDaoFieldExchange* pFX, const char* name, DATE& value);
void DFX_LongBinary(CDaoFieldExchange* pFX, const char* name, std::vector<BYTE>& value, DWORD preallocation = 32768,
                    DWORD flags = 0);

class CDaoRecordset {
 public:
  explicit CDaoRecordset(CDaoDatabase* pDatabase = nullptr);
  virtual ~CDaoRecordset();
  CDaoRecordset(const CDaoRecordset&) = delete;
  CDaoRecordset& operator=(const CDaoRecordset&) = delete;

  virtual std::string GetDefaultDBName();
  // The table, in brackets: "[Main]".
  virtual std::string GetDefaultSQL();
  virtual void DoFieldExchange(CDaoFieldExchange* pFX);
  // The run-time class name ("CKeySet" and so on).
  virtual const char* GetRuntimeClassName() const { return "CDaoRecordset"; }

  // Opens with m_strFilter; only the default SQL (a bracketed table name) is understood.
  void Open(int nOpenType = AFX_DAO_USE_DEFAULT_TYPE, const char* lpszSQL = nullptr, int nOptions = 0);
  void Close();
  bool IsOpen() const { return m_open; }

  bool IsBOF() const;
  bool IsEOF() const;
  bool IsDeleted() const;
  void MoveFirst();
  void MoveNext();
  void MovePrev();
  void MoveLast();
  // The number of (not deleted) rows in the set.
  long GetRecordCount() const;

  // Positions on the first (next) row that satisfies `criteria`; FALSE leaves the
  // position alone.
  BOOL FindFirst(const char* criteria);
  BOOL FindNext(const char* criteria);

  void Edit();
  void AddNew();
  void Update();
  void CancelUpdate();
  void Delete();

  CDaoDatabase* m_pDatabase;
  std::string m_strFilter;
  int m_nDefaultType = dbOpenDynaset;
  int m_nFields = 0;

 private:
  enum class EditMode { kNone, kEdit, kAdd };

  sqlite3* Db() const;
  void RequireOpen() const;
  void RequireCurrent() const;
  void RequireWritable() const;
  sqlite3_stmt* Statement(const std::string& sql);
  // One of the row statements, prepared on first use and kept while the set is open.
  sqlite3_stmt* RowStatement(sqlite3_stmt** slot, const std::string& sql);
  void BindAll(sqlite3_stmt* statement, const std::vector<DaoValue>& values, int first = 1);
  DaoRow ReadRow(sqlite3_stmt* statement, int firstColumn) const;
  // The current values of row `index` (a snapshot's copy, a dynaset's live row).
  std::optional<DaoRow> RowAt(size_t index);
  void LoadCurrent(const DaoRow* known = nullptr);
  void LoadDefaults();
  void MarkDeleted(size_t index);
  void MoveTo(long position, const DaoRow* row = nullptr);
  // First position at or after `from` that satisfies `filter`, or -1; *row receives
  // that row's values when the search read them.
  long FindFrom(const DaoFilter& filter, long from, std::optional<DaoRow>* row);
  std::string SelectList() const;

  bool m_open = false;
  bool m_snapshot = false;
  std::string m_table;
  std::vector<DaoColumn> m_columns;
  std::optional<DaoFilter> m_filter;
  std::string m_filterSql;
  std::vector<DaoValue> m_filterParameters;
  std::vector<int64_t> m_rowids;
  std::vector<DaoRow> m_rows;  // a snapshot's copies
  std::vector<bool> m_deleted;
  size_t m_deletedCount = 0;  // of m_deleted, so that counting the rows takes no walk
  std::unordered_map<int64_t, size_t> m_positionOfRowid;
  long m_position = 0;  // -1 is BOF, size() is EOF
  EditMode m_editMode = EditMode::kNone;
  std::map<std::string, sqlite3_stmt*> m_statements;  // finds, prepared once per shape
  sqlite3_stmt* m_selectRow = nullptr;
  sqlite3_stmt* m_insertRow = nullptr;
  sqlite3_stmt* m_updateRow = nullptr;
  sqlite3_stmt* m_deleteRow = nullptr;
};

#endif  // LUMORA_PLATFORM_DATABASE_DAO_RECORDSET_H_
