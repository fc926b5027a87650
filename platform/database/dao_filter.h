// Filters: the WHERE texts the component builds (column = 'text' or number, the other
// comparisons, AND, OR, parentheses), parsed into a tree. A filter is never pasted into
// SQL: it is compiled to SQL with its literals as bound parameters, or evaluated in
// memory on a row. Text compares without regard to letter case (A-Z), numbers as numbers.
// Immutable after parsing; any thread.
#ifndef LUMORA_PLATFORM_DATABASE_DAO_FILTER_H_
#define LUMORA_PLATFORM_DATABASE_DAO_FILTER_H_

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dao_value.h"

class DaoFilter {
 public:
  // Throws CDaoException (syntax error in a filter) for text outside the grammar.
  static DaoFilter Parse(std::string_view text);

  DaoFilter(DaoFilter&&) noexcept;
  DaoFilter& operator=(DaoFilter&&) noexcept;
  ~DaoFilter();

  // SQL for a WHERE clause over `columns`, appending the literals to *parameters.
  // Throws CDaoException for a column not among `columns` or a comparison of text with
  // a number.
  std::string ToSql(const std::vector<DaoColumn>& columns, std::vector<DaoValue>* parameters) const;
  // Throws as ToSql when any comparison names a column not among `columns` or compares
  // text with a number; Matches looks only at the comparisons it needs.
  void Check(const std::vector<DaoColumn>& columns) const;
  // How many comparisons the filter holds (the engine limits how large a query may grow).
  size_t Comparisons() const;
  // The alternatives of an OR at the top of the filter, each as a WHERE text and its
  // literals: the filter's rows are the rows of all of them. Alternatives of the same
  // shape have the same text. Empty when the filter is no OR, or one alternative holds
  // more than `maxComparisons` comparisons. Throws as ToSql.
  std::vector<std::pair<std::string, std::vector<DaoValue>>> ToSqlAlternatives(const std::vector<DaoColumn>& columns,
                                                                               size_t maxComparisons) const;
  // Whether `row` (values in the order of `columns`) satisfies the filter; throws as ToSql.
  bool Matches(const std::vector<DaoColumn>& columns, const DaoRow& row) const;

  struct Node;

 private:
  explicit DaoFilter(std::unique_ptr<Node> root);
  std::unique_ptr<Node> m_root;
};

// Compares texts as the filters do: byte by byte after folding A-Z to a-z.
int CompareNoCase(std::string_view a, std::string_view b);

#endif  // LUMORA_PLATFORM_DATABASE_DAO_FILTER_H_
