// Recordsets over SQLCipher tables. Every statement has one owner (a recordset member or
// a local), so a failure at any step finalizes what was prepared.
#define SQLITE_HAS_CODEC 1
#include "dao_recordset.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <climits>
#include <map>

namespace {

// Filters with more comparisons than this are evaluated in memory: the engine limits
// the depth of a query's expression.
constexpr size_t kMaxSqlComparisons = 400;

std::string Unbracket(const char* name) {
  std::string text(name);
  if (text.size() >= 2 && text.front() == '[' && text.back() == ']') text = text.substr(1, text.size() - 2);
  return text;
}

// Resets a statement when a use of it ends, however it ends: a statement left stepping
// would hold the connection's read snapshot open.
class ResetOnExit {
 public:
  explicit ResetOnExit(sqlite3_stmt* statement) : m_statement(statement) {}
  ~ResetOnExit() { sqlite3_reset(m_statement); }
  ResetOnExit(const ResetOnExit&) = delete;
  ResetOnExit& operator=(const ResetOnExit&) = delete;

 private:
  sqlite3_stmt* m_statement;
};

int64_t IntegerOf(const DaoValue& value) {
  if (const auto* integer = std::get_if<int64_t>(&value)) return *integer;
  if (const auto* real = std::get_if<double>(&value)) return static_cast<int64_t>(*real);
  return 0;
}

template <class T>
void Exchange(CDaoFieldExchange* pFX, const char* name, DaoFieldType type, T& value, T fallback) {
  switch (pFX->m_nOperation) {
    case CDaoFieldExchange::kDescribe:
      pFX->m_columns.push_back({Unbracket(name), type});
      break;
    case CDaoFieldExchange::kLoad: {
      DaoValue* const taken = pFX->m_pRowTake != nullptr ? &(*pFX->m_pRowTake)[pFX->m_nField] : nullptr;
      const DaoValue& stored = taken != nullptr ? *taken : (*pFX->m_pRowIn)[pFX->m_nField];
      ++pFX->m_nField;
      if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, std::vector<BYTE>>) {
        if (auto* held = taken != nullptr ? std::get_if<T>(taken) : nullptr) {
          value = std::move(*held);
        } else {
          const auto* copied = std::get_if<T>(&stored);
          value = copied != nullptr ? *copied : fallback;
        }
      } else if constexpr (std::is_same_v<T, DATE>) {
        if (const auto* real = std::get_if<double>(&stored)) {
          value = *real;
        } else {
          value = static_cast<DATE>(IntegerOf(stored));
        }
      } else {
        value = static_cast<T>(IntegerOf(stored));
      }
      break;
    }
    case CDaoFieldExchange::kStore:
      if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, std::vector<BYTE>> || std::is_same_v<T, DATE>) {
        pFX->m_rowOut.emplace_back(value);
      } else {
        pFX->m_rowOut.emplace_back(static_cast<int64_t>(value));
      }
      break;
    case CDaoFieldExchange::kSetDefaults:
      value = fallback;
      break;
  }
}

// Whether the text columns `columns` of `row` hold textAt(0), textAt(1) ... as a filter
// compares texts (a null column matches nothing). The engine's own comparison ends at a
// zero byte; this one compares the whole texts.
template <class TextAt>
bool TextsEqual(const DaoRow& row, const std::vector<size_t>& columns, TextAt textAt) {
  for (size_t i = 0; i < columns.size(); ++i) {
    const auto* text = std::get_if<std::string>(&row[columns[i]]);
    if (text == nullptr || CompareNoCase(*text, textAt(i)) != 0) return false;
  }
  return true;
}

}  // namespace

void DFX_Text(CDaoFieldExchange* pFX, const char* name, std::string& value, int, DWORD) {
  Exchange(pFX, name, DaoFieldType::kText, value, std::string());
}
void DFX_Byte(CDaoFieldExchange* pFX, const char* name, BYTE& value) {
  Exchange(pFX, name, DaoFieldType::kByte, value, BYTE{0});
}
void DFX_Short(CDaoFieldExchange* pFX, const char* name, SHORT& value) {
  Exchange(pFX, name, DaoFieldType::kShort, value, SHORT{0});
}
void DFX_Long(CDaoFieldExchange* pFX, const char* name, LONG& value) {
  Exchange(pFX, name, DaoFieldType::kLong, value, LONG{0});
}
void DFX_Bool(CDaoFieldExchange* pFX, const char* name, BOOL& value) {
  if (pFX->m_nOperation == CDaoFieldExchange::kStore) {
    pFX->m_rowOut.emplace_back(static_cast<int64_t>(value != FALSE ? 1 : 0));
    return;
  }
  Exchange(pFX, name, DaoFieldType::kBool, value, BOOL{FALSE});
  if (pFX->m_nOperation == CDaoFieldExchange::kLoad) value = value != FALSE ? TRUE : FALSE;
}
void DFX_DateTime(CDaoFieldExchange* pFX, const char* name, DATE& value) {
  Exchange(pFX, name, DaoFieldType::kDateTime, value, DATE{0.0});
}
void DFX_LongBinary(CDaoFieldExchange* pFX, const char* name, std::vector<BYTE>& value, DWORD, DWORD) {
  Exchange(pFX, name, DaoFieldType::kLongBinary, value, std::vector<BYTE>());
}

CDaoRecordset::CDaoRecordset(CDaoDatabase* pDatabase) : m_pDatabase(pDatabase) {}

CDaoRecordset::~CDaoRecordset() { Close(); }

void CDaoRecordset::StatementDeleter::operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }

std::string CDaoRecordset::GetDefaultDBName() { return {}; }
std::string CDaoRecordset::GetDefaultSQL() { return {}; }
void CDaoRecordset::DoFieldExchange(CDaoFieldExchange*) {}

sqlite3* CDaoRecordset::Db() const {
  if (m_pDatabase == nullptr) AfxThrowDaoException(kJetObjectClosed, "The recordset has no database");
  return m_pDatabase->Handle();
}

void CDaoRecordset::RequireOpen() const {
  if (!m_open) AfxThrowDaoException(kJetObjectClosed, "The recordset is not open");
}

void CDaoRecordset::RequireCurrent() const {
  RequireOpen();
  if (m_where != Where::kOnRow || m_currentDeleted) AfxThrowDaoException(kJetNoCurrentRecord, "No current record");
}

void CDaoRecordset::RequireWritable() const {
  RequireOpen();
  if (m_snapshot) AfxThrowDaoException(kJetReadOnly, "A snapshot cannot be updated");
}

CDaoRecordset::Statement CDaoRecordset::Prepare(const std::string& sql) {
  sqlite3_stmt* prepared = nullptr;
  const int rc = sqlite3_prepare_v2(Db(), sql.c_str(), -1, &prepared, nullptr);
  Statement statement(prepared);
  if (rc != SQLITE_OK) ThrowSqliteError(Db(), rc, "Prepare");
  return statement;
}

sqlite3_stmt* CDaoRecordset::Cached(const std::string& sql) {
  auto found = m_statements.find(sql);
  if (found == m_statements.end()) found = m_statements.emplace(sql, Prepare(sql)).first;
  sqlite3_reset(found->second.get());
  sqlite3_clear_bindings(found->second.get());
  return found->second.get();
}

void CDaoRecordset::Bind(sqlite3_stmt* statement, int index, const DaoValue& value, BindCopy copy) {
  const sqlite3_destructor_type keep = copy == BindCopy::kCopy ? SQLITE_TRANSIENT : SQLITE_STATIC;
  if (const auto* integer = std::get_if<int64_t>(&value)) {
    sqlite3_bind_int64(statement, index, *integer);
  } else if (const auto* real = std::get_if<double>(&value)) {
    sqlite3_bind_double(statement, index, *real);
  } else if (const auto* text = std::get_if<std::string>(&value)) {
    sqlite3_bind_text(statement, index, text->data(), static_cast<int>(text->size()), keep);
  } else if (const auto* bytes = std::get_if<std::vector<BYTE>>(&value)) {
    sqlite3_bind_blob(statement, index, bytes->data(), static_cast<int>(bytes->size()), keep);
  } else {
    sqlite3_bind_null(statement, index);
  }
}

void CDaoRecordset::BindAll(sqlite3_stmt* statement, const std::vector<DaoValue>& values, int first, BindCopy copy) {
  int index = first;
  for (const DaoValue& value : values) Bind(statement, index++, value, copy);
}

template <class MakeSql>
sqlite3_stmt* CDaoRecordset::StatementFor(ColumnStatements& statements, const std::vector<size_t>& columns,
                                          MakeSql makeSql) {
  auto kept =
      std::find_if(statements.begin(), statements.end(), [&](const auto& entry) { return entry.first == columns; });
  if (kept == statements.end()) kept = statements.emplace(statements.end(), columns, Prepare(makeSql()));
  return kept->second.get();
}

size_t CDaoRecordset::TextColumn(std::string_view name) const {
  for (size_t i = 0; i < m_columns.size(); ++i) {
    if (CompareNoCase(m_columns[i].name, name) != 0) continue;
    if (!m_columns[i].IsText()) {
      AfxThrowDaoException(kJetTypeMismatch, "Data type mismatch in criteria expression: " + std::string(name));
    }
    return i;
  }
  AfxThrowDaoException(kJetFilterSyntax, "Unknown column in filter: " + std::string(name));
}

std::string CDaoRecordset::EqualWhere(const std::vector<size_t>& columns) const {
  std::string where;
  for (const size_t i : columns)
    where += (where.empty() ? "([" : " AND ([") + m_columns[i].name + "] = ? COLLATE NOCASE)";
  return where;
}

DaoRow CDaoRecordset::ReadRow(sqlite3_stmt* statement, int firstColumn) const {
  // Every column call takes the connection's lock: a column's type is asked only when
  // its value could be a NULL (no text, a zero), not for every column of every row.
  DaoRow row;
  row.reserve(m_columns.size());
  const auto isNull = [statement](int column) { return sqlite3_column_type(statement, column) == SQLITE_NULL; };
  for (size_t i = 0; i < m_columns.size(); ++i) {
    const int column = firstColumn + static_cast<int>(i);
    switch (m_columns[i].type) {
      case DaoFieldType::kText: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        if (text == nullptr && isNull(column)) {
          row.emplace_back();
        } else if (text == nullptr) {
          // An empty value may come without a pointer; no pointer for anything else is a
          // conversion that ran out of memory.
          if (sqlite3_errcode(Db()) == SQLITE_NOMEM) ThrowSqliteError(Db(), SQLITE_NOMEM, "Read [" + m_table + "]");
          row.emplace_back(std::string());
        } else {
          row.emplace_back(std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement, column))));
        }
        break;
      }
      case DaoFieldType::kDateTime: {
        const double value = sqlite3_column_double(statement, column);
        if (value == 0 && isNull(column)) {
          row.emplace_back();
        } else {
          row.emplace_back(value);
        }
        break;
      }
      case DaoFieldType::kLongBinary: {
        if (isNull(column)) {
          row.emplace_back();
          break;
        }
        const auto* bytes = static_cast<const BYTE*>(sqlite3_column_blob(statement, column));
        row.emplace_back(std::vector<BYTE>(bytes, bytes + sqlite3_column_bytes(statement, column)));
        break;
      }
      default: {
        const auto value = static_cast<int64_t>(sqlite3_column_int64(statement, column));
        if (value == 0 && isNull(column)) {
          row.emplace_back();
        } else {
          row.emplace_back(value);
        }
        break;
      }
    }
  }
  return row;
}

void CDaoRecordset::Open(int nOpenType, const char* lpszSQL, int /*nOptions*/) {
  if (m_open) AfxThrowDaoException(kJetUnexpected, "The recordset is already open");
  Db();
  const int type = nOpenType == AFX_DAO_USE_DEFAULT_TYPE ? m_nDefaultType : nOpenType;
  const std::string source = lpszSQL != nullptr ? std::string(lpszSQL) : GetDefaultSQL();
  const std::string table = Unbracket(source.c_str());
  if (table.empty() || table.size() + 2 != source.size() || !std::all_of(table.begin(), table.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
      })) {
    AfxThrowDaoException(kJetFilterSyntax, "Only a table name in brackets can be opened: " + source);
  }
  CDaoFieldExchange describe(CDaoFieldExchange::kDescribe);
  DoFieldExchange(&describe);
  Close();
  m_columns = std::move(describe.m_columns);
  m_nFields = static_cast<int>(m_columns.size());
  m_table = table;
  m_selectList.clear();
  for (const DaoColumn& column : m_columns) m_selectList += (m_selectList.empty() ? "[" : ", [") + column.name + "]";
  m_snapshot = type == dbOpenSnapshot;

  std::optional<DaoFilter> filter;
  bool filterInMemory = false;
  // WHERE texts and their literals, asked one after the other.
  std::vector<std::pair<std::string, std::vector<DaoValue>>> queries;
  // The columns a list of names compares, and whether a name holds a zero byte: the
  // engine's comparison ends at one, so such rows are compared again here.
  std::vector<size_t> equalColumns;
  bool equalInMemory = false;
  if (m_equalAny) {
    if (!m_strFilter.empty()) AfxThrowDaoException(kJetFilterSyntax, "A filter and a list of names at once");
    for (const std::string& name : m_equalAny->columns) equalColumns.push_back(TextColumn(name));
    const std::string where = EqualWhere(equalColumns);
    for (const std::vector<std::string>& texts : m_equalAny->alternatives) {
      if (texts.size() != m_equalAny->columns.size())
        AfxThrowDaoException(kJetFilterSyntax, "A list of names does not fit its columns");
      for (const std::string& text : texts) equalInMemory = equalInMemory || text.find('\0') != std::string::npos;
      queries.emplace_back(where, std::vector<DaoValue>(texts.begin(), texts.end()));
    }
  } else if (!m_strFilter.empty()) {
    filter = DaoFilter::Parse(m_strFilter);
    filter->Check(m_columns);
    // A list of alternatives (a read of many variables is one) is asked one alternative
    // at a time, each found through the indexes with one statement prepared per shape:
    // as one query its plan would grow faster than the list, and past the engine's
    // limits it could only be evaluated by reading the whole table.
    queries = filter->ToSqlAlternatives(m_columns, kMaxSqlComparisons);
    if (queries.empty()) {
      filterInMemory = filter->Comparisons() > kMaxSqlComparisons;
      auto& [filterSql, parameters] = queries.emplace_back();
      if (!filterInMemory) filterSql = filter->ToSql(m_columns, &parameters);
    }
  }

  // Rows added from now on, by this set or by anyone else, lie above the table's last row
  // id at open. A dynaset over the whole table knows its members without reading them:
  // every row up to that row id; one statement gives it that row id and its first row.
  // Any other set selects its members now (through the indexes where its filter allows).
  m_wholeTable = !m_snapshot && !filter && !m_equalAny;
  if (m_wholeTable) {
    Statement first = Prepare("SELECT (SELECT max(rowid) FROM [" + m_table + "]), rowid, " + m_selectList + " FROM [" +
                              m_table + "] ORDER BY rowid LIMIT 1");
    const int rc = sqlite3_step(first.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) ThrowSqliteError(Db(), rc, "Open [" + m_table + "]");
    if (rc == SQLITE_DONE) {
      m_lastRowidAtOpen = 0;  // an empty table
      MarkOpen();
      return;
    }
    m_lastRowidAtOpen = sqlite3_column_int64(first.get(), 0);
    DaoRow row = ReadRow(first.get(), 2);
    MarkOpen();
    m_noMembers = false;
    MoveTo(sqlite3_column_int64(first.get(), 1), std::move(row));
    return;
  }
  // Several queries read as one: no writer's commit may fall between two of them.
  CDaoReadTransaction oneRead(queries.size() > 1 ? m_pDatabase : nullptr);
  {
    Statement last = Prepare("SELECT max(rowid) FROM [" + m_table + "]");
    const int rc = sqlite3_step(last.get());
    if (rc != SQLITE_ROW) ThrowSqliteError(Db(), rc, "Open [" + m_table + "]");
    m_lastRowidAtOpen = sqlite3_column_int64(last.get(), 0);
  }
  {
    if (queries.empty() && !m_equalAny) queries.emplace_back();  // every row
    const bool needRows = m_snapshot || filterInMemory || equalInMemory;
    const std::string select =
        "SELECT rowid" + (needRows ? ", " + m_selectList : std::string()) + " FROM [" + m_table + "] WHERE rowid <= ?";
    std::map<std::string, Statement> statements;  // one per shape of alternative
    for (const auto& [where, parameters] : queries) {
      Statement& statement = statements[where];
      if (!statement) {
        std::string sql = select;
        if (!where.empty()) sql += " AND (" + where + ")";
        statement = Prepare(sql);
      } else {
        sqlite3_reset(statement.get());
      }
      // Every parameter is bound anew. The texts stay in `queries` until the statements
      // are gone, so the engine reads them where they are.
      sqlite3_bind_int64(statement.get(), 1, m_lastRowidAtOpen);
      BindAll(statement.get(), parameters, 2, BindCopy::kValuesOutliveStep);
      int rc = SQLITE_OK;
      while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        const int64_t rowid = sqlite3_column_int64(statement.get(), 0);
        DaoRow row;
        if (needRows) {
          row = ReadRow(statement.get(), 1);
          if (filterInMemory && !filter->Matches(m_columns, row)) continue;
          if (equalInMemory && !TextsEqual(row, equalColumns, [&](size_t i) -> std::string_view {
                return std::get<std::string>(parameters[i]);
              })) {
            continue;
          }
        }
        if (m_snapshot) m_rows.push_back(std::move(row));
        m_taken.push_back(rowid);
      }
      if (rc != SQLITE_DONE) ThrowSqliteError(Db(), rc, "Open [" + m_table + "]");  // the set stays closed
    }
    // One query's rows come in its index's order, and alternatives may name a row twice;
    // the set keeps each row once, in row order. Sorting them here costs far less than
    // the engine's sort of whole rows into a temporary table.
    if (!std::is_sorted(m_taken.begin(), m_taken.end()) ||
        std::adjacent_find(m_taken.begin(), m_taken.end()) != m_taken.end()) {
      std::vector<size_t> order(m_taken.size());
      for (size_t i = 0; i < order.size(); ++i) order[i] = i;
      std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return m_taken[a] < m_taken[b]; });
      std::vector<int64_t> taken;
      std::vector<DaoRow> rows;
      taken.reserve(order.size());
      rows.reserve(m_snapshot ? order.size() : 0);
      for (const size_t i : order) {
        if (!taken.empty() && taken.back() == m_taken[i]) continue;  // the same row, read within one read
        taken.push_back(m_taken[i]);
        if (m_snapshot) rows.push_back(std::move(m_rows[i]));
      }
      m_taken = std::move(taken);
      m_rows = std::move(rows);
    }
    m_takenCount = static_cast<long>(m_taken.size());
  }
  MarkOpen();
  try {
    DaoRow first;
    const std::optional<int64_t> rowid = NextMember(std::nullopt, &first);
    m_noMembers = !rowid;
    if (rowid) MoveTo(*rowid, std::move(first));
  } catch (...) {
    Close();  // a set that could not read its first row is not open
    throw;
  }
}

void CDaoRecordset::MarkOpen() {
  m_open = true;
  m_pDatabase->AttachRecordset(this);
  m_attachedTo = m_pDatabase;
}

void CDaoRecordset::Close() {
  if (m_attachedTo != nullptr) {
    m_attachedTo->DetachRecordset(this);
    m_attachedTo = nullptr;
  }
  m_statements.clear();
  m_equalFinds.clear();
  m_updates.clear();
  for (Statement* statement : {&m_selectRow, &m_nextRow, &m_previousRow, &m_insertRow, &m_deleteRow}) {
    statement->reset();
  }
  m_open = false;
  m_wholeTable = false;
  m_lastRowidAtOpen = 0;
  m_taken.clear();
  m_rows.clear();
  m_added.clear();
  m_deleted.clear();
  m_takenCount.reset();
  m_addedCount = 0;
  m_noMembers = true;
  m_where = Where::kBeforeFirst;
  m_currentDeleted = false;
  m_currentRow.clear();
  m_editMode = EditMode::kNone;
}

bool CDaoRecordset::IsBOF() const {
  RequireOpen();
  return m_where == Where::kBeforeFirst || m_noMembers;
}

bool CDaoRecordset::IsEOF() const {
  RequireOpen();
  return m_where == Where::kAfterLast || m_noMembers;
}

bool CDaoRecordset::IsDeleted() const {
  RequireOpen();
  return m_where == Where::kOnRow && m_currentDeleted;
}

const DaoValue& CDaoRecordset::CurrentValue(int field) const {
  RequireCurrent();
  if (field < 0 || static_cast<size_t>(field) >= m_currentRow.size()) {
    AfxThrowDaoException(kJetUnexpected, "No such field: " + std::to_string(field));
  }
  return m_currentRow[static_cast<size_t>(field)];
}

long CDaoRecordset::GetRecordCount() {
  RequireOpen();
  if (!m_takenCount) {
    // Rows this set deleted are gone from the table, so they are not counted. A count of
    // the whole table reads its smallest index rather than every row.
    Statement count = Prepare("SELECT (SELECT count(*) FROM [" + m_table + "]) - (SELECT count(*) FROM [" + m_table +
                              "] WHERE rowid > ?)");
    sqlite3_bind_int64(count.get(), 1, m_lastRowidAtOpen);
    const int rc = sqlite3_step(count.get());
    if (rc != SQLITE_ROW) ThrowSqliteError(Db(), rc, "Count [" + m_table + "]");
    m_takenCount = static_cast<long>(sqlite3_column_int64(count.get(), 0));
  }
  return *m_takenCount + m_addedCount;
}

bool CDaoRecordset::IsMember(int64_t rowid) const {
  if (m_deleted.count(rowid) != 0) return false;
  if (rowid > m_lastRowidAtOpen) return std::binary_search(m_added.begin(), m_added.end(), rowid);
  return m_wholeTable || std::binary_search(m_taken.begin(), m_taken.end(), rowid);
}

std::optional<DaoRow> CDaoRecordset::FetchRow(int64_t rowid) {
  if (!m_selectRow) m_selectRow = Prepare("SELECT " + m_selectList + " FROM [" + m_table + "] WHERE rowid = ?");
  sqlite3_stmt* statement = m_selectRow.get();
  ResetOnExit reset(statement);
  sqlite3_bind_int64(statement, 1, rowid);
  const int rc = sqlite3_step(statement);
  if (rc == SQLITE_ROW) return ReadRow(statement, 0);
  if (rc != SQLITE_DONE) ThrowSqliteError(Db(), rc, "Read [" + m_table + "]");
  return std::nullopt;  // deleted by someone else since the set was opened
}

std::optional<int64_t> CDaoRecordset::StepTable(int64_t rowid, bool forward, DaoRow* row) {
  Statement& slot = forward ? m_nextRow : m_previousRow;
  if (!slot) {
    slot = Prepare("SELECT rowid, " + m_selectList + " FROM [" + m_table + "] WHERE rowid " +
                   (forward ? ">= ? AND rowid <= ? ORDER BY rowid" : "<= min(?, ?) ORDER BY rowid DESC") + " LIMIT 1");
  }
  sqlite3_stmt* statement = slot.get();
  ResetOnExit reset(statement);
  sqlite3_bind_int64(statement, 1, rowid);
  sqlite3_bind_int64(statement, 2, m_lastRowidAtOpen);
  const int rc = sqlite3_step(statement);
  if (rc == SQLITE_ROW) {
    *row = ReadRow(statement, 1);
    return sqlite3_column_int64(statement, 0);
  }
  if (rc != SQLITE_DONE) ThrowSqliteError(Db(), rc, "Read [" + m_table + "]");
  return std::nullopt;
}

std::optional<int64_t> CDaoRecordset::NextMember(std::optional<int64_t> after, DaoRow* row) {
  // The rows taken at open.
  if (!after || *after < m_lastRowidAtOpen) {
    if (m_wholeTable) {
      for (int64_t from = after ? *after + 1 : INT64_MIN;;) {
        const std::optional<int64_t> found = StepTable(from, true, row);
        if (!found) break;
        if (m_deleted.count(*found) == 0) return found;
        if (*found >= m_lastRowidAtOpen) break;
        from = *found + 1;
      }
    } else {
      for (auto it = after ? std::upper_bound(m_taken.begin(), m_taken.end(), *after) : m_taken.begin();
           it != m_taken.end(); ++it) {
        if (m_deleted.count(*it) != 0) continue;
        if (m_snapshot) {
          *row = m_rows[static_cast<size_t>(it - m_taken.begin())];
          return *it;
        }
        if (std::optional<DaoRow> live = FetchRow(*it)) {
          *row = std::move(*live);
          return *it;
        }
      }
    }
  }
  // The rows this set added.
  for (auto it = after ? std::upper_bound(m_added.begin(), m_added.end(), *after) : m_added.begin();
       it != m_added.end(); ++it) {
    if (m_deleted.count(*it) != 0) continue;
    if (std::optional<DaoRow> live = FetchRow(*it)) {
      *row = std::move(*live);
      return *it;
    }
  }
  return std::nullopt;
}

std::optional<int64_t> CDaoRecordset::PrevMember(std::optional<int64_t> before, DaoRow* row) {
  for (auto it = before ? std::lower_bound(m_added.begin(), m_added.end(), *before) : m_added.end();
       it != m_added.begin();) {
    --it;
    if (m_deleted.count(*it) != 0) continue;
    if (std::optional<DaoRow> live = FetchRow(*it)) {
      *row = std::move(*live);
      return *it;
    }
  }
  if (m_wholeTable) {
    if (before && *before == INT64_MIN) return std::nullopt;
    for (int64_t upTo = before ? std::min(*before - 1, m_lastRowidAtOpen) : m_lastRowidAtOpen;;) {
      const std::optional<int64_t> found = StepTable(upTo, false, row);
      if (!found) return std::nullopt;
      if (m_deleted.count(*found) == 0) return found;
      if (*found == INT64_MIN) return std::nullopt;
      upTo = *found - 1;
    }
  }
  for (auto it = before ? std::lower_bound(m_taken.begin(), m_taken.end(), *before) : m_taken.end();
       it != m_taken.begin();) {
    --it;
    if (m_deleted.count(*it) != 0) continue;
    if (m_snapshot) {
      *row = m_rows[static_cast<size_t>(it - m_taken.begin())];
      return *it;
    }
    if (std::optional<DaoRow> live = FetchRow(*it)) {
      *row = std::move(*live);
      return *it;
    }
  }
  return std::nullopt;
}

bool CDaoRecordset::HasMembers() {
  if (m_addedCount > 0) return true;
  if (m_takenCount) return *m_takenCount > 0;
  DaoRow row;
  return NextMember(std::nullopt, &row).has_value();
}

void CDaoRecordset::MarkDeleted(int64_t rowid) {
  if (!m_deleted.insert(rowid).second) return;
  if (rowid > m_lastRowidAtOpen) {
    --m_addedCount;
  } else if (m_takenCount) {
    --*m_takenCount;
  }
}

void CDaoRecordset::LoadDefaults() {
  CDaoFieldExchange defaults(CDaoFieldExchange::kSetDefaults);
  DoFieldExchange(&defaults);
}

void CDaoRecordset::LoadRow(const DaoRow& row) {
  CDaoFieldExchange load(CDaoFieldExchange::kLoad);
  load.m_pRowIn = &row;
  DoFieldExchange(&load);
}

void CDaoRecordset::MoveTo(int64_t rowid, DaoRow row) {
  m_editMode = EditMode::kNone;
  m_where = Where::kOnRow;
  m_currentRowid = rowid;
  m_currentDeleted = false;
  m_currentRow = std::move(row);
  LoadRow(m_currentRow);
}

void CDaoRecordset::MoveFirst() {
  RequireOpen();
  DaoRow row;
  const std::optional<int64_t> rowid = NextMember(std::nullopt, &row);
  if (!rowid) AfxThrowDaoException(kJetNoCurrentRecord, "No current record");
  MoveTo(*rowid, std::move(row));
}

void CDaoRecordset::MoveLast() {
  RequireOpen();
  DaoRow row;
  const std::optional<int64_t> rowid = PrevMember(std::nullopt, &row);
  if (!rowid) AfxThrowDaoException(kJetNoCurrentRecord, "No current record");
  MoveTo(*rowid, std::move(row));
}

void CDaoRecordset::MoveNext() {
  // Moving off a row just deleted is how a walk that deletes goes on, also when that row
  // was the last member.
  const bool leavingDeleted = m_open && m_where == Where::kOnRow && m_currentDeleted;
  if (IsEOF() && !leavingDeleted) AfxThrowDaoException(kJetNoCurrentRecord, "No current record");
  DaoRow row;
  const std::optional<int64_t> rowid =
      NextMember(m_where == Where::kBeforeFirst ? std::nullopt : std::optional<int64_t>(m_currentRowid), &row);
  if (rowid) {
    MoveTo(*rowid, std::move(row));
  } else {
    m_editMode = EditMode::kNone;
    m_where = Where::kAfterLast;
  }
}

void CDaoRecordset::TakeEachRow(const std::function<void()>& take) {
  RequireOpen();
  if (!m_snapshot) AfxThrowDaoException(kJetReadOnly, "Only a snapshot's rows can be taken");
  try {
    for (size_t i = 0; i < m_taken.size(); ++i) {
      if (m_deleted.count(m_taken[i]) != 0) continue;
      CDaoFieldExchange load(CDaoFieldExchange::kLoad);
      load.m_pRowTake = &m_rows[i];
      DoFieldExchange(&load);
      take();
    }
  } catch (...) {
    Close();
    throw;
  }
  Close();
}

void CDaoRecordset::MovePrev() {
  if (IsBOF()) AfxThrowDaoException(kJetNoCurrentRecord, "No current record");
  DaoRow row;
  const std::optional<int64_t> rowid =
      PrevMember(m_where == Where::kAfterLast ? std::nullopt : std::optional<int64_t>(m_currentRowid), &row);
  if (rowid) {
    MoveTo(*rowid, std::move(row));
  } else {
    m_editMode = EditMode::kNone;
    m_where = Where::kBeforeFirst;
  }
}

std::optional<int64_t> CDaoRecordset::FindAfter(const DaoFilter& filter, std::optional<int64_t> after, DaoRow* row) {
  filter.Check(m_columns);
  if (m_snapshot || filter.Comparisons() > kMaxSqlComparisons) {
    for (std::optional<int64_t> at = NextMember(after, row); at; at = NextMember(*at, row)) {
      if (filter.Matches(m_columns, *row)) return at;
    }
    return std::nullopt;
  }
  // A dynaset asks the engine (and its indexes), then keeps the rows that belong to the set.
  if (after && *after == INT64_MAX) return std::nullopt;
  std::vector<DaoValue> parameters;
  const std::string where = filter.ToSql(m_columns, &parameters);
  sqlite3_stmt* statement = Cached("SELECT rowid, " + m_selectList + " FROM [" + m_table + "] WHERE (" + where +
                                   ") AND rowid >= ? ORDER BY rowid");
  ResetOnExit reset(statement);
  BindAll(statement, parameters);
  sqlite3_bind_int64(statement, static_cast<int>(parameters.size()) + 1, after ? *after + 1 : INT64_MIN);
  int rc = SQLITE_OK;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    const int64_t found = sqlite3_column_int64(statement, 0);
    if (IsMember(found)) {
      *row = ReadRow(statement, 1);
      return found;
    }
  }
  if (rc != SQLITE_DONE) ThrowSqliteError(Db(), rc, "Find in [" + m_table + "]");
  return std::nullopt;
}

BOOL CDaoRecordset::FindFirst(const char* criteria) {
  RequireOpen();
  const DaoFilter filter = DaoFilter::Parse(criteria != nullptr ? criteria : "");
  DaoRow row;
  const std::optional<int64_t> found = FindAfter(filter, std::nullopt, &row);
  if (!found) return FALSE;
  MoveTo(*found, std::move(row));
  return TRUE;
}

BOOL CDaoRecordset::FindNext(const char* criteria) {
  RequireOpen();
  const DaoFilter filter = DaoFilter::Parse(criteria != nullptr ? criteria : "");
  if (m_where == Where::kAfterLast) return FALSE;
  DaoRow row;
  const std::optional<int64_t> found =
      FindAfter(filter, m_where == Where::kBeforeFirst ? std::nullopt : std::optional<int64_t>(m_currentRowid), &row);
  if (!found) return FALSE;
  MoveTo(*found, std::move(row));
  return TRUE;
}

BOOL CDaoRecordset::FindFirstEqual(std::initializer_list<TextEquals> terms) {
  RequireOpen();
  std::vector<size_t> compared;
  std::vector<std::string_view> texts;
  compared.reserve(terms.size());
  texts.reserve(terms.size());
  for (const TextEquals& term : terms) {
    compared.push_back(TextColumn(term.column));
    texts.push_back(term.text);
  }
  auto matches = [&](const DaoRow& row) { return TextsEqual(row, compared, [&](size_t i) { return texts[i]; }); };
  DaoRow row;
  std::optional<int64_t> found;
  if (m_snapshot) {
    for (found = NextMember(std::nullopt, &row); found && !matches(row); found = NextMember(*found, &row)) {
    }
  } else {
    // The same statement a filter of this shape compiles to, so that it takes the same
    // index; prepared once per list of columns while the set is open.
    sqlite3_stmt* statement = StatementFor(m_equalFinds, compared, [&] {
      return "SELECT rowid, " + m_selectList + " FROM [" + m_table + "] WHERE (" + EqualWhere(compared) +
             ") AND rowid >= ? ORDER BY rowid";
    });
    ResetOnExit reset(statement);
    int index = 1;
    for (const TextEquals& term : terms) {
      // The texts outlive the steps below, which end with the reset. An empty view may have
      // no characters at all; it is still the empty text, never null.
      const char* text = term.text.data() != nullptr ? term.text.data() : "";
      sqlite3_bind_text(statement, index++, text, static_cast<int>(term.text.size()), SQLITE_STATIC);
    }
    sqlite3_bind_int64(statement, index, INT64_MIN);
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
      const int64_t rowid = sqlite3_column_int64(statement, 0);
      if (!IsMember(rowid)) continue;
      // The engine's comparison ends at a zero byte; the whole texts decide.
      row = ReadRow(statement, 1);
      if (matches(row)) {
        found = rowid;
        break;
      }
    }
    if (!found && rc != SQLITE_DONE) ThrowSqliteError(Db(), rc, "Find in [" + m_table + "]");
  }
  if (!found) return FALSE;
  MoveTo(*found, std::move(row));
  return TRUE;
}

int64_t CDaoRecordset::GetBookmark() const {
  RequireCurrent();
  return m_currentRowid;
}

BOOL CDaoRecordset::MoveToBookmark(int64_t bookmark) {
  RequireOpen();
  if (!IsMember(bookmark)) return FALSE;
  if (m_snapshot) {
    const auto it = std::lower_bound(m_taken.begin(), m_taken.end(), bookmark);
    if (it == m_taken.end() || *it != bookmark) return FALSE;
    MoveTo(bookmark, m_rows[static_cast<size_t>(it - m_taken.begin())]);
    return TRUE;
  }
  std::optional<DaoRow> live = FetchRow(bookmark);
  if (!live) return FALSE;
  MoveTo(bookmark, std::move(*live));
  return TRUE;
}

void CDaoRecordset::Edit() {
  RequireWritable();
  RequireCurrent();
  m_editMode = EditMode::kEdit;
}

void CDaoRecordset::AddNew() {
  RequireWritable();
  m_editMode = EditMode::kAdd;
  LoadDefaults();
}

void CDaoRecordset::CancelUpdate() {
  RequireOpen();
  m_editMode = EditMode::kNone;
  if (m_where == Where::kOnRow && !m_currentDeleted) LoadRow(m_currentRow);
}

void CDaoRecordset::Update() {
  RequireWritable();
  if (m_editMode == EditMode::kNone) AfxThrowDaoException(kJetUpdateWithoutEdit, "Update without AddNew or Edit");
  CDaoFieldExchange store(CDaoFieldExchange::kStore);
  DoFieldExchange(&store);
  const EditMode mode = m_editMode;
  m_editMode = EditMode::kNone;
  if (mode == EditMode::kEdit) {
    RequireCurrent();
    // Only the columns the edit changed are written: an unchanged key column costs no
    // index update, and a column changed meanwhile by someone else keeps that change.
    std::vector<size_t> changed;
    for (size_t i = 0; i < m_columns.size(); ++i) {
      if (i >= m_currentRow.size() || !(store.m_rowOut[i] == m_currentRow[i])) changed.push_back(i);
    }
    bool gone = false;
    if (changed.empty()) {
      gone = !FetchRow(m_currentRowid);
    } else {
      sqlite3_stmt* statement = StatementFor(m_updates, changed, [&] {
        std::string assignments;
        for (const size_t i : changed) assignments += (assignments.empty() ? "[" : ", [") + m_columns[i].name + "] = ?";
        return "UPDATE [" + m_table + "] SET " + assignments + " WHERE rowid = ?";
      });
      ResetOnExit reset(statement);
      int index = 1;
      for (const size_t i : changed) Bind(statement, index++, store.m_rowOut[i]);
      sqlite3_bind_int64(statement, index, m_currentRowid);
      const int rc = sqlite3_step(statement);
      if (rc != SQLITE_DONE) ThrowSqliteError(Db(), rc, "Update [" + m_table + "]");
      gone = sqlite3_changes(Db()) == 0;
    }
    if (gone) {
      MarkDeleted(m_currentRowid);
      m_currentDeleted = true;
      AfxThrowDaoException(kJetNoCurrentRecord, "The record was deleted by another user");
    }
    m_currentRow = std::move(store.m_rowOut);
    return;
  }
  // A new row takes a row id above every member of the set (the engine alone would hand
  // out again the row id of a last row deleted since the set was opened).
  if (!m_insertRow) {
    std::string placeholders;
    for (size_t i = 0; i < m_columns.size(); ++i) placeholders += ", ?";
    m_insertRow = Prepare("INSERT INTO [" + m_table + "] (rowid, " + m_selectList + ") VALUES (max(?, ifnull((" +
                          "SELECT max(rowid) FROM [" + m_table + "]), 0) + 1)" + placeholders + ")");
  }
  const int64_t highest = m_added.empty() ? m_lastRowidAtOpen : m_added.back();
  if (highest == INT64_MAX) AfxThrowDaoException(kJetUnexpected, "AddNew [" + m_table + "]: no row id is left");
  sqlite3_stmt* statement = m_insertRow.get();
  {
    ResetOnExit reset(statement);
    sqlite3_bind_int64(statement, 1, highest + 1);
    BindAll(statement, store.m_rowOut, 2);
    const int rc = sqlite3_step(statement);
    if (rc != SQLITE_DONE) ThrowSqliteError(Db(), rc, "AddNew [" + m_table + "]");
  }
  m_added.push_back(sqlite3_last_insert_rowid(Db()));
  ++m_addedCount;
  // The record that was current before AddNew stays current; a set that was empty stands
  // at its end.
  if (m_noMembers && m_where != Where::kOnRow) m_where = Where::kAfterLast;
  m_noMembers = false;
  if (m_where == Where::kOnRow && !m_currentDeleted) LoadRow(m_currentRow);
}

void CDaoRecordset::Delete() {
  RequireWritable();
  RequireCurrent();
  if (!m_deleteRow) m_deleteRow = Prepare("DELETE FROM [" + m_table + "] WHERE rowid = ?");
  sqlite3_stmt* statement = m_deleteRow.get();
  {
    ResetOnExit reset(statement);
    sqlite3_bind_int64(statement, 1, m_currentRowid);
    const int rc = sqlite3_step(statement);
    if (rc != SQLITE_DONE) ThrowSqliteError(Db(), rc, "Delete [" + m_table + "]");
  }
  MarkDeleted(m_currentRowid);
  m_currentDeleted = true;
  m_editMode = EditMode::kNone;
  m_noMembers = !HasMembers();
}
