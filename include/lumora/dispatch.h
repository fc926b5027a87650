// Late binding from a declarative table. Each dual interface I declares, once, a table of
// DispEntry rows (dispid, name, kind, parameter types, result type and the member to
// call) through DispatchTable<I>; DispatchImpl<I> then implements IDispatch for every
// object that implements I. Rules: names compare without regard to case; arguments
// arrive in reverse order and are coerced with VariantChangeType; an unknown dispid or
// kind is DISP_E_MEMBERNOTFOUND, a wrong count DISP_E_BADPARAMCOUNT, an argument that
// cannot be coerced DISP_E_TYPEMISMATCH with its position in puArgErr; a failing method
// gives DISP_E_EXCEPTION with its result in EXCEPINFO::scode (or its result itself when
// the caller passed no EXCEPINFO).
#ifndef LUMORA_DISPATCH_H_
#define LUMORA_DISPATCH_H_

#include <cstddef>
#include <span>
#include <tuple>
#include <type_traits>
#include <utility>

#include "lumora/automation.h"

namespace lumora {

inline constexpr UINT kMaxDispParams = 10;
// A parameter declared as VT_VARIANT | VT_BYREF is passed as VARIANT* to the caller's value.
inline constexpr VARTYPE kVariantRef = VT_VARIANT | VT_BYREF;

struct DispEntry {
  DISPID dispid;
  const char* name;
  WORD kind;  // DISPATCH_METHOD, DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT
  UINT paramCount;
  VARTYPE params[kMaxDispParams];  // in-parameters, in declaration order
  VARTYPE result;                  // VT_EMPTY when there is no out, retval parameter
  HRESULT (*call)(void* self, VARIANT* args, VARIANT* result);
  const char* help;  // the member's help text, or null
};

// Specialised per interface: `static std::span<const DispEntry> Get();`.
template <class I>
struct DispatchTable;

HRESULT DispatchGetIDsOfNames(std::span<const DispEntry> table, LPOLESTR* names, UINT count, DISPID* ids);
HRESULT DispatchInvoke(void* self, std::span<const DispEntry> table, DISPID dispid, REFIID riid, WORD flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

namespace detail {

template <class M>
struct MemberTraits;
template <class C, class... A>
struct MemberTraits<HRESULT (C::*)(A...)> {
  using Class = C;
  using Args = std::tuple<A...>;
  static constexpr size_t kArity = sizeof...(A);
};

// Whether a C++ parameter type holds a value of automation type vt.
template <class T>
constexpr bool Holds(VARTYPE vt) {
  if (vt & VT_ARRAY) return std::is_same_v<T, SAFEARRAY*>;
  switch (vt) {
    case VT_BSTR:
      return std::is_same_v<T, BSTR>;
    case VT_I4:
      return (std::is_integral_v<T> || std::is_enum_v<T>)&&sizeof(T) == 4;
    case VT_I2:
    case VT_BOOL:
      return std::is_integral_v<T> && sizeof(T) == 2;
    case VT_UI1:
      return std::is_integral_v<T> && sizeof(T) == 1;
    case VT_R8:
    case VT_DATE:
      return std::is_same_v<T, double>;
    case VT_R4:
      return std::is_same_v<T, float>;
    case VT_VARIANT:
      return std::is_same_v<T, VARIANT>;
    case kVariantRef:
      return std::is_same_v<T, VARIANT*>;
    case VT_DISPATCH:  // IDispatch* or a pointer to a dual interface
      return std::is_pointer_v<T> && std::is_base_of_v<IDispatch, std::remove_pointer_t<T>>;
    case VT_UNKNOWN:
      return std::is_pointer_v<T> && std::is_base_of_v<IUnknown, std::remove_pointer_t<T>>;
    default:
      return false;
  }
}

template <class T>
T ArgFrom(VARIANT& v) {
  if constexpr (std::is_same_v<T, VARIANT>) {
    return v;
  } else if constexpr (std::is_same_v<T, VARIANT*>) {
    return v.pvarVal;
  } else if constexpr (std::is_same_v<T, BSTR>) {
    return v.bstrVal;
  } else if constexpr (std::is_same_v<T, double>) {
    return v.dblVal;
  } else if constexpr (std::is_same_v<T, float>) {
    return v.fltVal;
  } else if constexpr (std::is_same_v<T, SAFEARRAY*>) {
    return v.parray;
  } else if constexpr (std::is_same_v<T, IDispatch*>) {
    return v.pdispVal;
  } else if constexpr (std::is_same_v<T, IUnknown*>) {
    return v.punkVal;
  } else if constexpr (std::is_pointer_v<T>) {
    static_assert(!std::is_pointer_v<T>, "typed interface pointers are results only");
    return nullptr;
  } else if constexpr (sizeof(T) == 4) {
    return static_cast<T>(v.lVal);
  } else if constexpr (sizeof(T) == 2) {
    return static_cast<T>(v.iVal);
  } else {
    return static_cast<T>(v.bVal);
  }
}

template <class T>
void StoreResult(VARIANT* out, VARTYPE vt, T& value) {
  if constexpr (std::is_same_v<T, VARIANT>) {
    *out = value;
    return;
  } else {
    out->vt = vt;
    if constexpr (std::is_same_v<T, BSTR>) {
      out->bstrVal = value;
    } else if constexpr (std::is_same_v<T, double>) {
      out->dblVal = value;
    } else if constexpr (std::is_same_v<T, float>) {
      out->fltVal = value;
    } else if constexpr (std::is_same_v<T, SAFEARRAY*>) {
      out->parray = value;
    } else if constexpr (std::is_pointer_v<T> && std::is_base_of_v<IDispatch, std::remove_pointer_t<T>>) {
      out->pdispVal = static_cast<IDispatch*>(value);  // typed dual interfaces travel as VT_DISPATCH
    } else if constexpr (std::is_pointer_v<T> && std::is_base_of_v<IUnknown, std::remove_pointer_t<T>>) {
      out->punkVal = static_cast<IUnknown*>(value);
    } else if constexpr (sizeof(T) == 4) {
      out->lVal = static_cast<LONG>(value);
    } else if constexpr (sizeof(T) == 2) {
      out->iVal = static_cast<SHORT>(value);
    } else {
      out->bVal = static_cast<BYTE>(value);
    }
  }
}

template <auto Method, VARTYPE Result, VARTYPE... In>
HRESULT Call(void* self, VARIANT* args, VARIANT* result) {
  using Traits = MemberTraits<decltype(Method)>;
  using Args = typename Traits::Args;
  auto* object = static_cast<typename Traits::Class*>(self);
  return [&]<size_t... I>(std::index_sequence<I...>)->HRESULT {
    if constexpr (Result == VT_EMPTY) {
      return (object->*Method)(ArgFrom<std::tuple_element_t<I, Args>>(args[I])...);
    } else {
      using Out = std::remove_pointer_t<std::tuple_element_t<sizeof...(In), Args>>;
      Out value{};
      const HRESULT hr = (object->*Method)(ArgFrom<std::tuple_element_t<I, Args>>(args[I])..., &value);
      if (SUCCEEDED(hr)) StoreResult(result, Result, value);
      return hr;
    }
  }
  (std::make_index_sequence<sizeof...(In)>{});
}

}  // namespace detail

// One table row: Disp<&I::Method, ResultType, ParamTypes...>(dispid, "Name", kind, "help").
// The member's C++ signature is checked against the declared types at compile time.
template <auto Method, VARTYPE Result, VARTYPE... In>
constexpr DispEntry Disp(DISPID dispid, const char* name, WORD kind = DISPATCH_METHOD, const char* help = nullptr) {
  using Traits = detail::MemberTraits<decltype(Method)>;
  static_assert(sizeof...(In) <= kMaxDispParams, "too many parameters");
  static_assert(Traits::kArity == sizeof...(In) + (Result == VT_EMPTY ? 0 : 1),
                "declared parameters do not match the member");
  static_assert(
      []<size_t... I>(std::index_sequence<I...>) {
        [[maybe_unused]] constexpr VARTYPE kIn[] = {In..., VT_EMPTY};
        return (detail::Holds<std::tuple_element_t<I, typename Traits::Args>>(kIn[I]) && ...);
      }(std::make_index_sequence<sizeof...(In)>{}),
      "a parameter type does not hold its declared VARTYPE");
  if constexpr (Result != VT_EMPTY) {
    using Out = std::tuple_element_t<sizeof...(In), typename Traits::Args>;
    static_assert(std::is_pointer_v<Out> && detail::Holds<std::remove_pointer_t<Out>>(Result),
                  "the result parameter does not hold its declared VARTYPE");
  }
  return DispEntry{dispid, name, kind, sizeof...(In), {In...}, Result, &detail::Call<Method, Result, In...>, help};
}

// Implements IDispatch for interface I from DispatchTable<I>.
template <class I>
class DispatchImpl : public I {
 public:
  using Interface = I;
  HRESULT GetTypeInfoCount(UINT* pctinfo) override {
    if (pctinfo == nullptr) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
    if (ppTInfo != nullptr) *ppTInfo = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return DispatchGetIDsOfNames(DispatchTable<I>::Get(), names, count, ids);
  }
  HRESULT Invoke(DISPID dispid, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, UINT* argErr) override {
    return DispatchInvoke(static_cast<I*>(this), DispatchTable<I>::Get(), dispid, riid, flags, params, result,
                          excepInfo, argErr);
  }

 protected:
  ~DispatchImpl() = default;
};

}  // namespace lumora

#endif  // LUMORA_DISPATCH_H_
