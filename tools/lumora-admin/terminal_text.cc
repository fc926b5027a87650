// Escaping for the terminal, and the one date-time form of the tool's output.
#include "terminal_text.h"

#include <charconv>
#include <cstdio>

#include "platform/ui/utf8_text.h"

namespace lumora::admin {
namespace {

// Characters beyond ASCII that a terminal or the text's display acts on: the 8-bit
// controls (U+009B is a whole control sequence introducer on some terminals), the marks
// and embeddings that reorder a line, and the separators that end one.
bool ActsOnTheDisplay(uint32_t code) {
  return (code >= 0x80 && code <= 0x9F) || code == 0x061C || code == 0x200E || code == 0x200F ||
         (code >= 0x2028 && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

void AppendCodeEscape(std::string* out, uint32_t code) {
  char escaped[8];
  std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(code));
  *out += escaped;
}

void AppendByteEscape(std::string* out, unsigned char byte) {
  char escaped[8];
  std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
  *out += escaped;
}

}  // namespace

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendPrintable(&out, text);
  return out;
}

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  out.reserve(text.size() + 2);
  AppendPrintable(&out, text);
  out += '"';
  return out;
}

void AppendPrintable(std::string* target, std::string_view text) {
  std::string& out = *target;
  for (size_t pos = 0; pos < text.size();) {
    // A run of printable ASCII, the common case, goes in whole.
    size_t end = pos;
    while (end < text.size() && static_cast<unsigned char>(text[end]) >= 0x20 &&
           static_cast<unsigned char>(text[end]) < 0x7F) {
      ++end;
    }
    if (end > pos) {
      out.append(text.data() + pos, end - pos);
      pos = end;
      continue;
    }
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte < 0x80) {
      switch (byte) {
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        case 0x1B:
          out += "\\e";
          break;
        default:
          AppendByteEscape(&out, byte);
      }
      ++pos;
      continue;
    }
    uint32_t code = 0;
    const size_t length = Utf8Sequence(text, pos, &code);
    if (length == 0) {
      AppendByteEscape(&out, byte);
      ++pos;
    } else if (ActsOnTheDisplay(code)) {
      AppendCodeEscape(&out, code);
      pos += length;
    } else {
      out.append(text.substr(pos, length));
      pos += length;
    }
  }
}

std::string WriteSafeJson(const JsonValue& value) {
  // WriteJson has escaped the ASCII controls and replaced invalid bytes; what is left to
  // escape can only stand inside strings, where a \u escape means the same character.
  const std::string json = WriteJson(value);
  std::string out;
  out.reserve(json.size());
  for (size_t pos = 0; pos < json.size();) {
    const auto byte = static_cast<unsigned char>(json[pos]);
    if (byte < 0x7F) {
      out.push_back(static_cast<char>(byte));
      ++pos;
      continue;
    }
    if (byte == 0x7F) {
      AppendCodeEscape(&out, byte);
      ++pos;
      continue;
    }
    uint32_t code = 0;
    const size_t length = Utf8Sequence(json, pos, &code);
    if (length == 0) {  // WriteJson never leaves one; kept safe all the same
      out += kReplacementCharacter;
      ++pos;
    } else if (ActsOnTheDisplay(code)) {
      AppendCodeEscape(&out, code);
      pos += length;
    } else {
      out.append(json, pos, length);
      pos += length;
    }
  }
  return out;
}

std::string FormatDateTime(DATE when) {
  if (when == 0) return {};
  SYSTEMTIME time{};
  if (!VariantTimeToSystemTime(when, &time)) {
    // No calendar date: the stored number itself, written the same in every locale.
    char number[64];
    const auto written = std::to_chars(number, number + sizeof number, when);
    return "not a date (" + std::string(number, written.ec == std::errc() ? written.ptr : number) + ")";
  }
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour,
                time.wMinute, time.wSecond);
  return text;
}

}  // namespace lumora::admin
