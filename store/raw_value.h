// Raw values: the one text form of a variable's value, for every EProfileDataType, and
// the conversions between raw values and automation values. Numbers are read and written
// in the C locale whatever the host's locale. Pure; any thread.
#ifndef LUMORA_STORE_RAW_VALUE_H_
#define LUMORA_STORE_RAW_VALUE_H_

#include <string>
#include <string_view>

#include "lumora/automation.h"
#include "value_protection.h"  // kNotSetMarker

namespace lumora {

// Integer parse: leading blanks and a sign allowed, anything after the digits ignored.
// E_INVALIDARG (and 0) for the empty text or the not-set marker, eErrorProfileTypeMismatch
// (and 0) when no number is read. Values beyond 32 bits saturate.
HRESULT ParseRawInteger(std::string_view text, LONG* value);
// Date parse: the leading decimal number of the text (decimal notation only: hexadecimal,
// "inf" and "nan" are no numbers), as atof reads it in the C locale. E_INVALIDARG (and 0.0) for the
// empty text or the not-set marker; eErrorProfileTypeMismatch when the number is 0 but
// the text is not all '0' and '.'; *date is otherwise left alone on failure.
HRESULT ParseRawDate(std::string_view text, DATE* date);
// Date check then date parse: a date has no fractional part.
HRESULT ParseRawDateOnly(std::string_view text, DATE* date);
// Time check then date parse: a time has integer part 0.
HRESULT ParseRawTime(std::string_view text, DATE* date);
// Boolean parse: 'T' or '1' first is true, 'F' or '0' false; E_INVALIDARG for the empty
// text, eErrorProfileTypeMismatch otherwise.
HRESULT ParseRawBoolean(std::string_view text, VARIANT_BOOL* value);

// "%f" of a date (six decimals) in the C locale, as the component writes dates; a date
// that rounds to zero is written 0.000000, never -0.000000.
std::string FormatRawDate(DATE date);
// "%ld" of a number.
std::string FormatRawInteger(LONG value);
// Seconds since 1 January 1970 00:00 UTC of a raw date read as local time; -1 when the
// 32-bit count cannot hold it. Failures of the date parse are returned.
HRESULT RawDateToSecondsSince1970(std::string_view text, LONG* seconds);

// The typed value of a raw value (VT_I4, VT_DATE, VT_BSTR, VT_BOOL or VT_I2 by type; VT_EMPTY
// and eErrorProfileTypeMismatch for arrays and unknown types), with the conversion's result.
HRESULT TypedValueOfRaw(std::string_view text, LONG type, VARIANT* value);
// The raw text of an automation value: numbers (VT_I2, VT_I4, VT_R4, VT_R8, VT_DATE) "%ld"
// when whole, else "%f"; booleans 1/0; anything else, numbers by reference included,
// through the platform's conversion to text (whose result is returned).
HRESULT VariantToRawString(const VARIANT& value, std::string* text);
// S_OK for the not-set marker and for arrays; otherwise the typed value's result.
HRESULT ValidateRawValue(std::string_view text, LONG type);
// A string list's items (separated by 0x01) joined by ", ", stopping at the first empty item.
std::string StringListDisplayJoin(std::string_view text);

}  // namespace lumora

#endif  // LUMORA_STORE_RAW_VALUE_H_
