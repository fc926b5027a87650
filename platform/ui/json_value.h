// A small JSON tree for the consent presenters' lines: objects (members in the order
// written), arrays, strings (UTF-8) and integers, nothing else. The reader is strict,
// since its input may come from anyone who can write a file or a pipe: one value, blanks
// around it only, valid UTF-8, no duplicate names, nesting at most kMaxJsonDepth deep,
// integers that fit 64 bits. Values are plain data; any thread.
#ifndef LUMORA_PLATFORM_UI_JSON_VALUE_H_
#define LUMORA_PLATFORM_UI_JSON_VALUE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumora {

inline constexpr int kMaxJsonDepth = 32;

class JsonValue {
 public:
  enum class Kind { kString, kInteger, kArray, kObject };
  using Member = std::pair<std::string, JsonValue>;

  JsonValue() = default;  // the empty string
  static JsonValue String(std::string text);
  static JsonValue Integer(int64_t value);
  static JsonValue Array(std::vector<JsonValue> items = {});
  static JsonValue Object(std::vector<Member> members = {});

  Kind kind() const { return m_kind; }
  bool IsString() const { return m_kind == Kind::kString; }
  bool IsInteger() const { return m_kind == Kind::kInteger; }
  bool IsArray() const { return m_kind == Kind::kArray; }
  bool IsObject() const { return m_kind == Kind::kObject; }

  const std::string& text() const { return m_text; }
  int64_t integer() const { return m_integer; }
  const std::vector<JsonValue>& items() const { return m_items; }
  const std::vector<Member>& members() const { return m_members; }

  // The member called `name` of an object, or null (also for a value that is no object).
  const JsonValue* Find(std::string_view name) const;
  // Appends to an object (the caller keeps names unique) or to an array.
  JsonValue& Add(std::string name, JsonValue value);
  JsonValue& Append(JsonValue value);

  friend bool operator==(const JsonValue&, const JsonValue&) = default;

 private:
  Kind m_kind = Kind::kString;
  std::string m_text;
  int64_t m_integer = 0;
  std::vector<JsonValue> m_items;
  std::vector<Member> m_members;
};

// The value `text` holds, or nothing when it is not exactly one value of the forms above.
std::optional<JsonValue> ParseJson(std::string_view text);
// The compact text of `value`, on one line: control characters, quotes and backslashes
// escaped; bytes that are not valid UTF-8 written as U+FFFD, so the result always parses.
std::string WriteJson(const JsonValue& value);

}  // namespace lumora

#endif  // LUMORA_PLATFORM_UI_JSON_VALUE_H_
