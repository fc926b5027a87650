// The filter grammar:
//   filter     := or
//   or         := and ("OR" and)*
//   and        := primary ("AND" primary)*
//   primary    := "(" or ")" | column op literal
//   column     := name | "[" name "]"          name: letters, digits, '_'
//   op         := "=" | "<>" | "<" | "<=" | ">" | ">="
//   literal    := "'" text "'" ("''" inside stands for one apostrophe) | ["-"] digits ["." digits]
// Keywords ignore letter case. Nesting is limited, so no text can exhaust the stack.
#include "dao_filter.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "dao_exception.h"

namespace {

constexpr int kMaxDepth = 64;

enum class Op { kEq, kNe, kLt, kLe, kGt, kGe };

[[noreturn]] void Syntax(std::string_view text) {
  AfxThrowDaoException(kJetFilterSyntax, "Syntax error in filter: " + std::string(text));
}

}  // namespace

struct DaoFilter::Node {
  enum class Kind { kAnd, kOr, kCompare } kind = Kind::kCompare;
  std::vector<std::unique_ptr<Node>> children;  // of AND and OR: chains stay flat
  std::string column;
  Op op = Op::kEq;
  bool textLiteral = false;
  std::string text;
  double number = 0;
};

namespace {

using Node = DaoFilter::Node;

class Parser {
 public:
  explicit Parser(std::string_view text) : m_text(text) {}

  std::unique_ptr<Node> ParseAll() {
    auto root = Or(0);
    SkipSpace();
    if (m_pos != m_text.size()) Syntax(m_text);
    return root;
  }

 private:
  void SkipSpace() {
    while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos]))) ++m_pos;
  }
  bool Keyword(std::string_view word) {
    SkipSpace();
    if (m_text.size() - m_pos < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
      if (std::toupper(static_cast<unsigned char>(m_text[m_pos + i])) != word[i]) return false;
    }
    const size_t end = m_pos + word.size();
    if (end < m_text.size() && (std::isalnum(static_cast<unsigned char>(m_text[end])) || m_text[end] == '_')) {
      return false;
    }
    m_pos = end;
    return true;
  }
  bool Take(char c) {
    SkipSpace();
    if (m_pos < m_text.size() && m_text[m_pos] == c) {
      ++m_pos;
      return true;
    }
    return false;
  }

  std::unique_ptr<Node> Or(int depth) {
    auto first = And(depth);
    if (!Keyword("OR")) return first;
    auto node = std::make_unique<Node>();
    node->kind = Node::Kind::kOr;
    node->children.push_back(std::move(first));
    do {
      node->children.push_back(And(depth));
    } while (Keyword("OR"));
    return node;
  }
  std::unique_ptr<Node> And(int depth) {
    auto first = Primary(depth);
    if (!Keyword("AND")) return first;
    auto node = std::make_unique<Node>();
    node->kind = Node::Kind::kAnd;
    node->children.push_back(std::move(first));
    do {
      node->children.push_back(Primary(depth));
    } while (Keyword("AND"));
    return node;
  }
  std::unique_ptr<Node> Primary(int depth) {
    if (Take('(')) {
      if (depth >= kMaxDepth) Syntax(m_text);
      auto inner = Or(depth + 1);
      if (!Take(')')) Syntax(m_text);
      return inner;
    }
    auto node = std::make_unique<Node>();
    node->column = Column();
    node->op = Operator();
    Literal(node.get());
    return node;
  }
  std::string Column() {
    SkipSpace();
    const bool bracketed = Take('[');
    const size_t start = m_pos;
    while (m_pos < m_text.size() && (std::isalnum(static_cast<unsigned char>(m_text[m_pos])) || m_text[m_pos] == '_')) {
      ++m_pos;
    }
    std::string name(m_text.substr(start, m_pos - start));
    if (name.empty() || (bracketed && !Take(']'))) Syntax(m_text);
    if (!bracketed && (Equals(name, "AND") || Equals(name, "OR"))) Syntax(m_text);
    return name;
  }
  static bool Equals(std::string_view a, std::string_view b) { return CompareNoCase(a, b) == 0; }
  Op Operator() {
    SkipSpace();
    const std::string_view rest = m_text.substr(m_pos);
    const std::pair<std::string_view, Op> ops[] = {{"<>", Op::kNe}, {"<=", Op::kLe}, {">=", Op::kGe},
                                                   {"=", Op::kEq},  {"<", Op::kLt},  {">", Op::kGt}};
    for (const auto& [text, op] : ops) {
      if (rest.substr(0, text.size()) == text) {
        m_pos += text.size();
        return op;
      }
    }
    Syntax(m_text);
  }
  void Literal(Node* node) {
    SkipSpace();
    if (Take('\'')) {
      node->textLiteral = true;
      while (true) {
        if (m_pos >= m_text.size()) Syntax(m_text);
        const char c = m_text[m_pos++];
        if (c == '\'') {
          if (m_pos < m_text.size() && m_text[m_pos] == '\'') {
            node->text.push_back('\'');
            ++m_pos;
            continue;
          }
          return;
        }
        node->text.push_back(c);
      }
    }
    const size_t start = m_pos;
    if (m_pos < m_text.size() && m_text[m_pos] == '-') ++m_pos;
    const size_t digits = m_pos;
    while (m_pos < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_pos]))) ++m_pos;
    if (m_pos == digits) Syntax(m_text);
    if (m_pos < m_text.size() && m_text[m_pos] == '.') {
      ++m_pos;
      const size_t fraction = m_pos;
      while (m_pos < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_pos]))) ++m_pos;
      if (m_pos == fraction) Syntax(m_text);
    }
    if (m_pos < m_text.size() && (std::isalpha(static_cast<unsigned char>(m_text[m_pos])) || m_text[m_pos] == '_')) {
      Syntax(m_text);  // "3abc" is no number
    }
    node->number = std::strtod(std::string(m_text.substr(start, m_pos - start)).c_str(), nullptr);
  }

  std::string_view m_text;
  size_t m_pos = 0;
};

size_t CountComparisons(const Node& node) {
  if (node.kind == Node::Kind::kCompare) return 1;
  size_t count = 0;
  for (const auto& child : node.children) count += CountComparisons(*child);
  return count;
}

size_t ColumnIndex(const std::vector<DaoColumn>& columns, const Node& node) {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (CompareNoCase(columns[i].name, node.column) == 0) {
      if (node.textLiteral ? !columns[i].IsText() : !columns[i].IsNumber()) {
        AfxThrowDaoException(kJetTypeMismatch, "Data type mismatch in criteria expression: " + node.column);
      }
      return i;
    }
  }
  AfxThrowDaoException(kJetFilterSyntax, "Unknown column in filter: " + node.column);
}

const char* SqlOperator(Op op) {
  switch (op) {
    case Op::kEq:
      return " = ";
    case Op::kNe:
      return " <> ";
    case Op::kLt:
      return " < ";
    case Op::kLe:
      return " <= ";
    case Op::kGt:
      return " > ";
    case Op::kGe:
      return " >= ";
  }
  return " = ";
}

bool Holds(Op op, int order) {
  switch (op) {
    case Op::kEq:
      return order == 0;
    case Op::kNe:
      return order != 0;
    case Op::kLt:
      return order < 0;
    case Op::kLe:
      return order <= 0;
    case Op::kGt:
      return order > 0;
    case Op::kGe:
      return order >= 0;
  }
  return false;
}

void ToSql(const Node& node, const std::vector<DaoColumn>& columns, std::vector<DaoValue>* parameters,
           std::string* sql) {
  if (node.kind != Node::Kind::kCompare) {
    for (size_t i = 0; i < node.children.size(); ++i) {
      if (i > 0) *sql += node.kind == Node::Kind::kAnd ? " AND " : " OR ";
      sql->push_back('(');
      ToSql(*node.children[i], columns, parameters, sql);
      sql->push_back(')');
    }
    return;
  }
  const size_t index = ColumnIndex(columns, node);
  *sql += "[" + columns[index].name + "]" + SqlOperator(node.op) + "?";
  if (node.textLiteral) {
    *sql += " COLLATE NOCASE";
    parameters->emplace_back(node.text);
  } else {
    parameters->emplace_back(node.number);
  }
}

void Check(const Node& node, const std::vector<DaoColumn>& columns) {
  if (node.kind == Node::Kind::kCompare) {
    ColumnIndex(columns, node);
    return;
  }
  for (const auto& child : node.children) Check(*child, columns);
}

bool Matches(const Node& node, const std::vector<DaoColumn>& columns, const DaoRow& row) {
  if (node.kind == Node::Kind::kAnd) {
    for (const auto& child : node.children) {
      if (!Matches(*child, columns, row)) return false;
    }
    return true;
  }
  if (node.kind == Node::Kind::kOr) {
    for (const auto& child : node.children) {
      if (Matches(*child, columns, row)) return true;
    }
    return false;
  }
  const DaoValue& value = row[ColumnIndex(columns, node)];
  if (std::holds_alternative<std::monostate>(value)) return false;  // as in SQL, null matches nothing
  if (node.textLiteral) {
    const auto* text = std::get_if<std::string>(&value);
    return text != nullptr && Holds(node.op, CompareNoCase(*text, node.text));
  }
  double number = 0;
  if (const auto* integer = std::get_if<int64_t>(&value)) {
    number = static_cast<double>(*integer);
  } else if (const auto* real = std::get_if<double>(&value)) {
    number = *real;
  } else {
    return false;
  }
  return Holds(node.op, number < node.number ? -1 : number > node.number ? 1 : 0);
}

}  // namespace

int CompareNoCase(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    auto fold = [](char c) { return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c); };
    const unsigned char x = fold(a[i]);
    const unsigned char y = fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

DaoFilter::DaoFilter(std::unique_ptr<Node> root) : m_root(std::move(root)) {}
DaoFilter::DaoFilter(DaoFilter&&) noexcept = default;
DaoFilter& DaoFilter::operator=(DaoFilter&&) noexcept = default;
DaoFilter::~DaoFilter() = default;

DaoFilter DaoFilter::Parse(std::string_view text) { return DaoFilter(Parser(text).ParseAll()); }

std::string DaoFilter::ToSql(const std::vector<DaoColumn>& columns, std::vector<DaoValue>* parameters) const {
  std::string sql;
  ::ToSql(*m_root, columns, parameters, &sql);
  return sql;
}

void DaoFilter::Check(const std::vector<DaoColumn>& columns) const { ::Check(*m_root, columns); }

size_t DaoFilter::Comparisons() const { return CountComparisons(*m_root); }

std::vector<std::pair<std::string, std::vector<DaoValue>>> DaoFilter::ToSqlAlternatives(
    const std::vector<DaoColumn>& columns, size_t maxComparisons) const {
  std::vector<std::pair<std::string, std::vector<DaoValue>>> alternatives;
  if (m_root->kind != Node::Kind::kOr) return alternatives;
  for (const auto& child : m_root->children) {
    if (CountComparisons(*child) > maxComparisons) return {};
    auto& [sql, parameters] = alternatives.emplace_back();
    ::ToSql(*child, columns, &parameters, &sql);
  }
  return alternatives;
}

bool DaoFilter::Matches(const std::vector<DaoColumn>& columns, const DaoRow& row) const {
  return ::Matches(*m_root, columns, row);
}
