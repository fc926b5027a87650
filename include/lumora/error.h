// The one way errors cross a public method: framework exceptions carry an HRESULT, and
// ErrorBoundary turns whatever a method body throws into the method's result.
#ifndef LUMORA_ERROR_H_
#define LUMORA_ERROR_H_

#include <exception>
#include <new>

#include "lumora/automation.h"
#include "lumora/trace.h"

namespace lumora {

// A framework exception: a failure that carries its own result code. Database and
// other platform stand-ins derive their exceptions from it.
class HResultException : public std::exception {
 public:
  explicit HResultException(HRESULT code) noexcept : m_code(code) {}
  HRESULT code() const noexcept { return m_code; }
  const char* what() const noexcept override { return "HRESULT failure"; }

 private:
  HRESULT m_code;
};

[[noreturn]] inline void ThrowHResult(HRESULT hr) { throw HResultException(hr); }
inline HRESULT ThrowIfFailed(HRESULT hr) {
  if (FAILED(hr)) ThrowHResult(hr);
  return hr;
}

// Runs `body` (returning HRESULT) as a public method's body. A framework exception
// becomes its code, an allocation failure E_OUTOFMEMORY, anything else is traced as
// "<qualifiedName>: unknown error" and becomes E_FAIL. Nothing escapes.
template <class Body>
HRESULT ErrorBoundary(const char* qualifiedName, Body&& body) noexcept {
  try {
    return body();
  } catch (const HResultException& e) {
    return e.code();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    Trace("%s: unknown error", qualifiedName);
    return E_FAIL;
  }
}

}  // namespace lumora

#endif  // LUMORA_ERROR_H_
