// The profile object's reads: queueing, the shared execution, the consent dialog.
#include "profile.h"

namespace lumora {

HRESULT PRProfile::AddReadRequest(BSTR uki) { return AddReadRequest(uki, VARIANT_FALSE); }

HRESULT PRProfile::AddReadRequest(BSTR, VARIANT_BOOL) { return E_NOTIMPL; }

HRESULT PRProfile::ExecuteReadRequests(LONG hwnd, BSTR message, IPRKeyAttrsCollection** ppCollection) {
  return ExecuteReadRequestsHelper(false, hwnd, message, ppCollection);
}

HRESULT PRProfile::ExecuteReadRequestsHelper(bool, LONG, BSTR, IPRKeyAttrsCollection** ppCollection) {
  if (ppCollection != nullptr) *ppCollection = nullptr;
  return E_NOTIMPL;
}

}  // namespace lumora
