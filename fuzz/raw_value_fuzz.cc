// Fuzz target: the raw value parsers never crash; what they accept writes back to text
// that parses to the same value (integers exactly, dates to the microsecond), also as an
// automation number. Runs under a German locale (decimal comma) when the machine has one
// (LOCPATH is honoured), since raw numbers must not follow the locale.
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>

#include "lumora/values.h"
#include "store/raw_value.h"

using namespace lumora;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::setlocale(LC_ALL, "de_DE.UTF-8");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  LONG number = 0;
  if (SUCCEEDED(ParseRawInteger(text, &number))) {
    LONG again = 0;
    if (FAILED(ParseRawInteger(FormatRawInteger(number), &again)) || again != number) std::abort();
  }
  DATE date = 0;
  if (SUCCEEDED(ParseRawDate(text, &date)) && std::fabs(date) < 1e9) {
    DATE again = 0;
    if (FAILED(ParseRawDate(FormatRawDate(date), &again)) || std::fabs(again - date) > 1e-6) std::abort();
    std::string written;
    if (FAILED(VariantToRawString(*Variant::R8(date).get(), &written))) std::abort();
    if (FAILED(ParseRawDate(written, &again)) || std::fabs(again - date) > 1e-6) std::abort();
  }
  ParseRawDateOnly(text, &date);
  ParseRawTime(text, &date);
  VARIANT_BOOL flag = 0;
  ParseRawBoolean(text, &flag);
  StringListDisplayJoin(text);
  for (LONG type = 0; type <= 10; ++type) {
    Variant typed;
    TypedValueOfRaw(text, type, typed.get());
    ValidateRawValue(text, type);
  }
  std::string raw;
  VariantToRawString(*Variant::Utf8(text).get(), &raw);
  return 0;
}
