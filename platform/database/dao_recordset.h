// CDaoRecordset: the rows of one table, bound to a derived class's members by field
// exchange. A snapshot copies its rows when it opens; a dynaset knows its members by row
// id (the rows it selected at open, plus the rows it adds) and reads and writes the live
// rows, fetching a row when it is visited. Rows come in insertion order. Filters (m_strFilter, FindFirst, FindNext) are
// parsed, never pasted into SQL. Every failure throws CDaoException. A recordset is used by one thread and must not
// outlive its database.
#ifndef LUMORA_PLATFORM_DATABASE_DAO_RECORDSET_H_
#define LUMORA_PLATFORM_DATABASE_DAO_RECORDSET_H_

#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
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
  DaoRow* m_pRowTake = nullptr;      // or moves the values out of this one
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
  // A dynaset over a whole table costs the same whatever the table holds.
  void Open(int nOpenType = AFX_DAO_USE_DEFAULT_TYPE, const char* lpszSQL = nullptr, int nOptions = 0);
  void Close();
  bool IsOpen() const { return m_open; }

  // Both are true when the set has no rows. Constant time.
  bool IsBOF() const;
  bool IsEOF() const;
  // Whether the current row was deleted through this set.
  bool IsDeleted() const;
  // Field `field` (in field-exchange order) of the current row as it was read, before it
  // became a member: it tells a NULL, a text or a fraction from the number the member
  // shows. Throws without a current row.
  const DaoValue& CurrentValue(int field) const;
  void MoveFirst();
  void MoveNext();
  // For a snapshot read once, first to last (a collection that keeps every row): loads
  // each row into the members in turn, moving its values there instead of copying them,
  // calls `take`, and closes the set, whose rows are spent. Throws for a dynaset.
  void TakeEachRow(const std::function<void()>& take);
  void MovePrev();
  void MoveLast();
  // The number of (not deleted) rows in the set. Constant time, except that a dynaset over
  // a whole table counts its rows once, the first time it is asked.
  long GetRecordCount();

  // Positions on the first (next) row that satisfies `criteria`; FALSE leaves the
  // position alone.
  BOOL FindFirst(const char* criteria);
  BOOL FindNext(const char* criteria);

  // A text column compared with a text as a filter compares them ("column = 'text'").
  struct TextEquals {
    const char* column;
    std::string_view text;
  };
  // FindFirst with the comparisons joined by AND, without a filter text to build and
  // parse: the find a batch makes once per item. Throws as FindFirst for a column that
  // is not among the set's text columns.
  BOOL FindFirstEqual(std::initializer_list<TextEquals> terms);

  // The current row's bookmark: its row id, which no other row of the table takes while
  // it exists. Throws when there is no current row.
  int64_t GetBookmark() const;
  // Positions on the member with this bookmark, with its current values; FALSE leaves the
  // position alone when the row is no member or is gone.
  BOOL MoveToBookmark(int64_t bookmark);

  void Edit();
  void AddNew();
  // Writes the columns an edit changed (all of them for a new row).
  void Update();
  void CancelUpdate();
  void Delete();

  CDaoDatabase* m_pDatabase;
  std::string m_strFilter;
  // Instead of m_strFilter (which must then be empty): the rows whose text `columns`
  // equal one of the `alternatives`, as the filter "(c1 = 'a' AND c2 = 'b') OR ..."
  // selects them, without a filter text to build and parse: a read of a thousand
  // variables names them so. No alternatives select no rows.
  struct EqualAny {
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> alternatives;
  };
  std::optional<EqualAny> m_equalAny;
  int m_nDefaultType = dbOpenDynaset;
  int m_nFields = 0;

 private:
  // The set is open, and closes with its database.
  void MarkOpen();
  enum class EditMode { kNone, kEdit, kAdd };
  enum class Where { kBeforeFirst, kOnRow, kAfterLast };
  struct StatementDeleter {
    void operator()(sqlite3_stmt* statement) const;
  };
  using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

  sqlite3* Db() const;
  void RequireOpen() const;
  void RequireCurrent() const;
  void RequireWritable() const;
  Statement Prepare(const std::string& sql);
  // A statement prepared once per text and kept while the set is open, reset for reuse.
  sqlite3_stmt* Cached(const std::string& sql);
  // Statements kept while the set is open, one per list of columns they name.
  using ColumnStatements = std::vector<std::pair<std::vector<size_t>, Statement>>;
  // The statement of `columns` in `statements`, prepared from makeSql() the first time.
  template <class MakeSql>
  sqlite3_stmt* StatementFor(ColumnStatements& statements, const std::vector<size_t>& columns, MakeSql makeSql);
  // The position of the text column `name` (letter case aside); throws as a filter naming
  // an unknown or a number column does.
  size_t TextColumn(std::string_view name) const;
  // "([c1] = ? COLLATE NOCASE) AND ...": the comparison a filter of names compiles to.
  std::string EqualWhere(const std::vector<size_t>& columns) const;
  // Texts and bytes are copied into the statement, unless the caller keeps `values`
  // unchanged until the statement is reset or finalized (kValuesOutliveStep).
  enum class BindCopy { kCopy, kValuesOutliveStep };
  void BindAll(sqlite3_stmt* statement, const std::vector<DaoValue>& values, int first = 1,
               BindCopy copy = BindCopy::kCopy);
  void Bind(sqlite3_stmt* statement, int index, const DaoValue& value, BindCopy copy = BindCopy::kCopy);
  DaoRow ReadRow(sqlite3_stmt* statement, int firstColumn) const;

  // Membership. Rows come in rowid order: first the rows taken at open (every row of the
  // table up to m_lastRowidAtOpen for a dynaset over the whole table, else m_taken), then
  // the rows this set added, whose rowids all lie above m_lastRowidAtOpen.
  bool IsMember(int64_t rowid) const;
  // The first member after (before) the row id `after` (`before`), or the first (last)
  // member of all when it is absent, with its current values; rows that others deleted
  // since the set was opened are passed over. (Every 64-bit value is a possible row id,
  // so the ends are no numbers.)
  std::optional<int64_t> NextMember(std::optional<int64_t> after, DaoRow* row);
  std::optional<int64_t> PrevMember(std::optional<int64_t> before, DaoRow* row);
  // A dynaset over the whole table: its first (last) row at or after (before) `rowid`.
  std::optional<int64_t> StepTable(int64_t rowid, bool forward, DaoRow* row);
  // The live values of a row, or nothing when the row is gone.
  std::optional<DaoRow> FetchRow(int64_t rowid);
  bool HasMembers();
  void MarkDeleted(int64_t rowid);

  void LoadRow(const DaoRow& row);
  void LoadDefaults();
  void MoveTo(int64_t rowid, DaoRow row);
  // The first member after `after` (or of all) that satisfies `filter`, with its values.
  std::optional<int64_t> FindAfter(const DaoFilter& filter, std::optional<int64_t> after, DaoRow* row);

  bool m_open = false;
  CDaoDatabase* m_attachedTo = nullptr;  // the database that will close this set with itself
  bool m_snapshot = false;
  std::string m_table;
  std::vector<DaoColumn> m_columns;
  std::string m_selectList;

  bool m_wholeTable = false;
  int64_t m_lastRowidAtOpen = 0;
  std::vector<int64_t> m_taken;           // ascending; unused for a whole-table dynaset
  std::vector<DaoRow> m_rows;             // a snapshot's copies, parallel to m_taken
  std::vector<int64_t> m_added;           // ascending, above m_lastRowidAtOpen
  std::unordered_set<int64_t> m_deleted;  // deleted through this set (or found gone on update)
  std::optional<long> m_takenCount;       // live rows of the taken part, once known
  long m_addedCount = 0;                  // live rows of the added part
  bool m_noMembers = true;

  Where m_where = Where::kBeforeFirst;
  int64_t m_currentRowid = 0;
  bool m_currentDeleted = false;
  DaoRow m_currentRow;  // the current row's values as last read or written
  EditMode m_editMode = EditMode::kNone;

  std::map<std::string, Statement> m_statements;
  // FindFirstEqual's statements, one per list of compared columns, and Update's, one per
  // list of changed columns.
  ColumnStatements m_equalFinds;
  ColumnStatements m_updates;
  Statement m_selectRow;
  Statement m_nextRow;
  Statement m_previousRow;
  Statement m_insertRow;
  Statement m_deleteRow;
};

#endif  // LUMORA_PLATFORM_DATABASE_DAO_RECORDSET_H_
