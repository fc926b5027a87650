// PRTypeConvert over the raw value rules.
#include "type_convert.h"

#include <cmath>

#include "lumora/error.h"
#include "lumora/values.h"
#include "raw_value.h"

namespace lumora {

std::span<const DispEntry> DispatchTable<IPRTypeConvert>::Get() {
  using I = IPRTypeConvert;
  static constexpr DispEntry kTable[] = {
      Disp<&I::ConvertRawStringToDate, VT_DATE, VT_BSTR>(1, "ConvertRawStringToDate"),
      Disp<&I::ConvertDateToRawString, VT_BSTR, VT_DATE>(2, "ConvertDateToRawString"),
      Disp<&I::ConvertRawStringToBoolean, VT_BOOL, VT_BSTR>(3, "ConvertRawStringToBoolean"),
      Disp<&I::ConvertBooleanToRawString, VT_BSTR, VT_BOOL>(4, "ConvertBooleanToRawString"),
      Disp<&I::ConvertRawStringToInt32, VT_I4, VT_BSTR>(5, "ConvertRawStringToInt32"),
      Disp<&I::ConvertInt32ToRawString, VT_BSTR, VT_I4>(6, "ConvertInt32ToRawString"),
      Disp<&I::ConvertEnumToRawString, VT_BSTR, VT_I2>(7, "ConvertEnumToRawString"),
      Disp<&I::ConvertRawStringToEnum, VT_I2, VT_BSTR>(8, "ConvertRawStringToEnum"),
      Disp<&I::ConvertRawStringToDateTime, VT_DATE, VT_BSTR>(9, "ConvertRawStringToDateTime"),
      Disp<&I::ConvertRawStringToTime, VT_DATE, VT_BSTR>(10, "ConvertRawStringToTime"),
      Disp<&I::ConvertDateTimeToRawString, VT_BSTR, VT_DATE>(11, "ConvertDateTimeToRawString"),
      Disp<&I::ConvertTimeToRawString, VT_BSTR, VT_DATE>(12, "ConvertTimeToRawString"),
      Disp<&I::ConvertRawStringToMillisecsAfter1970, VT_I4, VT_BSTR>(13, "ConvertRawStringToMillisecsAfter1970"),
  };
  return kTable;
}

namespace {

HRESULT TextOut(const std::string& text, BSTR* result) {
  if (result == nullptr) return E_POINTER;
  Bstr out = Bstr::FromUtf8(text);
  if (!out) return E_OUTOFMEMORY;
  *result = out.detach();
  return S_OK;
}

}  // namespace

HRESULT PRTypeConvert::ConvertRawStringToDate(BSTR bstr, DATE* result) {
  return ErrorBoundary("PRTypeConvert::ConvertRawStringToDate", [&]() -> HRESULT {
    if (result == nullptr) return E_POINTER;
    return ParseRawDateOnly(Bstr::ToUtf8(bstr), result);
  });
}

HRESULT PRTypeConvert::ConvertDateToRawString(DATE date, BSTR* result) {
  return ErrorBoundary("PRTypeConvert::ConvertDateToRawString",
                       [&] { return static_cast<IPRTypeConvert*>(this)->ConvertDateTimeToRawString(date, result); });
}

HRESULT PRTypeConvert::ConvertRawStringToBoolean(BSTR bstr, VARIANT_BOOL* result) {
  return ErrorBoundary("PRTypeConvert::ConvertRawStringToBoolean", [&]() -> HRESULT {
    if (result == nullptr) return E_POINTER;
    return ParseRawBoolean(Bstr::ToUtf8(bstr), result);
  });
}

HRESULT PRTypeConvert::ConvertBooleanToRawString(VARIANT_BOOL b, BSTR* result) {
  return ErrorBoundary("PRTypeConvert::ConvertBooleanToRawString",
                       [&] { return TextOut(b == VARIANT_TRUE ? "1" : "0", result); });
}

HRESULT PRTypeConvert::ConvertRawStringToInt32(BSTR bstr, LONG* result) {
  return ErrorBoundary("PRTypeConvert::ConvertRawStringToInt32", [&]() -> HRESULT {
    if (result == nullptr) return E_POINTER;
    return ParseRawInteger(Bstr::ToUtf8(bstr), result);
  });
}

HRESULT PRTypeConvert::ConvertInt32ToRawString(LONG l, BSTR* result) {
  return ErrorBoundary("PRTypeConvert::ConvertInt32ToRawString", [&] { return TextOut(FormatRawInteger(l), result); });
}

HRESULT PRTypeConvert::ConvertEnumToRawString(SHORT n, BSTR* result) {
  return ErrorBoundary("PRTypeConvert::ConvertEnumToRawString",
                       [&] { return static_cast<IPRTypeConvert*>(this)->ConvertInt32ToRawString(n, result); });
}

HRESULT PRTypeConvert::ConvertRawStringToEnum(BSTR bstr, SHORT* result) {
  return ErrorBoundary("PRTypeConvert::ConvertRawStringToEnum", [&]() -> HRESULT {
    if (result == nullptr) return E_POINTER;
    LONG number = 0;
    const HRESULT hr = ParseRawInteger(Bstr::ToUtf8(bstr), &number);
    *result = static_cast<SHORT>(number);
    return hr;
  });
}

HRESULT PRTypeConvert::ConvertRawStringToDateTime(BSTR bstr, DATE* result) {
  return ErrorBoundary("PRTypeConvert::ConvertRawStringToDateTime", [&]() -> HRESULT {
    if (result == nullptr) return E_POINTER;
    return ParseRawDate(Bstr::ToUtf8(bstr), result);
  });
}

HRESULT PRTypeConvert::ConvertRawStringToTime(BSTR bstr, DATE* result) {
  return ErrorBoundary("PRTypeConvert::ConvertRawStringToTime", [&]() -> HRESULT {
    if (result == nullptr) return E_POINTER;
    return ParseRawTime(Bstr::ToUtf8(bstr), result);
  });
}

HRESULT PRTypeConvert::ConvertDateTimeToRawString(DATE date, BSTR* result) {
  return ErrorBoundary("PRTypeConvert::ConvertDateTimeToRawString", [&]() -> HRESULT {
    // "inf" or "nan" would be a raw value that no date parse reads back.
    if (!std::isfinite(date)) return E_INVALIDARG;
    return TextOut(FormatRawDate(date), result);
  });
}

HRESULT PRTypeConvert::ConvertTimeToRawString(DATE date, BSTR* result) {
  return ErrorBoundary("PRTypeConvert::ConvertTimeToRawString",
                       [&] { return static_cast<IPRTypeConvert*>(this)->ConvertDateTimeToRawString(date, result); });
}

HRESULT PRTypeConvert::ConvertRawStringToMillisecsAfter1970(BSTR bstr, LONG* result) {
  return ErrorBoundary("PRTypeConvert::ConvertRawStringToMillisecsAfter1970", [&]() -> HRESULT {
    if (result == nullptr) return E_POINTER;
    return RawDateToSecondsSince1970(Bstr::ToUtf8(bstr), result);
  });
}

}  // namespace lumora
