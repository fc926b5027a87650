// VARIANT life cycle and type coercion. Numbers are formatted and parsed in the C locale
// (the automation boundary is locale-neutral for numbers); dates go through the user's
// locale (VarBstrFromDate / VarDateFromStr).
#include <locale.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "lumora/automation.h"
#include "lumora/utf.h"

namespace {

locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

bool IsScalarType(VARTYPE vt) {
  switch (vt) {
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UNKNOWN:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
      return true;
    default:
      return false;
  }
}

bool IsValidType(VARTYPE vt) {
  const VARTYPE base = vt & VT_TYPEMASK;
  if ((vt & ~(VT_TYPEMASK | VT_ARRAY | VT_BYREF)) != 0) return false;
  if (vt == VT_EMPTY || vt == VT_NULL) return true;
  if (base == VT_VARIANT) return (vt & (VT_ARRAY | VT_BYREF)) != 0;
  return IsScalarType(base);
}

BSTR CopyBstr(BSTR source, HRESULT* hr) {
  *hr = S_OK;
  if (source == nullptr) return nullptr;
  BSTR copy = SysAllocStringByteLen(reinterpret_cast<const char*>(source), SysStringByteLen(source));
  if (copy == nullptr) *hr = E_OUTOFMEMORY;
  return copy;
}

BSTR AllocUtf8(const std::string& text) {
  const std::u16string wide = lumora::Utf8ToUtf16(text);
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

// A by-value view of a by-reference VARIANT: the pointed-to value, not owned.
bool Dereference(const VARIANT& source, VARIANT* view) {
  VariantInit(view);
  if ((source.vt & VT_BYREF) == 0) {
    *view = source;
    return true;
  }
  if (source.byref == nullptr) return false;
  const VARTYPE vt = source.vt & ~VT_BYREF;
  if (vt == VT_VARIANT) {
    // One step only, as the platform allows: a VARIANT reached by reference holds a value
    // (or a reference to one), never another VARIANT by reference, which could lead back
    // to itself.
    if (source.pvarVal->vt == (VT_BYREF | VT_VARIANT)) return false;
    return Dereference(*source.pvarVal, view);
  }
  view->vt = vt;
  if (vt & VT_ARRAY) {
    view->parray = *source.pparray;
    return true;
  }
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      view->bVal = *source.pbVal;
      return true;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      view->iVal = *source.piVal;
      return true;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
    case VT_R4:
      view->lVal = *source.plVal;
      return true;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_DATE:
    case VT_CY:
      view->llVal = *source.pllVal;
      return true;
    case VT_BSTR:
      view->bstrVal = *source.pbstrVal;
      return true;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      view->punkVal = *source.ppunkVal;
      return true;
    default:
      return false;
  }
}

// Numeric source values, widened.
enum class Kind { kInteger, kUnsigned, kReal };
struct Number {
  Kind kind;
  int64_t i;
  uint64_t u;
  double r;
  double AsReal() const {
    return kind == Kind::kReal ? r : kind == Kind::kInteger ? static_cast<double>(i) : static_cast<double>(u);
  }
};

bool NumberOf(const VARIANT& v, Number* n) {
  *n = Number{Kind::kInteger, 0, 0, 0.0};
  switch (v.vt) {
    case VT_EMPTY:
      return true;
    case VT_I1:
      n->i = static_cast<int8_t>(v.cVal);  // NOLINT(bugprone-signed-char-misuse): VT_I1 is signed
      return true;
    case VT_UI1:
      n->i = v.bVal;
      return true;
    case VT_I2:
      n->i = v.iVal;
      return true;
    case VT_BOOL:
      n->i = v.boolVal != 0 ? -1 : 0;
      return true;
    case VT_UI2:
      n->i = v.uiVal;
      return true;
    case VT_I4:
    case VT_INT:
      n->i = v.lVal;
      return true;
    case VT_UI4:
    case VT_UINT:
      n->i = v.ulVal;
      return true;
    case VT_I8:
      n->i = v.llVal;
      return true;
    case VT_UI8:
      n->kind = Kind::kUnsigned;
      n->u = v.ullVal;
      return true;
    case VT_R4:
      n->kind = Kind::kReal;
      n->r = v.fltVal;
      return true;
    case VT_R8:
    case VT_DATE:
      n->kind = Kind::kReal;
      n->r = v.dblVal;
      return true;
    default:
      return false;
  }
}

// Parses a whole string as a number (surrounding blanks allowed).
HRESULT ParseNumber(BSTR text, Number* n) {
  const std::string narrow = lumora::Utf16ToUtf8(std::u16string_view(text == nullptr ? u"" : text, SysStringLen(text)));
  const char* begin = narrow.c_str();
  while (*begin == ' ' || *begin == '\t') ++begin;
  if (*begin == '\0') return DISP_E_TYPEMISMATCH;
  // Decimal notation only: strtod would also take hexadecimal, "inf" and "nan".
  if (std::strspn(begin, "0123456789+-.eE \t") != std::strlen(begin)) return DISP_E_TYPEMISMATCH;
  char* end = nullptr;
  const double value = strtod_l(begin, &end, CLocale());
  if (end == begin) return DISP_E_TYPEMISMATCH;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0' || std::isnan(value)) return DISP_E_TYPEMISMATCH;
  if (std::isinf(value)) return DISP_E_OVERFLOW;
  *n = Number{Kind::kReal, 0, 0, value};
  return S_OK;
}

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

std::u16string_view Trimmed(BSTR text) {
  std::u16string_view view(text == nullptr ? u"" : text, SysStringLen(text));
  while (!view.empty() && (view.front() == u' ' || view.front() == u'\t')) view.remove_prefix(1);
  while (!view.empty() && (view.back() == u' ' || view.back() == u'\t')) view.remove_suffix(1);
  return view;
}

// Integer of the target type from a number: reals round half to even.
HRESULT ToInteger(const Number& n, int64_t min, uint64_t max, Number* out) {
  if (n.kind == Kind::kReal) {
    const double rounded = std::nearbyint(n.r);
    if (!(rounded >= static_cast<double>(min) && rounded <= static_cast<double>(max))) return DISP_E_OVERFLOW;
    if (rounded < 0) {
      *out = Number{Kind::kInteger, static_cast<int64_t>(rounded), 0, 0};
    } else {
      *out = Number{Kind::kUnsigned, 0, static_cast<uint64_t>(rounded), 0};
    }
    return S_OK;
  }
  if (n.kind == Kind::kInteger) {
    if (n.i < min || (n.i >= 0 && static_cast<uint64_t>(n.i) > max)) return DISP_E_OVERFLOW;
    *out = n;
    return S_OK;
  }
  if (n.u > max) return DISP_E_OVERFLOW;
  *out = n;
  return S_OK;
}

int64_t SignedOf(const Number& n) { return n.kind == Kind::kUnsigned ? static_cast<int64_t>(n.u) : n.i; }

std::string FormatReal(double value, int digits) {
  char buffer[64];
  const locale_t hosts = uselocale(CLocale());  // this thread only, for this one call
  std::snprintf(buffer, sizeof buffer, "%.*G", digits, value);
  uselocale(hosts);
  return buffer;
}

// Writes number n into dest as type vt.
HRESULT StoreNumber(const Number& n, VARTYPE vt, VARIANT* dest) {
  Number integer{};
  HRESULT hr = S_OK;
  switch (vt) {
    case VT_I1:
      if (FAILED(hr = ToInteger(n, INT8_MIN, INT8_MAX, &integer))) return hr;
      dest->cVal = static_cast<CHAR>(SignedOf(integer));
      break;
    case VT_UI1:
      if (FAILED(hr = ToInteger(n, 0, UINT8_MAX, &integer))) return hr;
      dest->bVal = static_cast<BYTE>(SignedOf(integer));
      break;
    case VT_I2:
      if (FAILED(hr = ToInteger(n, INT16_MIN, INT16_MAX, &integer))) return hr;
      dest->iVal = static_cast<SHORT>(SignedOf(integer));
      break;
    case VT_UI2:
      if (FAILED(hr = ToInteger(n, 0, UINT16_MAX, &integer))) return hr;
      dest->uiVal = static_cast<USHORT>(SignedOf(integer));
      break;
    case VT_I4:
    case VT_INT:
      if (FAILED(hr = ToInteger(n, INT32_MIN, INT32_MAX, &integer))) return hr;
      dest->lVal = static_cast<LONG>(SignedOf(integer));
      break;
    case VT_UI4:
    case VT_UINT:
      if (FAILED(hr = ToInteger(n, 0, UINT32_MAX, &integer))) return hr;
      dest->ulVal = static_cast<ULONG>(SignedOf(integer));
      break;
    case VT_I8:
      if (FAILED(hr = ToInteger(n, INT64_MIN, INT64_MAX, &integer))) return hr;
      dest->llVal = SignedOf(integer);
      break;
    case VT_UI8:
      if (FAILED(hr = ToInteger(n, 0, UINT64_MAX, &integer))) return hr;
      dest->ullVal = integer.kind == Kind::kUnsigned ? integer.u : static_cast<uint64_t>(integer.i);
      break;
    case VT_R4: {
      const double value = n.AsReal();
      if (std::fabs(value) > std::numeric_limits<float>::max()) return DISP_E_OVERFLOW;
      dest->fltVal = static_cast<float>(value);
      break;
    }
    case VT_R8:
      dest->dblVal = n.AsReal();
      break;
    case VT_DATE: {
      const double value = n.AsReal();
      if (!(value >= -657434.0 && value < 2958466.0)) return DISP_E_OVERFLOW;
      dest->date = value;
      break;
    }
    case VT_BOOL:
      dest->boolVal = n.AsReal() != 0.0 ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    default:
      return DISP_E_TYPEMISMATCH;
  }
  dest->vt = vt;
  return S_OK;
}

HRESULT NumberToString(const VARIANT& source, USHORT flags, VARIANT* dest) {
  std::string text;
  switch (source.vt) {
    case VT_EMPTY:
      break;
    case VT_BOOL:
      if (flags & VARIANT_ALPHABOOL) {
        text = source.boolVal != 0 ? "True" : "False";
      } else {
        text = source.boolVal != 0 ? "-1" : "0";
      }
      break;
    case VT_R4:
      text = FormatReal(source.fltVal, 7);
      break;
    case VT_R8:
      text = FormatReal(source.dblVal, 15);
      break;
    case VT_DATE: {
      BSTR formatted = nullptr;
      const HRESULT hr = VarBstrFromDate(source.date, LOCALE_USER_DEFAULT, 0, &formatted);
      if (FAILED(hr)) return hr;
      dest->vt = VT_BSTR;
      dest->bstrVal = formatted;
      return S_OK;
    }
    case VT_UI8:
      text = std::to_string(source.ullVal);
      break;
    default: {
      Number n{};
      if (!NumberOf(source, &n)) return DISP_E_TYPEMISMATCH;
      text = std::to_string(n.i);
      break;
    }
  }
  BSTR result = AllocUtf8(text);
  if (result == nullptr) return E_OUTOFMEMORY;
  dest->vt = VT_BSTR;
  dest->bstrVal = result;
  return S_OK;
}

HRESULT StringToValue(BSTR text, VARTYPE vt, VARIANT* dest) {
  if (vt == VT_DATE) {
    const std::u16string copy(text == nullptr ? u"" : text, SysStringLen(text));
    DATE date = 0;
    const HRESULT hr = VarDateFromStr(copy.c_str(), LOCALE_USER_DEFAULT, 0, &date);
    if (FAILED(hr)) return hr;
    dest->vt = VT_DATE;
    dest->date = date;
    return S_OK;
  }
  if (vt == VT_BOOL) {
    const std::u16string_view word = Trimmed(text);
    if (EqualsIgnoringCase(word, u"true")) {
      dest->vt = VT_BOOL;
      dest->boolVal = VARIANT_TRUE;
      return S_OK;
    }
    if (EqualsIgnoringCase(word, u"false")) {
      dest->vt = VT_BOOL;
      dest->boolVal = VARIANT_FALSE;
      return S_OK;
    }
  }
  Number n{};
  const HRESULT hr = ParseNumber(text, &n);
  if (FAILED(hr)) return hr;
  return StoreNumber(n, vt, dest);
}

// The value of an object is its default property.
HRESULT DefaultValueOf(IUnknown* object, VARIANT* value) {
  if (object == nullptr) return DISP_E_TYPEMISMATCH;
  IDispatch* dispatch = nullptr;
  if (FAILED(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
    return DISP_E_TYPEMISMATCH;
  }
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VariantInit(value);
  const HRESULT hr = dispatch->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, value,
                                      nullptr, nullptr);
  dispatch->Release();
  return FAILED(hr) ? DISP_E_TYPEMISMATCH : S_OK;
}

HRESULT Coerce(const VARIANT& source, USHORT flags, VARTYPE vt, VARIANT* result, int depth);

HRESULT CoerceObject(const VARIANT& source, USHORT flags, VARTYPE vt, VARIANT* result, int depth) {
  if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
    if (source.punkVal == nullptr) {
      result->vt = vt;
      result->punkVal = nullptr;
      return S_OK;
    }
    void* out = nullptr;
    const HRESULT hr = source.punkVal->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &out);
    if (FAILED(hr)) return hr == E_NOINTERFACE ? DISP_E_TYPEMISMATCH : hr;
    result->vt = vt;
    result->punkVal = static_cast<IUnknown*>(out);
    return S_OK;
  }
  if ((flags & VARIANT_NOVALUEPROP) || depth > 4) return DISP_E_TYPEMISMATCH;
  VARIANT value;
  HRESULT hr = DefaultValueOf(source.punkVal, &value);
  if (FAILED(hr)) return hr;
  hr = Coerce(value, flags, vt, result, depth + 1);
  VariantClear(&value);
  return hr;
}

HRESULT Coerce(const VARIANT& source, USHORT flags, VARTYPE vt, VARIANT* result, int depth) {
  VariantInit(result);
  if (vt == source.vt) return VariantCopy(result, &source);
  if (vt == VT_EMPTY) return S_OK;
  if (source.vt == VT_DISPATCH || source.vt == VT_UNKNOWN) return CoerceObject(source, flags, vt, result, depth);
  if ((vt & VT_ARRAY) || (source.vt & VT_ARRAY)) return DISP_E_TYPEMISMATCH;
  if (source.vt == VT_NULL || vt == VT_NULL || vt == VT_DISPATCH || vt == VT_UNKNOWN || source.vt == VT_ERROR ||
      vt == VT_ERROR || source.vt == VT_CY || vt == VT_CY) {
    return DISP_E_TYPEMISMATCH;
  }
  if (vt == VT_BSTR) return NumberToString(source, flags, result);
  if (source.vt == VT_BSTR) return StringToValue(source.bstrVal, vt, result);
  Number n{};
  if (!NumberOf(source, &n)) return DISP_E_BADVARTYPE;
  return StoreNumber(n, vt, result);
}

}  // namespace

extern "C" {

void VariantInit(VARIANTARG* pvarg) {
  if (pvarg == nullptr) return;
  std::memset(pvarg, 0, sizeof *pvarg);
  pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
  if (pvarg == nullptr) return E_INVALIDARG;
  if (!IsValidType(pvarg->vt)) return DISP_E_BADVARTYPE;
  if ((pvarg->vt & VT_BYREF) == 0) {
    if (pvarg->vt & VT_ARRAY) {
      const HRESULT hr = SafeArrayDestroy(pvarg->parray);
      if (FAILED(hr)) return hr;
    } else if (pvarg->vt == VT_BSTR) {
      SysFreeString(pvarg->bstrVal);
    } else if ((pvarg->vt == VT_DISPATCH || pvarg->vt == VT_UNKNOWN) && pvarg->punkVal != nullptr) {
      pvarg->punkVal->Release();
    }
  }
  VariantInit(pvarg);
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
  if (pvargDest == nullptr || pvargSrc == nullptr) return E_INVALIDARG;
  if (pvargDest == pvargSrc) return S_OK;
  if (!IsValidType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
  VARIANT copy = *pvargSrc;
  HRESULT hr = S_OK;
  if ((copy.vt & VT_BYREF) == 0) {
    if (copy.vt & VT_ARRAY) {
      hr = SafeArrayCopy(pvargSrc->parray, &copy.parray);
    } else if (copy.vt == VT_BSTR) {
      copy.bstrVal = CopyBstr(pvargSrc->bstrVal, &hr);
    } else if ((copy.vt == VT_DISPATCH || copy.vt == VT_UNKNOWN) && copy.punkVal != nullptr) {
      copy.punkVal->AddRef();
    }
  }
  if (FAILED(hr)) return hr;
  hr = VariantClear(pvargDest);
  if (FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  *pvargDest = copy;
  return S_OK;
}

HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
  if (pvarDest == nullptr || pvargSrc == nullptr) return E_INVALIDARG;
  if (!IsValidType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
  VARIANT view;
  if (!Dereference(*pvargSrc, &view)) return E_INVALIDARG;
  VARIANT copy;
  VariantInit(&copy);
  HRESULT hr = VariantCopy(&copy, &view);
  if (FAILED(hr)) return hr;
  hr = VariantClear(pvarDest);
  if (FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  *pvarDest = copy;
  return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt) {
  if (pvargDest == nullptr || pvarSrc == nullptr) return E_INVALIDARG;
  if (!IsValidType(pvarSrc->vt)) return DISP_E_BADVARTYPE;
  if (vt & VT_BYREF) return DISP_E_TYPEMISMATCH;
  if (!IsValidType(vt) || (vt & VT_TYPEMASK) == VT_VARIANT) {
    if (vt != (VT_ARRAY | VT_VARIANT)) return DISP_E_BADVARTYPE;
  }
  VARIANT view;
  if (!Dereference(*pvarSrc, &view)) return E_INVALIDARG;
  VARIANT result;
  const HRESULT hr = Coerce(view, wFlags, vt, &result, 0);
  if (FAILED(hr)) return hr;
  // The source may be the destination: it is released only once the result exists.
  const HRESULT cleared = VariantClear(pvargDest);
  if (FAILED(cleared)) {
    VariantClear(&result);
    return cleared;
  }
  *pvargDest = result;
  return S_OK;
}

}  // extern "C"
