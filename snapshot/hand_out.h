// Handing a property's value to an automation caller: E_POINTER for no place to put it,
// a text as a new BSTR the caller frees (E_OUTOFMEMORY when none can be made).
#ifndef LUMORA_SNAPSHOT_HAND_OUT_H_
#define LUMORA_SNAPSHOT_HAND_OUT_H_

#include <string>

#include "lumora/values.h"

namespace lumora {

inline HRESULT HandOut(const std::string& text, BSTR* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = nullptr;
  Bstr copy = Bstr::FromUtf8(text);
  if (!copy) return E_OUTOFMEMORY;
  *pVal = copy.detach();
  return S_OK;
}

template <class T>
HRESULT HandOut(T value, T* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = value;
  return S_OK;
}

}  // namespace lumora

#endif  // LUMORA_SNAPSHOT_HAND_OUT_H_
