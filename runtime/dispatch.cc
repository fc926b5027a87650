// The table-driven IDispatch machinery of dispatch.h.
#include "lumora/dispatch.h"

#include <cstring>

namespace lumora {
namespace {

char16_t Fold(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c; }

bool NameMatches(const char* declared, const OLECHAR* asked) {
  size_t i = 0;
  for (; declared[i] != '\0'; ++i) {
    if (asked[i] == 0 || Fold(static_cast<char16_t>(static_cast<unsigned char>(declared[i]))) != Fold(asked[i])) {
      return false;
    }
  }
  return asked[i] == 0;
}

bool KindAccepts(WORD kind, WORD flags, bool lenient) {
  if (kind == DISPATCH_PROPERTYPUT) return (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return false;
  if (kind == DISPATCH_METHOD) return (flags & DISPATCH_METHOD) != 0 || (lenient && (flags & DISPATCH_PROPERTYGET));
  return (flags & DISPATCH_PROPERTYGET) != 0 || (lenient && (flags & DISPATCH_METHOD));
}

const DispEntry* FindEntry(std::span<const DispEntry> table, DISPID dispid, WORD flags, bool* dispidKnown) {
  *dispidKnown = false;
  for (bool lenient : {false, true}) {
    for (const DispEntry& entry : table) {
      if (entry.dispid != dispid) continue;
      *dispidKnown = true;
      if (KindAccepts(entry.kind, flags, lenient)) return &entry;
    }
  }
  return nullptr;
}

// The by-value view of an argument, following VT_BYREF | VT_VARIANT one step. A VARIANT
// reached so that is itself by reference to a VARIANT stays as it is (and is refused by
// the conversion): a chain of them may lead back to itself.
const VARIANT* Unwrap(const VARIANT* arg) {
  if (arg->vt == (VT_BYREF | VT_VARIANT) && arg->pvarVal != nullptr) arg = arg->pvarVal;
  return arg;
}

}  // namespace

HRESULT DispatchGetIDsOfNames(std::span<const DispEntry> table, LPOLESTR* names, UINT count, DISPID* ids) {
  if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  if (names[0] == nullptr) return DISP_E_UNKNOWNNAME;
  for (const DispEntry& entry : table) {
    if (NameMatches(entry.name, names[0])) {
      ids[0] = entry.dispid;
      // Parameters cannot be named: any further name is unknown.
      return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
  }
  return DISP_E_UNKNOWNNAME;
}

HRESULT DispatchInvoke(void* self, std::span<const DispEntry> table, DISPID dispid, REFIID riid, WORD flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  if (params == nullptr) return E_INVALIDARG;
  bool dispidKnown = false;
  const DispEntry* entry = FindEntry(table, dispid, flags, &dispidKnown);
  if (entry == nullptr) return DISP_E_MEMBERNOTFOUND;
  if (entry->kind == DISPATCH_PROPERTYPUT) {
    if (params->cNamedArgs > 1 || (params->cNamedArgs == 1 && params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)) {
      return DISP_E_NONAMEDARGS;
    }
  } else if (params->cNamedArgs != 0) {
    return DISP_E_NONAMEDARGS;
  }
  if (params->cArgs != entry->paramCount) return DISP_E_BADPARAMCOUNT;
  if (params->cArgs > 0 && params->rgvarg == nullptr) return E_INVALIDARG;

  VARIANT args[kMaxDispParams];
  bool owned[kMaxDispParams] = {};
  HRESULT hr = S_OK;
  UINT prepared = 0;
  for (; prepared < entry->paramCount; ++prepared) {
    const UINT position = params->cArgs - 1 - prepared;  // arguments arrive last first
    VARIANT* source = &params->rgvarg[position];
    const VARTYPE declared = entry->params[prepared];
    VARIANT& arg = args[prepared];
    VariantInit(&arg);
    if (declared == kVariantRef) {
      arg.vt = kVariantRef;
      arg.pvarVal = const_cast<VARIANT*>(Unwrap(source));
    } else if (declared == VT_VARIANT || Unwrap(source)->vt == declared) {
      arg = *Unwrap(source);  // borrowed, as a by-value argument is
    } else {
      hr = VariantChangeType(&arg, source, 0, declared);
      if (FAILED(hr)) {
        if (argErr != nullptr) *argErr = position;
        hr = DISP_E_TYPEMISMATCH;
        break;
      }
      owned[prepared] = true;
    }
  }
  if (SUCCEEDED(hr)) {
    VARIANT value;
    VariantInit(&value);
    hr = entry->call(self, args, &value);
    if (result != nullptr) {
      VariantClear(result);
      *result = value;
    } else {
      VariantClear(&value);
    }
    if (FAILED(hr) && excepInfo != nullptr) {
      std::memset(excepInfo, 0, sizeof *excepInfo);
      excepInfo->scode = hr;
      hr = DISP_E_EXCEPTION;
    }
  }
  for (UINT i = 0; i < prepared; ++i) {
    if (owned[i]) VariantClear(&args[i]);
  }
  return hr;
}

}  // namespace lumora
