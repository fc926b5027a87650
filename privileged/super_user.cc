// The super user: its creation, the forwarded request set and the privileged operations.
#include "super_user.h"

#include "common/component_module.h"
#include "lumora/error.h"
#include "lumora/values.h"
#include "snapshot/key_attrs_collection.h"
#include "snapshot/scratch_items_collection.h"
#include "store/profile_database.h"
#include "trust/section_access.h"

namespace lumora {
namespace {

// The not-set marker as the raw value of a variable created without a value.
Bstr NotSetValue() { return Bstr::FromUtf8(kNotSetRawValue); }

}  // namespace

HRESULT PRProfileSuperUser::FinalConstruct() {
  PRProfile* inner = nullptr;
  HRESULT hr = ConstructObject<PRProfile>(nullptr, nullptr, &inner);
  if (FAILED(hr)) return hr;
  m_inner.attach(inner);
  Bstr root = Bstr::FromUtf8("/");
  if (FAILED(m_inner->GrantSectionAccess(root.get()))) {
    m_inner.reset();
    return E_ACCESSDENIED;
  }
  m_inner->m_bAllSections = true;
  return S_OK;
}

void PRProfileSuperUser::FinalRelease() noexcept { m_inner.reset(); }

HRESULT PRProfileSuperUser::AddReadRequest(BSTR uki) { return m_inner->AddReadRequest(uki, VARIANT_FALSE); }

HRESULT PRProfileSuperUser::AddReadRequest2(BSTR uki, VARIANT_BOOL markShared) {
  return m_inner->AddReadRequest(uki, markShared);
}

HRESULT PRProfileSuperUser::ExecuteReadRequests(LONG hwnd, BSTR message, IPRKeyAttrsCollection** ppCollection) {
  return m_inner->ExecuteReadRequestsHelper(true, hwnd, message, ppCollection);
}

HRESULT PRProfileSuperUser::AddModifyRawValueRequest(BSTR uki, BSTR newRawValue) {
  return m_inner->AddModifyRawValueRequest(uki, newRawValue);
}

HRESULT PRProfileSuperUser::AddCreateKeyRequest(BSTR uki, EProfileDataType Type, BSTR Value, EVolatility volatility,
                                                EPrivacy privacy, BSTR fieldName, VARIANT_BOOL isreadonly,
                                                VARIANT* enumOptions) {
  return static_cast<IPRProfile*>(m_inner.get())
      ->AddCreateKeyRequest(uki, Type, Value, volatility, privacy, fieldName, isreadonly, enumOptions);
}

HRESULT PRProfileSuperUser::AddCreateLinkKeyRequest(BSTR uki, BSTR ukiSrc) {
  return m_inner->AddCreateLinkKeyRequest(uki, ukiSrc);
}

HRESULT PRProfileSuperUser::AddDeleteKeyRequest(BSTR uki) { return m_inner->AddDeleteKeyRequest(uki); }

HRESULT PRProfileSuperUser::ExecuteWriteRequests(LONG hwnd, BSTR message, LONG* result) {
  return m_inner->ExecuteWriteRequests(hwnd, message, result);
}

// The super user has every section already.
HRESULT PRProfileSuperUser::GrantSectionAccess(BSTR) { return S_OK; }

HRESULT PRProfileSuperUser::AddCreateKeyRequest2(BSTR uki, EProfileDataType Type, VARIANT* Value,
                                                 EVolatility volatility, EPrivacy privacy, BSTR fieldName,
                                                 VARIANT_BOOL isreadonly, VARIANT* enumOptions) {
  return m_inner->AddCreateKeyRequest2(uki, Type, Value, volatility, privacy, fieldName, isreadonly, enumOptions);
}

HRESULT PRProfileSuperUser::AddModifyValueRequest(BSTR uki, VARIANT* newValue) {
  return m_inner->AddModifyValueRequest(uki, newValue);
}

HRESULT PRProfileSuperUser::AddModifyPrivacyRequest(BSTR uki, EPrivacy privacy) {
  return m_inner->AddModifyPrivacyRequest(uki, privacy);
}

HRESULT PRProfileSuperUser::AddCreateNullKeyRequest(BSTR uki, EProfileDataType Type, EVolatility volatility,
                                                    EPrivacy privacy, BSTR fieldName, VARIANT_BOOL isreadonly,
                                                    VARIANT* enumOptions) {
  Bstr notSet = NotSetValue();
  return m_inner->AddCreateKeyRequest(uki, Type, notSet.get(), volatility, privacy, fieldName, isreadonly, enumOptions,
                                      true);
}

HRESULT PRProfileSuperUser::AddLinkRequest(BSTR uki, VARIANT_BOOL link) {
  return m_inner->AddLinkRequestHelper(uki, link);
}

HRESULT PRProfileSuperUser::UnderAuthenticate(BSTR reverseDomainName, BSTR executablePath, VARIANT_BOOL trusted,
                                              IPRProfile** ppProfile) {
  if (ppProfile == nullptr) return E_POINTER;
  *ppProfile = nullptr;
  return LUMORA_CATCH_ALL_BOUNDARY([&]() -> HRESULT {
    PRProfile* raw = nullptr;
    const HRESULT hr = ConstructObject<PRProfile>(nullptr, &ComponentModule(), &raw);
    if (FAILED(hr)) return hr;
    ComPtr<PRProfile> session;
    session.attach(raw);
    const std::string section = Bstr::ToUtf8(reverseDomainName);
    if (trusted != VARIANT_TRUE && !CertificateOK(section, Bstr::ToUtf8(executablePath))) return E_ACCESSDENIED;
    session->m_section = section;
    session->m_bAllSections = section == "/";
    session->m_bPrivileged = trusted == VARIANT_TRUE;
    *ppProfile = session.detach();
    return S_OK;
  });
}

HRESULT PRProfileSuperUser::ExecuteReadAllKeysInSection(BSTR reverseDomainName, IPRKeyAttrsCollection** ppCollection) {
  if (ppCollection == nullptr) return E_POINTER;
  *ppCollection = nullptr;
  return LUMORA_ERROR_BOUNDARY([&]() -> HRESULT {
    const HRESULT hr = OpenProfileDatabase();
    if (FAILED(hr)) return hr;
    ComPtr<PRKeyAttrsCollection> collection = MakeComponentObject<PRKeyAttrsCollection>();
    collection->SetStoreHolder(static_cast<IPRProfile*>(m_inner.get()));
    collection->FillSection(Bstr::ToUtf8(reverseDomainName));
    *ppCollection = collection.detach();
    return S_OK;
  });
}

HRESULT PRProfileSuperUser::UnderAuthenticateForScratch(BSTR reverseDomainName, IPRScratchItemsCollection** ppScratch) {
  if (ppScratch == nullptr) return E_POINTER;
  *ppScratch = nullptr;
  return LUMORA_ERROR_BOUNDARY([&]() -> HRESULT {
    const HRESULT hr = OpenProfileDatabase();
    if (FAILED(hr)) return hr;
    ComPtr<PRScratchItemsCollection> scratch = MakeComponentObject<PRScratchItemsCollection>();
    scratch->SetStoreHolder(static_cast<IPRProfile*>(m_inner.get()));
    scratch->Open(Bstr::ToUtf8(reverseDomainName));
    *ppScratch = scratch.detach();
    return S_OK;
  });
}

HRESULT PRProfileSuperUser::ResetPassword() {
  return LUMORA_ERROR_BOUNDARY([&]() -> HRESULT {
    const HRESULT hr = OpenProfileDatabase();
    if (FAILED(hr)) return hr;
    return ResetDatabasePassword();
  });
}

HRESULT PRProfileSuperUser::CloseStore() {
  CloseProfileDatabase();
  return S_OK;
}

}  // namespace lumora
