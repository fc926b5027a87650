// The profile object's writes: the queueing methods with their merge rules, and the
// batch that runs the queue in one transaction.
#include "profile.h"
#include "write_request_item.h"

namespace lumora {

PRProfile::~PRProfile() = default;

HRESULT PRProfile::AddModifyRawValueRequest(BSTR, BSTR) { return E_NOTIMPL; }
HRESULT PRProfile::AddCreateKeyRequest(BSTR uki, EProfileDataType Type, BSTR Value, EVolatility volatility,
                                       EPrivacy privacy, BSTR fieldName, VARIANT_BOOL isreadonly,
                                       VARIANT* enumOptions) {
  return AddCreateKeyRequest(uki, Type, Value, volatility, privacy, fieldName, isreadonly, enumOptions, false);
}
HRESULT PRProfile::AddCreateKeyRequest(BSTR, EProfileDataType, BSTR, EVolatility, EPrivacy, BSTR, VARIANT_BOOL,
                                       VARIANT*, bool) {
  return E_NOTIMPL;
}
HRESULT PRProfile::AddCreateLinkKeyRequest(BSTR, BSTR) { return E_NOTIMPL; }
HRESULT PRProfile::QueueCreateLinkRequest(const std::string&, const std::string&) { return E_NOTIMPL; }
HRESULT PRProfile::AddDeleteKeyRequest(BSTR) { return E_NOTIMPL; }
HRESULT PRProfile::AddModifyPrivacyRequest(BSTR, EPrivacy) { return E_NOTIMPL; }
HRESULT PRProfile::AddLinkRequestHelper(BSTR, VARIANT_BOOL) { return E_NOTIMPL; }
HRESULT PRProfile::ExecuteWriteRequests(LONG, BSTR, LONG* result) {
  if (result == nullptr) return E_POINTER;
  *result = 0;
  return E_NOTIMPL;
}
HRESULT PRProfile::AddCreateKeyRequest2(BSTR, EProfileDataType, VARIANT*, EVolatility, EPrivacy, BSTR, VARIANT_BOOL,
                                        VARIANT*) {
  return E_NOTIMPL;
}
HRESULT PRProfile::AddModifyValueRequest(BSTR, VARIANT*) { return E_NOTIMPL; }

}  // namespace lumora
