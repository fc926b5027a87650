// The values a recordset's columns hold and the description of its columns.
#ifndef LUMORA_PLATFORM_DATABASE_DAO_VALUE_H_
#define LUMORA_PLATFORM_DATABASE_DAO_VALUE_H_

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "lumora/automation.h"

enum class DaoFieldType { kText, kByte, kShort, kLong, kBool, kDateTime, kLongBinary };

struct DaoColumn {
  std::string name;  // without brackets
  DaoFieldType type;
  bool IsText() const { return type == DaoFieldType::kText; }
  bool IsNumber() const { return type != DaoFieldType::kText && type != DaoFieldType::kLongBinary; }
};

// Null, an integer, a real number, a text, or bytes.
using DaoValue = std::variant<std::monostate, int64_t, double, std::string, std::vector<BYTE>>;
using DaoRow = std::vector<DaoValue>;

#endif  // LUMORA_PLATFORM_DATABASE_DAO_VALUE_H_
