// Fuzz target: the filter parser never crashes; a filter it accepts compiles to SQL that
// carries no literal text (every value is a bound parameter, one per comparison), and
// evaluating it in memory agrees with itself. A filter whose columns pass the check
// never throws while rows are evaluated (a recordset evaluates huge filters row by row,
// with a statement open), and one that fails the check fails to compile too. Cut into
// its alternatives, it carries the same literals.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/database/dao_exception.h"
#include "platform/database/dao_filter.h"

namespace {

const std::vector<DaoColumn> kColumns = {{"Section", DaoFieldType::kText},
                                         {"Key", DaoFieldType::kText},
                                         {"Usage", DaoFieldType::kLong},
                                         {"LastShared", DaoFieldType::kDateTime}};
const DaoRow kRow = {std::string("com.example"), std::string("o'neil"), int64_t{120}, 36526.5};
const DaoRow kNulls = {DaoValue(), DaoValue(), DaoValue(), DaoValue()};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const DaoFilter filter = DaoFilter::Parse(text);
    std::vector<DaoValue> parameters;
    std::string sql;
    bool checked = true;
    try {
      filter.Check(kColumns);
    } catch (const CDaoException&) {
      checked = false;  // an unknown column or a mismatched type
    }
    try {
      sql = filter.ToSql(kColumns, &parameters);
    } catch (const CDaoException&) {
      if (checked) std::abort();
      return 0;
    }
    if (!checked) std::abort();
    for (const DaoRow& row : {kRow, kNulls}) {
      try {
        filter.Matches(kColumns, row);
      } catch (...) {
        std::abort();
      }
    }
    if (sql.find('\'') != std::string::npos || sql.find('"') != std::string::npos ||
        sql.find(';') != std::string::npos) {
      std::abort();
    }
    if (static_cast<size_t>(std::count(sql.begin(), sql.end(), '?')) != parameters.size() ||
        parameters.size() != filter.Comparisons()) {
      std::abort();
    }
    if (filter.Matches(kColumns, kRow) != filter.Matches(kColumns, kRow)) std::abort();
    // Asked one alternative at a time, the filter carries the same literals, none in SQL.
    size_t alternativeLiterals = 0;
    for (const auto& [where, literals] : filter.ToSqlAlternatives(kColumns, 400)) {
      if (where.find('\'') != std::string::npos ||
          static_cast<size_t>(std::count(where.begin(), where.end(), '?')) != literals.size()) {
        std::abort();
      }
      alternativeLiterals += literals.size();
    }
    if (alternativeLiterals != 0 && alternativeLiterals != parameters.size()) std::abort();
  } catch (const CDaoException& e) {
    if (e.JetError() != kJetFilterSyntax) std::abort();
  }
  return 0;
}
