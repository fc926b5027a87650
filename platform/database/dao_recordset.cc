// Recordsets over SQLCipher tables.
#define SQLITE_HAS_CODEC 1
#include "dao_recordset.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>

namespace {

// Filters with more comparisons than this are evaluated in memory: the engine limits
// the depth of a query's expression.
constexpr size_t kMaxSqlComparisons = 400;

std::string Unbracket(const char* name) {
  std::string text(name);
  if (text.size() >= 2 && text.front() == '[' && text.back() == ']') text = text.substr(1, text.size() - 2);
  return text;
}

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
      const DaoValue& stored = (*pFX->m_pRowIn)[pFX->m_nField++];
      if constexpr (std::is_same_v<T, std::string>) {
        const auto* text = std::get_if<std::string>(&stored);
        value = text != nullptr ? *text : fallback;
      } else if constexpr (std::is_same_v<T, std::vector<BYTE>>) {
        const auto* bytes = std::get_if<std::vector<BYTE>>(&stored);
        value = bytes != nullptr ? *bytes : fallback;
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

// Holds a read transaction for its scope, unless one is open already (a transaction of
// the workspace, which its owner ends).
class ReadTransaction {
 public:
  explicit ReadTransaction(sqlite3* db) : m_db(db != nullptr && sqlite3_get_autocommit(db) != 0 ? db : nullptr) {
    if (m_db != nullptr && sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) m_db = nullptr;
  }
  ~ReadTransaction() {
    if (m_db != nullptr) sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
  }
  ReadTransaction(const ReadTransaction&) = delete;
  ReadTransaction& operator=(const ReadTransaction&) = delete;

 private:
  sqlite3* m_db;
};

// The statements of one open, prepared once per text, finalized with it.
class PreparedStatements {
 public:
  explicit PreparedStatements(sqlite3* db) : m_db(db) {}
  ~PreparedStatements() {
    for (auto& [sql, statement] : m_statements) sqlite3_finalize(statement);
  }
  PreparedStatements(const PreparedStatements&) = delete;
  PreparedStatements& operator=(const PreparedStatements&) = delete;

  // The statement kept under `key`, reset and without bindings; prepared from the text
  // `sql()` gives the first time.
  template <class Sql>
  sqlite3_stmt* Get(const std::string& key, const Sql& sql, const std::string& table) {
    auto found = m_statements.find(key);
    if (found != m_statements.end()) {
      sqlite3_reset(found->second);
      sqlite3_clear_bindings(found->second);
      return found->second;
    }
    sqlite3_stmt* statement = nullptr;
    const int rc = sqlite3_prepare_v2(m_db, sql().c_str(), -1, &statement, nullptr);
    if (rc != SQLITE_OK) ThrowSqliteError(m_db, rc, "Open [" + table + "]");
    m_statements.emplace(key, statement);
    return statement;
  }

 private:
  sqlite3* m_db;
  std::map<std::string, sqlite3_stmt*> m_statements;
};

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
  if (m_position < 0 || static_cast<size_t>(m_position) >= m_rowids.size() ||
      m_deleted[static_cast<size_t>(m_position)]) {
    AfxThrowDaoException(kJetNoCurrentRecord, "No current record");
  }
}

void CDaoRecordset::RequireWritable() const {
  RequireOpen();
  if (m_snapshot) AfxThrowDaoException(kJetReadOnly, "A snapshot cannot be updated");
}

sqlite3_stmt* CDaoRecordset::Statement(const std::string& sql) {
  auto found = m_statements.find(sql);
  if (found != m_statements.end()) {
    sqlite3_reset(found->second);
    sqlite3_clear_bindings(found->second);
    return found->second;
  }
  sqlite3_stmt* statement = nullptr;
  const int rc = sqlite3_prepare_v2(Db(), sql.c_str(), -1, &statement, nullptr);
  if (rc != SQLITE_OK) ThrowSqliteError(Db(), rc, "Prepare");
  m_statements.emplace(sql, statement);
  return statement;
}

sqlite3_stmt* CDaoRecordset::RowStatement(sqlite3_stmt** slot, const std::string& sql) {
  if (*slot == nullptr) {
    const int rc = sqlite3_prepare_v2(Db(), sql.c_str(), -1, slot, nullptr);
    if (rc != SQLITE_OK) ThrowSqliteError(Db(), rc, "Prepare");
  } else {
    sqlite3_reset(*slot);
  }
  return *slot;
}

void CDaoRecordset::BindAll(sqlite3_stmt* statement, const std::vector<DaoValue>& values, int first) {
  int index = first;
  for (const DaoValue& value : values) {
    if (const auto* integer = std::get_if<int64_t>(&value)) {
      sqlite3_bind_int64(statement, index, *integer);
    } else if (const auto* real = std::get_if<double>(&value)) {
      sqlite3_bind_double(statement, index, *real);
    } else if (const auto* text = std::get_if<std::string>(&value)) {
      sqlite3_bind_text(statement, index, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
    } else if (const auto* bytes = std::get_if<std::vector<BYTE>>(&value)) {
      sqlite3_bind_blob(statement, index, bytes->data(), static_cast<int>(bytes->size()), SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_null(statement, index);
    }
    ++index;
  }
}

DaoRow CDaoRecordset::ReadRow(sqlite3_stmt* statement, int firstColumn) const {
  DaoRow row;
  row.reserve(m_columns.size());
  for (size_t i = 0; i < m_columns.size(); ++i) {
    const int column = firstColumn + static_cast<int>(i);
    if (sqlite3_column_type(statement, column) == SQLITE_NULL) {
      row.emplace_back();
      continue;
    }
    switch (m_columns[i].type) {
      case DaoFieldType::kText:
        row.emplace_back(std::string(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                                     static_cast<size_t>(sqlite3_column_bytes(statement, column))));
        break;
      case DaoFieldType::kDateTime:
        row.emplace_back(sqlite3_column_double(statement, column));
        break;
      case DaoFieldType::kLongBinary: {
        const auto* bytes = static_cast<const BYTE*>(sqlite3_column_blob(statement, column));
        row.emplace_back(std::vector<BYTE>(bytes, bytes + sqlite3_column_bytes(statement, column)));
        break;
      }
      default:
        row.emplace_back(static_cast<int64_t>(sqlite3_column_int64(statement, column)));
        break;
    }
  }
  return row;
}

std::string CDaoRecordset::SelectList() const {
  std::string list;
  for (const DaoColumn& column : m_columns) list += (list.empty() ? "[" : ", [") + column.name + "]";
  return list;
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
  m_columns = std::move(describe.m_columns);
  m_nFields = static_cast<int>(m_columns.size());
  m_table = table;
  m_snapshot = type == dbOpenSnapshot;
  m_filter.reset();
  m_filterSql.clear();
  m_filterParameters.clear();
  bool filterInMemory = false;
  // WHERE texts and their literals, asked one after the other.
  std::vector<std::pair<std::string, std::vector<DaoValue>>> queries;
  if (!m_strFilter.empty()) {
    m_filter = DaoFilter::Parse(m_strFilter);
    // A list of alternatives (a read of many variables is one) is asked one alternative
    // at a time, each found through the indexes with one statement prepared per shape:
    // as one query its plan would grow faster than the list, and past the engine's
    // limits it could only be evaluated by reading the whole table.
    queries = m_filter->ToSqlAlternatives(m_columns, kMaxSqlComparisons);
    if (queries.empty()) {
      if (m_filter->Comparisons() <= kMaxSqlComparisons) {
        m_filterSql = m_filter->ToSql(m_columns, &m_filterParameters);
      } else {
        m_filter->Matches(m_columns, DaoRow(m_columns.size()));  // checks the columns and types
        filterInMemory = true;
      }
    }
  }
  if (queries.empty()) queries.emplace_back(m_filterSql, m_filterParameters);
  const bool needRows = m_snapshot || filterInMemory;
  m_rowids.clear();
  m_rows.clear();
  std::map<int64_t, DaoRow> merged;  // the alternatives' rows, each once, in rowid order
  // Several queries read as one: no writer's commit may fall between two of them.
  ReadTransaction oneRead(queries.size() > 1 ? Db() : nullptr);
  PreparedStatements statements(Db());
  const std::string select =
      "SELECT rowid" + (needRows ? ", " + SelectList() : std::string()) + " FROM [" + m_table + "]";
  for (const auto& [where, parameters] : queries) {
    sqlite3_stmt* statement = statements.Get(
        where,
        [&] {
          std::string sql = select;
          if (!where.empty()) sql += " WHERE " + where;
          if (queries.size() == 1) sql += " ORDER BY rowid";  // the merge orders the alternatives' rows
          return sql;
        },
        m_table);
    BindAll(statement, parameters);
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
      const int64_t rowid = sqlite3_column_int64(statement, 0);
      DaoRow row;
      if (needRows) {
        row = ReadRow(statement, 1);
        if (filterInMemory && !m_filter->Matches(m_columns, row)) continue;
      }
      if (queries.size() > 1) {
        merged.emplace(rowid, std::move(row));
        continue;
      }
      if (m_snapshot) m_rows.push_back(std::move(row));
      m_rowids.push_back(rowid);
    }
    if (rc != SQLITE_DONE) ThrowSqliteError(Db(), rc, "Open [" + m_table + "]");
  }
  for (auto& [rowid, row] : merged) {
    if (m_snapshot) m_rows.push_back(std::move(row));
    m_rowids.push_back(rowid);
  }
  m_deleted.assign(m_rowids.size(), false);
  m_deletedCount = 0;
  m_positionOfRowid.clear();
  for (size_t i = 0; i < m_rowids.size(); ++i) m_positionOfRowid[m_rowids[i]] = i;
  m_open = true;
  m_editMode = EditMode::kNone;
  m_position = 0;
  LoadCurrent();
}

void CDaoRecordset::Close() {
  for (auto& [sql, statement] : m_statements) sqlite3_finalize(statement);
  m_statements.clear();
  for (sqlite3_stmt** statement : {&m_selectRow, &m_insertRow, &m_updateRow, &m_deleteRow}) {
    sqlite3_finalize(*statement);
    *statement = nullptr;
  }
  m_open = false;
  m_rowids.clear();
  m_rows.clear();
  m_deleted.clear();
  m_deletedCount = 0;
  m_positionOfRowid.clear();
  m_editMode = EditMode::kNone;
}

bool CDaoRecordset::IsBOF() const {
  RequireOpen();
  return m_position < 0 || GetRecordCount() == 0;
}

bool CDaoRecordset::IsEOF() const {
  RequireOpen();
  return static_cast<size_t>(std::max(m_position, 0L)) >= m_rowids.size() || GetRecordCount() == 0;
}

bool CDaoRecordset::IsDeleted() const {
  RequireOpen();
  return m_position >= 0 && static_cast<size_t>(m_position) < m_rowids.size() &&
         m_deleted[static_cast<size_t>(m_position)];
}

long CDaoRecordset::GetRecordCount() const {
  RequireOpen();
  return static_cast<long>(m_deleted.size() - m_deletedCount);
}

std::optional<DaoRow> CDaoRecordset::RowAt(size_t index) {
  if (m_snapshot) return m_rows[index];
  sqlite3_stmt* statement =
      m_selectRow != nullptr
          ? RowStatement(&m_selectRow, {})
          : RowStatement(&m_selectRow, "SELECT " + SelectList() + " FROM [" + m_table + "] WHERE rowid = ?");
  sqlite3_bind_int64(statement, 1, m_rowids[index]);
  const int rc = sqlite3_step(statement);
  if (rc == SQLITE_ROW) {
    DaoRow row = ReadRow(statement, 0);
    sqlite3_reset(statement);
    return row;
  }
  sqlite3_reset(statement);
  if (rc != SQLITE_DONE) ThrowSqliteError(Db(), rc, "Read [" + m_table + "]");
  return std::nullopt;  // deleted by someone else since the set was opened
}

void CDaoRecordset::MarkDeleted(size_t index) {
  if (!m_deleted[index]) ++m_deletedCount;
  m_deleted[index] = true;
}

void CDaoRecordset::LoadDefaults() {
  CDaoFieldExchange defaults(CDaoFieldExchange::kSetDefaults);
  DoFieldExchange(&defaults);
}

void CDaoRecordset::LoadCurrent(const DaoRow* known) {
  if (m_position < 0 || static_cast<size_t>(m_position) >= m_rowids.size() ||
      m_deleted[static_cast<size_t>(m_position)]) {
    return;
  }
  const std::optional<DaoRow> row =
      known != nullptr ? std::optional<DaoRow>(*known) : RowAt(static_cast<size_t>(m_position));
  if (!row) {
    MarkDeleted(static_cast<size_t>(m_position));
    LoadDefaults();
    return;
  }
  CDaoFieldExchange load(CDaoFieldExchange::kLoad);
  load.m_pRowIn = &*row;
  DoFieldExchange(&load);
}

void CDaoRecordset::MoveTo(long position, const DaoRow* row) {
  m_editMode = EditMode::kNone;
  m_position = position;
  LoadCurrent(row);
}

void CDaoRecordset::MoveFirst() {
  RequireOpen();
  const auto first = std::find(m_deleted.begin(), m_deleted.end(), false);
  if (first == m_deleted.end()) AfxThrowDaoException(kJetNoCurrentRecord, "No current record");
  MoveTo(static_cast<long>(first - m_deleted.begin()));
}

void CDaoRecordset::MoveLast() {
  RequireOpen();
  const auto last = std::find(m_deleted.rbegin(), m_deleted.rend(), false);
  if (last == m_deleted.rend()) AfxThrowDaoException(kJetNoCurrentRecord, "No current record");
  MoveTo(static_cast<long>(m_deleted.rend() - last) - 1);
}

void CDaoRecordset::MoveNext() {
  if (IsEOF()) AfxThrowDaoException(kJetNoCurrentRecord, "No current record");
  long next = m_position + 1;
  while (static_cast<size_t>(next) < m_rowids.size() && m_deleted[static_cast<size_t>(next)]) ++next;
  MoveTo(next);
}

void CDaoRecordset::MovePrev() {
  if (IsBOF()) AfxThrowDaoException(kJetNoCurrentRecord, "No current record");
  long previous = std::min<long>(m_position, static_cast<long>(m_rowids.size())) - 1;
  while (previous >= 0 && m_deleted[static_cast<size_t>(previous)]) --previous;
  MoveTo(previous);
}

long CDaoRecordset::FindFrom(const DaoFilter& filter, long from, std::optional<DaoRow>* row) {
  if (from < 0) from = 0;
  if (static_cast<size_t>(from) >= m_rowids.size()) return -1;
  if (m_snapshot || filter.Comparisons() > kMaxSqlComparisons) {
    for (size_t i = static_cast<size_t>(from); i < m_rowids.size(); ++i) {
      if (m_deleted[i]) continue;
      *row = RowAt(i);
      if (*row && filter.Matches(m_columns, **row)) return static_cast<long>(i);
    }
    return -1;
  }
  // A dynaset asks the engine (and its indexes), then keeps the rows that belong to the set.
  std::vector<DaoValue> parameters;
  const std::string where = filter.ToSql(m_columns, &parameters);
  sqlite3_stmt* statement = Statement("SELECT rowid, " + SelectList() + " FROM [" + m_table + "] WHERE (" + where +
                                      ") AND rowid >= ? ORDER BY rowid");
  BindAll(statement, parameters);
  sqlite3_bind_int64(statement, static_cast<int>(parameters.size()) + 1, m_rowids[static_cast<size_t>(from)]);
  int rc = SQLITE_OK;
  long found = -1;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    const auto position = m_positionOfRowid.find(sqlite3_column_int64(statement, 0));
    if (position != m_positionOfRowid.end() && position->second >= static_cast<size_t>(from) &&
        !m_deleted[position->second]) {
      found = static_cast<long>(position->second);
      *row = ReadRow(statement, 1);
      break;
    }
  }
  sqlite3_reset(statement);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) ThrowSqliteError(Db(), rc, "Find in [" + m_table + "]");
  return found;
}

BOOL CDaoRecordset::FindFirst(const char* criteria) {
  RequireOpen();
  const DaoFilter filter = DaoFilter::Parse(criteria != nullptr ? criteria : "");
  std::optional<DaoRow> row;
  const long found = FindFrom(filter, 0, &row);
  if (found < 0) return FALSE;
  MoveTo(found, row ? &*row : nullptr);
  return TRUE;
}

BOOL CDaoRecordset::FindNext(const char* criteria) {
  RequireOpen();
  const DaoFilter filter = DaoFilter::Parse(criteria != nullptr ? criteria : "");
  std::optional<DaoRow> row;
  const long found = FindFrom(filter, m_position + 1, &row);
  if (found < 0) return FALSE;
  MoveTo(found, row ? &*row : nullptr);
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
  LoadCurrent();
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
    std::string assignments;
    for (const DaoColumn& column : m_columns)
      assignments += (assignments.empty() ? "[" : ", [") + column.name + "] = ?";
    sqlite3_stmt* statement = Statement("UPDATE [" + m_table + "] SET " + assignments + " WHERE rowid = ?");
    BindAll(statement, store.m_rowOut);
    sqlite3_bind_int64(statement, static_cast<int>(m_columns.size()) + 1, m_rowids[static_cast<size_t>(m_position)]);
    const int rc = sqlite3_step(statement);
    sqlite3_reset(statement);
    if (rc != SQLITE_DONE) ThrowSqliteError(Db(), rc, "Update [" + m_table + "]");
    if (sqlite3_changes(Db()) == 0) {
      MarkDeleted(static_cast<size_t>(m_position));
      AfxThrowDaoException(kJetNoCurrentRecord, "The record was deleted by another user");
    }
    return;
  }
  sqlite3_stmt* statement = m_insertRow;
  if (statement == nullptr) {
    std::string placeholders;
    for (size_t i = 0; i < m_columns.size(); ++i) placeholders += i == 0 ? "?" : ", ?";
    statement = RowStatement(&m_insertRow,
                             "INSERT INTO [" + m_table + "] (" + SelectList() + ") VALUES (" + placeholders + ")");
  }
  BindAll(statement, store.m_rowOut);
  const int rc = sqlite3_step(statement);
  sqlite3_reset(statement);
  if (rc != SQLITE_DONE) ThrowSqliteError(Db(), rc, "AddNew [" + m_table + "]");
  const int64_t rowid = sqlite3_last_insert_rowid(Db());
  const bool wasAtEnd = static_cast<size_t>(std::max(m_position, 0L)) >= m_rowids.size();
  m_positionOfRowid[rowid] = m_rowids.size();
  m_rowids.push_back(rowid);
  m_deleted.push_back(false);
  // The record that was current before AddNew stays current; at the end, the set stays
  // at its end.
  if (wasAtEnd && m_position >= 0) m_position = static_cast<long>(m_rowids.size());
  LoadCurrent();
}

void CDaoRecordset::Delete() {
  RequireWritable();
  RequireCurrent();
  sqlite3_stmt* statement = m_deleteRow != nullptr
                                ? RowStatement(&m_deleteRow, {})
                                : RowStatement(&m_deleteRow, "DELETE FROM [" + m_table + "] WHERE rowid = ?");
  sqlite3_bind_int64(statement, 1, m_rowids[static_cast<size_t>(m_position)]);
  const int rc = sqlite3_step(statement);
  sqlite3_reset(statement);
  if (rc != SQLITE_DONE) ThrowSqliteError(Db(), rc, "Delete [" + m_table + "]");
  MarkDeleted(static_cast<size_t>(m_position));
  m_editMode = EditMode::kNone;
}
