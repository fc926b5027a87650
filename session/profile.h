// PRProfile: one client's conversation with the profile store. It remembers the section
// the client was granted, the company name its consent dialogs show, and the queues of
// read and write requests that the client fills and then executes in one batch each.
// Created by its class factory (its construction step opens the store); called only on
// the thread that created it.
#ifndef LUMORA_SESSION_PROFILE_H_
#define LUMORA_SESSION_PROFILE_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/catalogue.h"
#include "lumora/object.h"
#include "write_request_item.h"

namespace lumora {

class PRProfile : public Implements<DispatchImpl<IPRProfile>, IConnectionPointContainer> {
 public:
  // Takes a reference on the process-wide cryptographic provider and opens the store.
  HRESULT FinalConstruct() override;
  // Discards the write queue; the last profile object closes the store, gives the
  // provider back and releases the change notification sink.
  void FinalRelease() noexcept override;

  // IPRProfile
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

  // The privileged routines the super user reaches (not on IPRProfile).
  // Queues a privacy change; only an all-sections object may (else E_ACCESSDENIED).
  virtual HRESULT AddModifyPrivacyRequest(BSTR uki, EPrivacy privacy);
  // Queues a read; markShared exactly VARIANT_TRUE also records the time of sharing.
  HRESULT AddReadRequest(BSTR uki, VARIANT_BOOL markShared);
  // The read execution shared with the super user: `privileged` collections hand out
  // every column of a variable.
  HRESULT ExecuteReadRequestsHelper(bool privileged, LONG hwnd, BSTR message, IPRKeyAttrsCollection** ppCollection);
  // The creation routine behind AddCreateKeyRequest; with `createNull` it queues a
  // variable without a value (its value is not checked against the type).
  HRESULT AddCreateKeyRequest(BSTR uki, EProfileDataType Type, BSTR Value, EVolatility volatility, EPrivacy privacy,
                              BSTR fieldName, VARIANT_BOOL isreadonly, VARIANT* enumOptions, bool createNull);
  // Queues switching a section's link to a common variable on (link VARIANT_TRUE) or off.
  HRESULT AddLinkRequestHelper(BSTR uki, VARIANT_BOOL link);

  // IConnectionPointContainer: the profile object has no connection points.
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

  // The access rule every request applies to a uki's section: every section for an
  // all-sections object, else exactly (byte for byte) the granted one.
  bool IsSectionGranted(std::string_view section) const;
  // A uki of a "common" section becomes the granted section's own copy (S.common.x),
  // unless the object may address every section.
  std::string QualifyUki(std::string_view uki) const;
  // Who is asking, as write requests record it: 3 privileged object, 2 ordinary client,
  // 1 all-sections object on a root or common variable, 4 all-sections object otherwise.
  LONG RequesterKind(std::string_view uki) const;

  // Set by the super user for the sessions it hands out, and by GrantSectionAccess.
  std::vector<std::string> m_readRequests;                           // qualified ukis, in call order
  std::vector<std::string> m_markSharedRequests;                     // ukis whose LastShared is set after a read
  std::string m_section;                                             // the granted section; empty before any grant
  bool m_bAllSections = false;                                       // every section may be addressed
  bool m_bPrivileged = false;                                        // handed out on the super user's own authority
  std::string m_callerName;                                          // the signer shown in the consent dialogs
  std::vector<std::unique_ptr<PRWriteRequestItem>> m_writeRequests;  // queued changes, in call order

 protected:
  ~PRProfile() override;

 private:
  // The link creation behind AddCreateLinkKeyRequest and a common modification.
  HRESULT QueueCreateLinkRequest(const std::string& uki, const std::string& ukiSrc);

  bool m_counted = false;        // this object is in the profile object count
  bool m_holdsProvider = false;  // this object holds a provider reference
};

}  // namespace lumora

#endif  // LUMORA_SESSION_PROFILE_H_
