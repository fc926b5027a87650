// Raw value rules.
#include "raw_value.h"

#include <locale.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "lumora/profile.h"
#include "lumora/values.h"

namespace lumora {
namespace {

// Raw numbers are read and written in the C locale, whatever locale the host set.
locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// atof in the C locale, for decimal notation only: blanks, a sign, digits with at most
// one point, and an exponent. Hexadecimal ("0x10"), "inf" and "nan" are no decimal
// numbers: of them only a leading "0" is read, or nothing (0.0).
double LeadingReal(std::string_view text) {
  size_t end = 0;
  while (end < text.size() && IsBlank(text[end])) ++end;
  const size_t start = end;
  if (end < text.size() && (text[end] == '+' || text[end] == '-')) ++end;
  size_t digits = 0;
  for (; end < text.size() && IsDigit(text[end]); ++end) ++digits;
  if (end < text.size() && text[end] == '.') {
    for (++end; end < text.size() && IsDigit(text[end]); ++end) ++digits;
  }
  if (digits == 0) return 0.0;
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    size_t exponent = end + 1;
    if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
    if (exponent < text.size() && IsDigit(text[exponent])) {
      while (exponent < text.size() && IsDigit(text[exponent])) ++exponent;
      end = exponent;
    }
  }
  const std::string number(text.substr(start, end - start));
  return strtod_l(number.c_str(), nullptr, CLocale());
}

// atoi in the C locale: the leading integer, 0 when there is none.
long long LeadingInteger(std::string_view text) {
  const std::string copy(text);
  return strtoll_l(copy.c_str(), nullptr, 10, CLocale());
}

bool NoValue(std::string_view text) { return text.empty() || text == kNotSetMarker; }

// "%f" in the C locale. A value that rounds to zero is written 0.000000: the sign of
// "-0.000000" would make the text unreadable as a date.
std::string FormatFixed(double value) {
  char buffer[512];
  const std::to_chars_result written =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
  std::string_view text(buffer, static_cast<size_t>(written.ptr - buffer));
  if (text.size() > 1 && text.front() == '-' && text.find_first_not_of("0.", 1) == std::string_view::npos) {
    text.remove_prefix(1);
  }
  return std::string(text);
}

}  // namespace

HRESULT ParseRawInteger(std::string_view text, LONG* value) {
  *value = 0;
  if (NoValue(text)) return E_INVALIDARG;
  const std::string copy(text);
  const char* begin = copy.c_str();
  char* end = nullptr;
  const long long number = strtoll_l(begin, &end, 10, CLocale());
  if (end == begin) return eErrorProfileTypeMismatch;
  *value = static_cast<LONG>(std::clamp<long long>(number, INT32_MIN, INT32_MAX));
  return S_OK;
}

HRESULT ParseRawDate(std::string_view text, DATE* date) {
  if (NoValue(text)) {
    *date = 0.0;
    return E_INVALIDARG;
  }
  const double number = LeadingReal(text);
  if (number == 0.0 && text.find_first_not_of("0.") != std::string_view::npos) return eErrorProfileTypeMismatch;
  if (!std::isfinite(number)) return eErrorProfileTypeMismatch;
  *date = number;
  return S_OK;
}

HRESULT ParseRawDateOnly(std::string_view text, DATE* date) {
  if (!NoValue(text) && LeadingReal(text) - static_cast<double>(LeadingInteger(text)) != 0.0) {
    return eErrorProfileTypeMismatch;
  }
  return ParseRawDate(text, date);
}

HRESULT ParseRawTime(std::string_view text, DATE* date) {
  if (!NoValue(text) && LeadingInteger(text) != 0) return eErrorProfileTypeMismatch;
  return ParseRawDate(text, date);
}

HRESULT ParseRawBoolean(std::string_view text, VARIANT_BOOL* value) {
  if (text.empty()) return E_INVALIDARG;
  switch (text.front()) {
    case 'T':
    case '1':
      *value = VARIANT_TRUE;
      return S_OK;
    case 'F':
    case '0':
      *value = VARIANT_FALSE;
      return S_OK;
    default:
      return eErrorProfileTypeMismatch;
  }
}

std::string FormatRawDate(DATE date) { return FormatFixed(date); }

std::string FormatRawInteger(LONG value) { return std::to_string(value); }

HRESULT RawDateToSecondsSince1970(std::string_view text, LONG* seconds) {
  DATE date = 0;
  const HRESULT hr = ParseRawDate(text, &date);
  if (FAILED(hr)) return hr;
  SYSTEMTIME st{};
  if (!VariantTimeToSystemTime(date, &st)) {
    *seconds = -1;
    return S_OK;
  }
  struct tm local {};
  local.tm_year = st.wYear - 1900;
  local.tm_mon = st.wMonth - 1;
  local.tm_mday = st.wDay;
  local.tm_hour = st.wHour;
  local.tm_min = st.wMinute;
  local.tm_sec = st.wSecond;
  local.tm_isdst = -1;  // the platform decides whether daylight saving applies
  const time_t result = std::mktime(&local);
  *seconds =
      result == static_cast<time_t>(-1) || result < INT32_MIN || result > INT32_MAX ? -1 : static_cast<LONG>(result);
  return S_OK;
}

HRESULT TypedValueOfRaw(std::string_view text, LONG type, VARIANT* value) {
  VariantClear(value);
  HRESULT hr = S_OK;
  switch (type) {
    case eTypeInt32: {
      LONG number = 0;
      hr = ParseRawInteger(text, &number);
      value->vt = VT_I4;
      value->lVal = number;
      return hr;
    }
    case eTypeDateTime:
    case eTypeDate:
    case eTypeTime: {
      DATE date = 0;
      hr = type == eTypeDateTime ? ParseRawDate(text, &date)
           : type == eTypeDate   ? ParseRawDateOnly(text, &date)
                                 : ParseRawTime(text, &date);
      value->vt = VT_DATE;
      value->date = date;
      return hr;
    }
    case eTypeString:
    case eTypeStringList: {
      Bstr raw = Bstr::FromUtf8(text);
      if (!raw) return E_OUTOFMEMORY;
      value->vt = VT_BSTR;
      value->bstrVal = raw.detach();
      return S_OK;
    }
    case eTypeBoolean: {
      VARIANT_BOOL flag = VARIANT_FALSE;
      hr = ParseRawBoolean(text, &flag);
      value->vt = VT_BOOL;
      value->boolVal = flag;
      return hr;
    }
    case eTypeEnumOfStrings: {
      LONG number = 0;
      hr = ParseRawInteger(text, &number);
      value->vt = VT_I2;
      value->iVal = static_cast<SHORT>(number);
      return hr;
    }
    default:
      return eErrorProfileTypeMismatch;
  }
}

HRESULT VariantToRawString(const VARIANT& value, std::string* text) {
  double number = 0;
  switch (value.vt) {
    case VT_I2:
      number = value.iVal;
      break;
    case VT_I4:
      number = value.lVal;
      break;
    case VT_R4:
      number = value.fltVal;
      break;
    case VT_R8:
    case VT_DATE:
      number = value.dblVal;
      break;
    case VT_BOOL:
      number = value.boolVal != 0 ? 1 : 0;
      break;
    default: {
      // Everything else, numbers passed by reference included, is the platform's text of
      // the value.
      Variant converted;
      const HRESULT hr = VariantChangeType(converted.get(), &value, 0, VT_BSTR);
      if (SUCCEEDED(hr)) *text = Bstr::ToUtf8(converted->bstrVal);
      return hr;
    }
  }
  const bool whole = std::isfinite(number) && number >= INT32_MIN && number <= INT32_MAX &&
                     number == static_cast<double>(static_cast<LONG>(number));
  *text = whole ? FormatRawInteger(static_cast<LONG>(number)) : FormatFixed(number);
  return S_OK;
}

HRESULT ValidateRawValue(std::string_view text, LONG type) {
  if (text == kNotSetMarker || type == eTypeArrayOfStrings) return S_OK;
  // Any text is a string: converting it would only copy it.
  if (type == eTypeString || type == eTypeStringList) return S_OK;
  Variant typed;
  return TypedValueOfRaw(text, type, typed.get());
}

std::string StringListDisplayJoin(std::string_view text) {
  std::string shown;
  while (true) {
    const size_t separator = text.find('\x01');
    const std::string_view item = text.substr(0, separator);
    if (item.empty()) break;
    if (!shown.empty()) shown += ", ";
    shown.append(item);
    if (separator == std::string_view::npos) break;
    text.remove_prefix(separator + 1);
  }
  return shown;
}

}  // namespace lumora
