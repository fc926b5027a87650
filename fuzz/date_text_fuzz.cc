// Fuzz target: text -> DATE and text -> number conversions of the runtime never crash, and
// a date they accept formats and parses back to the same second.
#include <cmath>
#include <cstdlib>
#include <string>

#include "lumora/values.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setenv("LC_ALL", "C", 0);
  const std::string text(reinterpret_cast<const char*>(data), size);
  lumora::Variant source = lumora::Variant::Utf8(text);
  for (VARTYPE vt : {VT_I2, VT_I4, VT_R8, VT_BOOL, VT_DATE}) {
    lumora::Variant result;
    VariantChangeType(result.get(), source.get(), 0, vt);
  }
  DATE date = 0;
  if (SUCCEEDED(VarDateFromStr(source->bstrVal, LOCALE_USER_DEFAULT, 0, &date))) {
    lumora::Bstr shown;
    if (SUCCEEDED(VarBstrFromDate(date, LOCALE_USER_DEFAULT, 0, shown.put()))) {
      DATE back = 0;
      if (FAILED(VarDateFromStr(shown.get(), LOCALE_USER_DEFAULT, 0, &back)) || std::fabs(back - date) > 1.0 / 86400) {
        std::abort();
      }
    }
  }
  return 0;
}
