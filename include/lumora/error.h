// The one way errors cross a public method: framework exceptions carry an HRESULT, and an
// error boundary turns whatever a method body throws into the method's result. Header
// only; any thread may use it (the trace hook it reports to is thread-safe).
#ifndef LUMORA_ERROR_H_
#define LUMORA_ERROR_H_

#include <exception>
#include <new>
#include <string_view>
#include <type_traits>

#include "lumora/automation.h"
#include "lumora/trace.h"

namespace lumora {

// A framework exception: a failure that carries its own result code. Database and
// other platform stand-ins derive their exceptions from it (a database exception sets
// the code to its m_scode).
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

// A method's qualified name in two pieces, "<scope>::<member>", so that it is never
// assembled unless a failure is traced. An empty scope names a function outside any
// class or namespace.
struct MethodName {
  std::string_view scope;
  const char* member;
};

// The compiler's own texts for the enclosing function (__PRETTY_FUNCTION__ and
// __func__), from which the boundary macros below derive the method's name on the
// error path only: a successful call pays for two pointers.
struct MethodSignature {
  const char* pretty;
  const char* function;
};

namespace detail {

// The last name of the qualified name that ends at `end` in `text`, without template
// arguments ("Coll" for "lumora::Coll<std::vector<int>>"). Empty for what has no name a
// reader could look up: "(anonymous namespace)", "{anonymous}", "(anonymous class)",
// "<unnamed struct>".
constexpr std::string_view LastNameBefore(std::string_view text, size_t end) noexcept {
  size_t begin = end;
  int depth = 0;  // template argument lists entered, reading backwards
  while (begin > 0) {
    const char c = text[begin - 1];
    if (c == '>') {
      ++depth;
    } else if (c == '<') {
      if (depth == 0) break;
      --depth;
    } else if (depth == 0 && (c == ':' || c == ' ' || c == '*' || c == '&' || c == '(')) {
      break;
    }
    --begin;
  }
  const std::string_view name = text.substr(begin, end - begin);
  if (!name.empty() && (name.back() == ')' || name.back() == '}')) return {};
  return name.substr(0, name.find('<'));
}

}  // namespace detail

// The innermost class (or namespace) of `function` in its compiler-given signature
// `pretty`, without template arguments: "PRProfile" for
// "virtual HRESULT lumora::PRProfile::get_Count(long int*)" and function "get_Count".
// Empty when the function stands in no named scope (the global or an anonymous
// namespace, a lambda) or cannot be found. Return and parameter types may hold
// templates, scopes, pointers to functions and operators: the name is found as
// "::<function>(" and the scope read backwards from there.
constexpr std::string_view EnclosingScopeName(std::string_view pretty, std::string_view function) noexcept {
  if (function.empty()) return {};
  for (size_t found = pretty.find(function); found != std::string_view::npos;
       found = pretty.find(function, found + 1)) {
    const size_t end = found + function.size();
    if (found >= 2 && pretty.substr(found - 2, 2) == "::" && end < pretty.size() && pretty[end] == '(') {
      return detail::LastNameBefore(pretty, found - 2);
    }
  }
  return {};
}

// The name of class T without namespaces and template arguments ("PRProfile"), read at
// compile time from the compiler's signature of this very function, which names T as
// "[with T = lumora::PRProfile; ...]" (GCC) or "[T = lumora::PRProfile]" (clang).
template <class T>
constexpr std::string_view ClassNameOf() noexcept {
  const std::string_view pretty = __PRETTY_FUNCTION__;
  const size_t start = pretty.find("T = ");
  if (start == std::string_view::npos) return {};
  size_t end = start + 4;
  for (int depth = 0; end < pretty.size(); ++end) {
    const char c = pretty[end];
    if (c == '<') ++depth;
    if (c == '>') --depth;
    if (depth == 0 && (c == ';' || c == ']')) break;
  }
  return detail::LastNameBefore(pretty, end);
}

constexpr MethodName NameOfMethod(MethodSignature signature) noexcept {
  return {EnclosingScopeName(signature.pretty, signature.function), signature.function};
}

// Passes "<qualified name>: unknown error" to the trace hook. Allocates nothing of its
// own, so it may run while memory is exhausted.
inline void TraceUnknownError(const char* qualifiedName) noexcept { Trace("%s: unknown error", qualifiedName); }
inline void TraceUnknownError(MethodName name) noexcept {
  if (name.scope.empty()) {
    Trace("%s: unknown error", name.member);
  } else {
    Trace("%.*s::%s: unknown error", static_cast<int>(name.scope.size()), name.scope.data(), name.member);
  }
}
inline void TraceUnknownError(MethodSignature signature) noexcept { TraceUnknownError(NameOfMethod(signature)); }

namespace detail {

template <class Body>
HRESULT RunBody(Body& body) {
  static_assert(std::is_same_v<std::invoke_result_t<Body&>, HRESULT>, "a method body returns its HRESULT");
  return body();
}

// An exception is a failure whatever code it carries: a success code thrown by mistake
// must not make the caller believe the work was done.
constexpr HRESULT FailureOf(HRESULT code) noexcept { return FAILED(code) ? code : E_FAIL; }

}  // namespace detail

// The boundary of a public method that touches the store: runs `body` (returning
// HRESULT). A database exception becomes its m_scode, another framework exception its
// own code, an allocation failure E_OUTOFMEMORY; anything else is traced as
// "<name>: unknown error" and becomes E_FAIL. Nothing escapes. `name` is a qualified
// name ("PRProfile::GrantSectionAccess"), a MethodName or a MethodSignature.
template <class Name, class Body>
HRESULT ErrorBoundary(const Name& name, Body&& body) noexcept {
  try {
    return detail::RunBody(body);
  } catch (const HResultException& e) {
    return detail::FailureOf(e.code());
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    TraceUnknownError(name);
    return E_FAIL;
  }
}

// The boundary of a public method with the catch-all handler only (the profile
// object's request-adding methods): ANY exception, a database or framework exception
// or an allocation failure included, is traced as "<name>: unknown error" and becomes
// E_FAIL.
template <class Name, class Body>
HRESULT CatchAllBoundary(const Name& name, Body&& body) noexcept {
  try {
    return detail::RunBody(body);
  } catch (...) {
    TraceUnknownError(name);
    return E_FAIL;
  }
}

}  // namespace lumora

// The enclosing function's signature, for a boundary to name the method by.
#define LUMORA_METHOD_SIGNATURE (::lumora::MethodSignature{__PRETTY_FUNCTION__, __func__})

// The two boundaries, naming the enclosing method themselves ("PRProfile::get_Count").
// Use them in the public method itself, around a lambda that holds its body:
//   HRESULT PRProfile::GrantSectionAccess(BSTR name) {
//     return LUMORA_ERROR_BOUNDARY([&]() -> HRESULT { ... });
//   }
// (inside a lambda the enclosing function is the lambda, which names nothing).
#define LUMORA_ERROR_BOUNDARY(...) ::lumora::ErrorBoundary(LUMORA_METHOD_SIGNATURE, __VA_ARGS__)
#define LUMORA_CATCH_ALL_BOUNDARY(...) ::lumora::CatchAllBoundary(LUMORA_METHOD_SIGNATURE, __VA_ARGS__)

#endif  // LUMORA_ERROR_H_
