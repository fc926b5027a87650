// One flat JSON object per line: the record format of the services' files. Values are
// strings, integers or arrays of strings; strings are UTF-8. Pure functions, any thread.
#ifndef LUMORA_SERVICES_JSON_LINE_H_
#define LUMORA_SERVICES_JSON_LINE_H_

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumora::services {

struct JsonValue {
  enum class Type { kString, kInteger, kStrings } type = Type::kString;
  std::string text;
  int64_t integer = 0;
  std::vector<std::string> strings;

  static JsonValue String(std::string text) { return {Type::kString, std::move(text), 0, {}}; }
  static JsonValue Integer(int64_t value) { return {Type::kInteger, {}, value, {}}; }
  static JsonValue Strings(std::vector<std::string> values) { return {Type::kStrings, {}, 0, std::move(values)}; }
};

using JsonFields = std::vector<std::pair<std::string, JsonValue>>;
using JsonObject = std::map<std::string, JsonValue>;

// Writes the fields in order as one line (without the newline).
std::string WriteJsonLine(const JsonFields& fields);
// Reads one line; false for anything that is not such an object.
bool ParseJsonLine(std::string_view line, JsonObject* object);

// Field access with defaults for absent or mistyped fields.
std::string TextField(const JsonObject& object, const std::string& name);
int64_t IntegerField(const JsonObject& object, const std::string& name);

}  // namespace lumora::services

#endif  // LUMORA_SERVICES_JSON_LINE_H_
