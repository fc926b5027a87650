// The JSON tree, its strict reader and its writer.
#include "json_value.h"

#include <cstdio>
#include <set>

#include "utf8_text.h"

namespace lumora {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view text) : m_text(text) {}

  std::optional<JsonValue> Document() {
    JsonValue value;
    if (!Value(0, &value)) return std::nullopt;
    SkipBlanks();
    if (m_pos != m_text.size()) return std::nullopt;
    return value;
  }

 private:
  void SkipBlanks() {
    while (m_pos < m_text.size() &&
           (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' || m_text[m_pos] == '\r' || m_text[m_pos] == '\n')) {
      ++m_pos;
    }
  }
  bool Take(char c) {
    SkipBlanks();
    if (m_pos < m_text.size() && m_text[m_pos] == c) {
      ++m_pos;
      return true;
    }
    return false;
  }

  bool Value(int depth, JsonValue* out) {
    SkipBlanks();
    if (m_pos >= m_text.size()) return false;
    const char c = m_text[m_pos];
    if (c == '"') {
      std::string text;
      if (!String(&text)) return false;
      *out = JsonValue::String(std::move(text));
      return true;
    }
    if (c == '-' || (c >= '0' && c <= '9')) return Integer(out);
    if (c != '{' && c != '[') return false;
    if (depth >= kMaxJsonDepth) return false;
    return c == '{' ? Object(depth + 1, out) : Array(depth + 1, out);
  }

  bool Object(int depth, JsonValue* out) {
    ++m_pos;  // '{'
    *out = JsonValue::Object();
    if (Take('}')) return true;
    std::set<std::string> names;
    do {
      SkipBlanks();
      std::string name;
      if (!String(&name) || !Take(':')) return false;
      // Which of two values of one name would count is anyone's guess: refused.
      if (!names.insert(name).second) return false;
      JsonValue member;
      if (!Value(depth, &member)) return false;
      out->Add(std::move(name), std::move(member));
    } while (Take(','));
    return Take('}');
  }

  bool Array(int depth, JsonValue* out) {
    ++m_pos;  // '['
    *out = JsonValue::Array();
    if (Take(']')) return true;
    do {
      JsonValue item;
      if (!Value(depth, &item)) return false;
      out->Append(std::move(item));
    } while (Take(','));
    return Take(']');
  }

  bool Integer(JsonValue* out) {
    const bool negative = m_text[m_pos] == '-';
    if (negative) ++m_pos;
    const size_t first = m_pos;
    // Accumulated as a negative number, which reaches the most negative int64 too.
    int64_t value = 0;
    while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9') {
      const int digit = m_text[m_pos] - '0';
      if (value < (INT64_MIN + digit) / 10) return false;
      value = value * 10 - digit;
      ++m_pos;
    }
    const size_t digits = m_pos - first;
    if (digits == 0 || (digits > 1 && m_text[first] == '0')) return false;
    // Fractions and exponents are not integers.
    if (m_pos < m_text.size() && (m_text[m_pos] == '.' || m_text[m_pos] == 'e' || m_text[m_pos] == 'E')) return false;
    if (!negative) {
      if (value == INT64_MIN) return false;
      value = -value;
    }
    *out = JsonValue::Integer(value);
    return true;
  }

  bool Hex4(uint32_t* code) {
    if (m_pos + 4 > m_text.size()) return false;
    *code = 0;
    for (int i = 0; i < 4; ++i) {
      const char h = m_text[m_pos++];
      uint32_t digit = 0;
      if (h >= '0' && h <= '9') {
        digit = static_cast<uint32_t>(h - '0');
      } else if (h >= 'a' && h <= 'f') {
        digit = static_cast<uint32_t>(h - 'a' + 10);
      } else if (h >= 'A' && h <= 'F') {
        digit = static_cast<uint32_t>(h - 'A' + 10);
      } else {
        return false;
      }
      *code = (*code << 4) | digit;
    }
    return true;
  }

  bool String(std::string* out) {
    if (m_pos >= m_text.size() || m_text[m_pos] != '"') return false;
    ++m_pos;
    out->clear();
    while (m_pos < m_text.size()) {
      const unsigned char c = static_cast<unsigned char>(m_text[m_pos]);
      if (c == '"') {
        ++m_pos;
        return true;
      }
      if (c < 0x20) return false;
      if (c != '\\') {
        uint32_t code = 0;
        const size_t length = Utf8Sequence(m_text, m_pos, &code);
        if (length == 0) return false;
        out->append(m_text.substr(m_pos, length));
        m_pos += length;
        continue;
      }
      if (++m_pos >= m_text.size()) return false;
      const char e = m_text[m_pos++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out->push_back(e);
          break;
        case 'b':
          out->push_back('\b');
          break;
        case 'f':
          out->push_back('\f');
          break;
        case 'n':
          out->push_back('\n');
          break;
        case 'r':
          out->push_back('\r');
          break;
        case 't':
          out->push_back('\t');
          break;
        case 'u': {
          uint32_t code = 0;
          if (!Hex4(&code)) return false;
          if (code >= 0xDC00 && code <= 0xDFFF) return false;  // a second half without a first
          if (code >= 0xD800 && code <= 0xDBFF) {
            uint32_t low = 0;
            if (m_pos + 2 > m_text.size() || m_text[m_pos] != '\\' || m_text[m_pos + 1] != 'u') return false;
            m_pos += 2;
            if (!Hex4(&low) || low < 0xDC00 || low > 0xDFFF) return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          }
          AppendUtf8(out, code);
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }

  std::string_view m_text;
  size_t m_pos = 0;
};

void WriteString(std::string* out, std::string_view text) {
  out->push_back('"');
  for (size_t pos = 0; pos < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[pos]);
    if (c >= 0x80) {
      uint32_t code = 0;
      const size_t length = Utf8Sequence(text, pos, &code);
      if (length == 0) {
        *out += kReplacementCharacter;  // for a byte that starts no valid sequence
        ++pos;
      } else {
        out->append(text.substr(pos, length));
        pos += length;
      }
      continue;
    }
    ++pos;
    switch (c) {
      case '"':
        *out += "\\\"";
        break;
      case '\\':
        *out += "\\\\";
        break;
      case '\n':
        *out += "\\n";
        break;
      case '\r':
        *out += "\\r";
        break;
      case '\t':
        *out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          *out += escaped;
        } else {
          out->push_back(static_cast<char>(c));
        }
    }
  }
  out->push_back('"');
}

void Write(std::string* out, const JsonValue& value) {
  switch (value.kind()) {
    case JsonValue::Kind::kString:
      WriteString(out, value.text());
      return;
    case JsonValue::Kind::kInteger:
      *out += std::to_string(value.integer());
      return;
    case JsonValue::Kind::kArray:
      out->push_back('[');
      for (size_t i = 0; i < value.items().size(); ++i) {
        if (i > 0) out->push_back(',');
        Write(out, value.items()[i]);
      }
      out->push_back(']');
      return;
    case JsonValue::Kind::kObject:
      out->push_back('{');
      for (size_t i = 0; i < value.members().size(); ++i) {
        if (i > 0) out->push_back(',');
        WriteString(out, value.members()[i].first);
        out->push_back(':');
        Write(out, value.members()[i].second);
      }
      out->push_back('}');
      return;
  }
}

}  // namespace

JsonValue JsonValue::String(std::string text) {
  JsonValue value;
  value.m_text = std::move(text);
  return value;
}

JsonValue JsonValue::Integer(int64_t number) {
  JsonValue value;
  value.m_kind = Kind::kInteger;
  value.m_integer = number;
  return value;
}

JsonValue JsonValue::Array(std::vector<JsonValue> items) {
  JsonValue value;
  value.m_kind = Kind::kArray;
  value.m_items = std::move(items);
  return value;
}

JsonValue JsonValue::Object(std::vector<Member> members) {
  JsonValue value;
  value.m_kind = Kind::kObject;
  value.m_members = std::move(members);
  return value;
}

const JsonValue* JsonValue::Find(std::string_view name) const {
  for (const Member& member : m_members) {
    if (member.first == name) return &member.second;
  }
  return nullptr;
}

JsonValue& JsonValue::Add(std::string name, JsonValue value) {
  m_members.emplace_back(std::move(name), std::move(value));
  return m_members.back().second;
}

JsonValue& JsonValue::Append(JsonValue value) {
  m_items.push_back(std::move(value));
  return m_items.back();
}

std::optional<JsonValue> ParseJson(std::string_view text) { return Reader(text).Document(); }

std::string WriteJson(const JsonValue& value) {
  std::string out;
  Write(&out, value);
  return out;
}

}  // namespace lumora
