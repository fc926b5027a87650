// PRProfileSuperUser: the privileged counterpart of PRProfile, for administration tools.
// It wraps a profile session granted every section (created with it, released with it),
// offers the whole request set on it, and adds whole-section reads, privileged requests,
// sessions for a named section or a scratch area, the password reset and closing the
// store. It exists only for a program registered for the root section "/", or one that
// traded an access key. Not aggregatable; called only on the thread that created it.
#ifndef LUMORA_PRIVILEGED_SUPER_USER_H_
#define LUMORA_PRIVILEGED_SUPER_USER_H_

#include "common/catalogue.h"
#include "lumora/object.h"
#include "session/profile.h"

namespace lumora {

class PRProfileSuperUser : public Implements<DispatchImpl<IPRProfileSuperUser>> {
 public:
  static constexpr bool kAggregatable = false;

  // Creates the inner session and has it granted "/"; E_ACCESSDENIED when it is not.
  HRESULT FinalConstruct() override;
  void FinalRelease() noexcept override;

  HRESULT AddReadRequest(BSTR uki) override;
  HRESULT ExecuteReadRequests(LONG hwnd, BSTR message, IPRKeyAttrsCollection** ppCollection) override;
  HRESULT AddModifyRawValueRequest(BSTR uki, BSTR newRawValue) override;
  HRESULT AddCreateKeyRequest(BSTR uki, EProfileDataType Type, BSTR Value, EVolatility volatility, EPrivacy privacy,
                              BSTR fieldName, VARIANT_BOOL isreadonly, VARIANT* enumOptions) override;
  HRESULT AddCreateLinkKeyRequest(BSTR uki, BSTR ukiSrc) override;
  HRESULT AddDeleteKeyRequest(BSTR uki) override;
  HRESULT ExecuteWriteRequests(LONG hwnd, BSTR message, LONG* result) override;
  HRESULT GrantSectionAccess(BSTR reverseDomainName) override;
  HRESULT AddCreateKeyRequest2(BSTR uki, EProfileDataType Type, VARIANT* Value, EVolatility volatility,
                               EPrivacy privacy, BSTR fieldName, VARIANT_BOOL isreadonly,
                               VARIANT* enumOptions) override;
  HRESULT AddModifyValueRequest(BSTR uki, VARIANT* newValue) override;
  HRESULT AddReadRequest2(BSTR uki, VARIANT_BOOL markShared) override;
  HRESULT AddModifyPrivacyRequest(BSTR uki, EPrivacy privacy) override;
  HRESULT AddCreateNullKeyRequest(BSTR uki, EProfileDataType Type, EVolatility volatility, EPrivacy privacy,
                                  BSTR fieldName, VARIANT_BOOL isreadonly, VARIANT* enumOptions) override;
  HRESULT UnderAuthenticate(BSTR reverseDomainName, BSTR executablePath, VARIANT_BOOL trusted,
                            IPRProfile** ppProfile) override;
  HRESULT Reserved1(LONG, LONG, LONG, LONG) override { return E_NOTIMPL; }
  HRESULT Reserved2(LONG, LONG, LONG) override { return E_NOTIMPL; }
  HRESULT ExecuteReadAllKeysInSection(BSTR reverseDomainName, IPRKeyAttrsCollection** ppCollection) override;
  HRESULT UnderAuthenticateForScratch(BSTR reverseDomainName, IPRScratchItemsCollection** ppScratch) override;
  HRESULT AddLinkRequest(BSTR uki, VARIANT_BOOL link) override;
  HRESULT Reserved3(LONG, LONG) override { return E_NOTIMPL; }
  HRESULT ResetPassword() override;
  HRESULT CloseStore() override;

 protected:
  ~PRProfileSuperUser() override = default;

 private:
  ComPtr<PRProfile> m_inner;
};

}  // namespace lumora

#endif  // LUMORA_PRIVILEGED_SUPER_USER_H_
