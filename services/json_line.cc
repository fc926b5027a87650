// The services' JSON-lines record codec.
#include "json_line.h"

#include <cstdio>
#include <cstdlib>

namespace lumora::services {
namespace {

void WriteString(std::string& out, std::string_view text) {
  out.push_back('"');
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned char>(c));
          out += buffer;
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
}

class Reader {
 public:
  explicit Reader(std::string_view text) : m_text(text) {}

  void SkipSpace() {
    while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' || m_text[m_pos] == '\r')) ++m_pos;
  }
  bool Take(char c) {
    SkipSpace();
    if (m_pos < m_text.size() && m_text[m_pos] == c) {
      ++m_pos;
      return true;
    }
    return false;
  }
  bool AtEnd() {
    SkipSpace();
    return m_pos == m_text.size();
  }
  bool String(std::string* out) {
    if (!Take('"')) return false;
    out->clear();
    while (m_pos < m_text.size()) {
      const char c = m_text[m_pos++];
      if (c == '"') return true;
      if (c != '\\') {
        out->push_back(c);
        continue;
      }
      if (m_pos >= m_text.size()) return false;
      const char e = m_text[m_pos++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out->push_back(e);
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
        case 'b':
          out->push_back('\b');
          break;
        case 'f':
          out->push_back('\f');
          break;
        case 'u': {
          if (m_pos + 4 > m_text.size()) return false;
          const std::string hex(m_text.substr(m_pos, 4));
          char* end = nullptr;
          const long code = std::strtol(hex.c_str(), &end, 16);
          if (end != hex.c_str() + 4) return false;
          m_pos += 4;
          if (code < 0x80) {
            out->push_back(static_cast<char>(code));
          } else if (code < 0x800) {
            out->push_back(static_cast<char>(0xC0 | (code >> 6)));
            out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
          } else {
            out->push_back(static_cast<char>(0xE0 | (code >> 12)));
            out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
          }
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }
  bool Integer(int64_t* out) {
    SkipSpace();
    const size_t start = m_pos;
    if (m_pos < m_text.size() && m_text[m_pos] == '-') ++m_pos;
    while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9') ++m_pos;
    if (m_pos == start || (m_pos == start + 1 && m_text[start] == '-')) return false;
    *out = std::strtoll(std::string(m_text.substr(start, m_pos - start)).c_str(), nullptr, 10);
    return true;
  }
  char Peek() {
    SkipSpace();
    return m_pos < m_text.size() ? m_text[m_pos] : '\0';
  }

 private:
  std::string_view m_text;
  size_t m_pos = 0;
};

}  // namespace

std::string WriteJsonLine(const JsonFields& fields) {
  std::string out = "{";
  bool first = true;
  for (const auto& [name, value] : fields) {
    if (!first) out.push_back(',');
    first = false;
    WriteString(out, name);
    out.push_back(':');
    switch (value.type) {
      case JsonValue::Type::kString:
        WriteString(out, value.text);
        break;
      case JsonValue::Type::kInteger:
        out += std::to_string(value.integer);
        break;
      case JsonValue::Type::kStrings: {
        out.push_back('[');
        for (size_t i = 0; i < value.strings.size(); ++i) {
          if (i > 0) out.push_back(',');
          WriteString(out, value.strings[i]);
        }
        out.push_back(']');
        break;
      }
    }
  }
  out.push_back('}');
  return out;
}

bool ParseJsonLine(std::string_view line, JsonObject* object) {
  object->clear();
  Reader reader(line);
  if (!reader.Take('{')) return false;
  if (reader.Take('}')) return reader.AtEnd();
  do {
    std::string name;
    if (!reader.String(&name) || !reader.Take(':')) return false;
    JsonValue value;
    const char next = reader.Peek();
    if (next == '"') {
      if (!reader.String(&value.text)) return false;
    } else if (next == '[') {
      reader.Take('[');
      value.type = JsonValue::Type::kStrings;
      if (!reader.Take(']')) {
        do {
          std::string item;
          if (!reader.String(&item)) return false;
          value.strings.push_back(std::move(item));
        } while (reader.Take(','));
        if (!reader.Take(']')) return false;
      }
    } else {
      value.type = JsonValue::Type::kInteger;
      if (!reader.Integer(&value.integer)) return false;
    }
    (*object)[name] = std::move(value);
  } while (reader.Take(','));
  return reader.Take('}') && reader.AtEnd();
}

std::string TextField(const JsonObject& object, const std::string& name) {
  const auto found = object.find(name);
  return found != object.end() && found->second.type == JsonValue::Type::kString ? found->second.text : std::string();
}

int64_t IntegerField(const JsonObject& object, const std::string& name) {
  const auto found = object.find(name);
  return found != object.end() && found->second.type == JsonValue::Type::kInteger ? found->second.integer : 0;
}

}  // namespace lumora::services
