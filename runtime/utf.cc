// UTF-8 <-> UTF-16 conversion for BSTR boundaries. Every property read and every queued
// name crosses here, so the converters write into a buffer sized for the worst case
// instead of growing a string one unit at a time, and runs of ASCII take a loop of
// their own.
#include "lumora/utf.h"

#include <cstdint>

namespace lumora {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

char* PutUtf8(char* out, char32_t cp) {
  if (cp < 0x80) {
    *out++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out++ = static_cast<char>(0xC0 | (cp >> 6));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (cp >> 12));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (cp >> 18));
    *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

char16_t* PutUtf16(char16_t* out, char32_t cp) {
  if (cp < 0x10000) {
    *out++ = static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    *out++ = static_cast<char16_t>(0xD800 + (cp >> 10));
    *out++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
  return out;
}

}  // namespace

bool IsAscii(std::string_view text) {
  uint8_t any = 0;
  for (const char c : text) any |= static_cast<uint8_t>(c);
  return any < 0x80;
}

size_t Utf8ToUtf16(std::string_view text, char16_t* out) {
  char16_t* const start = out;
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<uint8_t>(text[i]);
    if (lead < 0x80) {
      *out++ = lead;
      ++i;
      continue;
    }
    size_t need = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((lead & 0xE0) == 0xC0) {
      need = 1, cp = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      need = 2, cp = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      need = 3, cp = lead & 0x07, min = 0x10000;
    } else {
      *out++ = kReplacement;
      ++i;
      continue;
    }
    size_t j = 1;
    for (; j <= need && i + j < text.size(); ++j) {
      const auto c = static_cast<uint8_t>(text[i + j]);
      if ((c & 0xC0) != 0x80) break;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (j <= need || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      *out++ = kReplacement;
      i += j;  // skip the lead and the continuation bytes that were consumed
      continue;
    }
    // A four-byte sequence gives a surrogate pair: two units for four bytes, so the
    // output never outgrows one unit per input byte.
    out = PutUtf16(out, cp);
    i += need + 1;
  }
  return static_cast<size_t>(out - start);
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out(text.size(), u'\0');
  out.resize(Utf8ToUtf16(text, out.data()));
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  // At most three bytes per unit: a surrogate pair (two units) makes four.
  std::string out(3 * text.size(), '\0');
  char* at = out.data();
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp < 0x80) {
      *at++ = static_cast<char>(cp);
      continue;
    }
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        ++i;
      } else {
        cp = kReplacement;
      }
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    at = PutUtf8(at, cp);
  }
  out.resize(static_cast<size_t>(at - out.data()));
  return out;
}

}  // namespace lumora
