// The value owners of values.h.
#include "lumora/values.h"

#include <limits>

#include "lumora/utf.h"

namespace lumora {
namespace {

// A BSTR's length is a 32-bit count. A longer text is given a length the allocator
// refuses, so it gets no string (as for a failed allocation) rather than one cut to the
// count's low bits.
UINT LengthOrRefused(size_t length) {
  return length > std::numeric_limits<UINT>::max() ? std::numeric_limits<UINT>::max() : static_cast<UINT>(length);
}

}  // namespace

Bstr Bstr::FromUtf8(std::string_view text) {
  // Checked before the text is read: the ASCII path writes text.size() units into the
  // string it allocates.
  if (text.size() > std::numeric_limits<UINT>::max()) return Bstr();
  if (!IsAscii(text)) return FromUtf16(Utf8ToUtf16(text));
  // Most names and values are ASCII: widen them straight into the BSTR.
  Bstr result;
  result.m_s = SysAllocStringLen(nullptr, LengthOrRefused(text.size()));
  if (result.m_s != nullptr) Utf8ToUtf16(text, result.m_s);
  return result;
}

Bstr Bstr::FromUtf16(std::u16string_view text) {
  Bstr result;
  result.m_s = SysAllocStringLen(text.data(), LengthOrRefused(text.size()));
  return result;
}

Bstr Bstr::FromBytes(std::string_view bytes) {
  Bstr result;
  result.m_s = SysAllocStringByteLen(bytes.data(), LengthOrRefused(bytes.size()));
  return result;
}

Bstr Bstr::Copy(BSTR source) {
  Bstr result;
  if (source != nullptr)
    result.m_s = SysAllocStringByteLen(reinterpret_cast<const char*>(source), SysStringByteLen(source));
  return result;
}

void Bstr::reset(BSTR s) noexcept {
  BSTR old = m_s;
  m_s = s;
  if (old != s) SysFreeString(old);
}

std::string Bstr::ToUtf8(BSTR s) { return Utf16ToUtf8(View(s)); }

SafeArray SafeArray::Vector(VARTYPE vt, LONG lowerBound, ULONG count) {
  SafeArray result;
  result.m_a = SafeArrayCreateVector(vt, lowerBound, count);
  return result;
}

SafeArray SafeArray::OfStrings(const std::vector<std::string>& texts) {
  SafeArray result = Vector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
  if (!result) return result;
  for (size_t i = 0; i < texts.size(); ++i) {
    Bstr text = Bstr::FromUtf8(texts[i]);
    LONG index = static_cast<LONG>(i);
    if (!text || FAILED(SafeArrayPutElement(result.get(), &index, text.get()))) return SafeArray();
  }
  return result;
}

void SafeArray::reset(SAFEARRAY* a) noexcept {
  SAFEARRAY* old = m_a;
  m_a = a;
  if (old != nullptr && old != a) SafeArrayDestroy(old);
}

Variant Variant::I2(SHORT value) {
  Variant v;
  v.m_v.vt = VT_I2;
  v.m_v.iVal = value;
  return v;
}

Variant Variant::I4(LONG value) {
  Variant v;
  v.m_v.vt = VT_I4;
  v.m_v.lVal = value;
  return v;
}

Variant Variant::R8(double value) {
  Variant v;
  v.m_v.vt = VT_R8;
  v.m_v.dblVal = value;
  return v;
}

Variant Variant::Date(DATE value) {
  Variant v;
  v.m_v.vt = VT_DATE;
  v.m_v.date = value;
  return v;
}

Variant Variant::Bool(bool value) {
  Variant v;
  v.m_v.vt = VT_BOOL;
  v.m_v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

Variant Variant::String(std::u16string_view value) {
  Variant v;
  v.m_v.bstrVal = Bstr::FromUtf16(value).detach();
  v.m_v.vt = VT_BSTR;
  return v;
}

Variant Variant::Utf8(std::string_view value) { return String(Utf8ToUtf16(value)); }

Variant Variant::Array(SafeArray array, VARTYPE elementType) {
  Variant v;
  v.m_v.parray = array.detach();
  v.m_v.vt = static_cast<VARTYPE>(VT_ARRAY | elementType);
  return v;
}

Variant Variant::Copy(const VARIANT& source) {
  Variant v;
  VariantCopy(&v.m_v, &source);
  return v;
}

}  // namespace lumora
