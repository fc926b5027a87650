// Owners of the runtime's values: Bstr (a BSTR), Variant (a VARIANT) and SafeArray (a
// SAFEARRAY). Move-only, with the owners' vocabulary: get, put (frees the old value and
// hands out the slot for an out parameter), reset, attach, detach.
#ifndef LUMORA_VALUES_H_
#define LUMORA_VALUES_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lumora/automation.h"

namespace lumora {

class Bstr {
 public:
  Bstr() noexcept = default;
  Bstr(Bstr&& other) noexcept : m_s(other.detach()) {}
  Bstr& operator=(Bstr&& other) noexcept {
    if (this != &other) reset(other.detach());
    return *this;
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { reset(); }

  // Fresh strings. Each is non-null unless the allocation failed (even for empty text).
  static Bstr FromUtf8(std::string_view text);
  static Bstr FromUtf16(std::u16string_view text);
  static Bstr FromBytes(std::string_view bytes);  // binary-safe byte string
  // A copy of any BSTR (null stays null), keeping its byte length.
  static Bstr Copy(BSTR source);

  BSTR get() const noexcept { return m_s; }
  BSTR* put() noexcept {
    reset();
    return &m_s;
  }
  void reset(BSTR s = nullptr) noexcept;
  void attach(BSTR s) noexcept { reset(s); }
  [[nodiscard]] BSTR detach() noexcept { return std::exchange(m_s, nullptr); }
  explicit operator bool() const noexcept { return m_s != nullptr; }

  UINT length() const noexcept { return SysStringLen(m_s); }
  std::u16string_view view() const noexcept { return View(m_s); }
  std::string ToUtf8() const { return ToUtf8(m_s); }

  // Helpers for BSTRs owned by someone else (a null BSTR is the empty string).
  static std::u16string_view View(BSTR s) noexcept {
    return s == nullptr ? std::u16string_view() : std::u16string_view(s, SysStringLen(s));
  }
  static std::string ToUtf8(BSTR s);

 private:
  BSTR m_s = nullptr;
};

class SafeArray {
 public:
  SafeArray() noexcept = default;
  SafeArray(SafeArray&& other) noexcept : m_a(other.detach()) {}
  SafeArray& operator=(SafeArray&& other) noexcept {
    if (this != &other) reset(other.detach());
    return *this;
  }
  SafeArray(const SafeArray&) = delete;
  SafeArray& operator=(const SafeArray&) = delete;
  ~SafeArray() { reset(); }

  static SafeArray Vector(VARTYPE vt, LONG lowerBound, ULONG count);
  // A one-dimensional array of strings, lower bound 0; empty on allocation failure.
  static SafeArray OfStrings(const std::vector<std::string>& texts);

  SAFEARRAY* get() const noexcept { return m_a; }
  SAFEARRAY** put() noexcept {
    reset();
    return &m_a;
  }
  void reset(SAFEARRAY* a = nullptr) noexcept;
  void attach(SAFEARRAY* a) noexcept { reset(a); }
  [[nodiscard]] SAFEARRAY* detach() noexcept { return std::exchange(m_a, nullptr); }
  explicit operator bool() const noexcept { return m_a != nullptr; }

 private:
  SAFEARRAY* m_a = nullptr;
};

class Variant {
 public:
  Variant() noexcept { VariantInit(&m_v); }
  Variant(Variant&& other) noexcept : m_v(other.detach()) {}
  Variant& operator=(Variant&& other) noexcept {
    if (this != &other) attach(other.detach());
    return *this;
  }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&m_v); }

  static Variant I2(SHORT value);
  static Variant I4(LONG value);
  static Variant R8(double value);
  static Variant Date(DATE value);
  static Variant Bool(bool value);
  static Variant String(std::u16string_view value);
  static Variant Utf8(std::string_view value);
  static Variant Array(SafeArray array, VARTYPE elementType);
  // A deep copy of any VARIANT.
  static Variant Copy(const VARIANT& source);

  VARIANT* get() noexcept { return &m_v; }
  const VARIANT* get() const noexcept { return &m_v; }
  VARIANT* operator->() noexcept { return &m_v; }
  const VARIANT* operator->() const noexcept { return &m_v; }
  VARIANT* put() noexcept {
    VariantClear(&m_v);
    return &m_v;
  }
  void reset() noexcept { VariantClear(&m_v); }
  // Takes ownership of a raw VARIANT's contents.
  void attach(const VARIANT& raw) noexcept {
    VariantClear(&m_v);
    m_v = raw;
  }
  // Hands the contents over to the caller, who must clear them.
  [[nodiscard]] VARIANT detach() noexcept {
    VARIANT raw = m_v;
    VariantInit(&m_v);
    return raw;
  }
  VARTYPE vt() const noexcept { return m_v.vt; }

 private:
  VARIANT m_v;
};

}  // namespace lumora

#endif  // LUMORA_VALUES_H_
