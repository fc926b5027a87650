// The profile session object: construction and release, the grant, and the access rules.
#include "profile.h"

#include "common/component_module.h"
#include "lumora/error.h"
#include "lumora/values.h"
#include "session_state.h"
#include "store/profile_database.h"
#include "store/store_context.h"
#include "store/uki.h"
#include "trust/section_access.h"
#include "trust/validate_caller.h"
#include "write_request_item.h"

namespace lumora {
namespace {

// The enumeration of a container without connection points.
class EmptyConnectionPoints : public Implements<IEnumConnectionPoints> {
 public:
  HRESULT Next(ULONG count, IConnectionPoint** points, ULONG* fetched) override {
    if (points == nullptr || (count != 1 && fetched == nullptr)) return E_POINTER;
    if (fetched != nullptr) *fetched = 0;
    return count == 0 ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override { return count == 0 ? S_OK : S_FALSE; }
  HRESULT Reset() override { return S_OK; }
  HRESULT Clone(IEnumConnectionPoints** copy) override {
    if (copy == nullptr) return E_POINTER;
    *copy = nullptr;
    return CreateObjectInstance<EmptyConnectionPoints>(nullptr, IID_IEnumConnectionPoints,
                                                       reinterpret_cast<void**>(copy), &ComponentModule());
  }

 protected:
  ~EmptyConnectionPoints() override = default;
};

}  // namespace

HRESULT PRProfile::FinalConstruct() {
  return LUMORA_ERROR_BOUNDARY([&]() -> HRESULT {
    // Counted in every outcome: FinalRelease runs after a failed construction too, and
    // uncounts it.
    CountProfileObject();
    m_counted = true;
    if (AcquireCryptProvider() != 0) return eErrorCipherInitializingFailed;
    m_holdsProvider = true;
    return OpenProfileDatabase();
  });
}

void PRProfile::FinalRelease() noexcept {
  m_writeRequests.clear();
  if (m_holdsProvider) {
    ReleaseCryptProvider();
    m_holdsProvider = false;
  }
  if (!m_counted) return;
  m_counted = false;
  if (UncountProfileObject() == 0) {
    CloseProfileDatabase();
    ForgetChangeSink();
  }
}

HRESULT PRProfile::GrantSectionAccess(BSTR reverseDomainName) {
  return LUMORA_ERROR_BOUNDARY([&]() -> HRESULT {
    const std::string section = Bstr::ToUtf8(reverseDomainName);
    std::string callerName;
    if (SuperKeyGrantFlag()) {
      callerName.assign(1, '/');  // the product itself: the caller traded an access key
    } else {
      if (!CertificateOK(section, {})) return E_ACCESSDENIED;
      // The company name shown to the user comes from a walk of its own; its outcome
      // does not change the grant.
      ValidateCaller caller;
      std::vector<std::string> unverified;
      caller.FindAndValidate(&unverified);
      callerName = caller.SignerName();
    }
    m_callerName = std::move(callerName);
    m_section = section;
    return S_OK;
  });
}

// An object that was never granted holds the empty section, which no uki may use.
bool PRProfile::IsSectionGranted(std::string_view section) const {
  return m_bAllSections || (!m_section.empty() && section == m_section);
}

std::string PRProfile::QualifyUki(std::string_view uki) const {
  return QualifyCommonUki(m_bAllSections, m_section, uki);
}

LONG PRProfile::RequesterKind(std::string_view uki) const {
  if (m_bPrivileged) return 3;
  if (!m_bAllSections) return 2;
  if ((!uki.empty() && uki.front() == '/') || IsCommonSection(SectionOfUki(uki))) return 1;
  return 4;
}

HRESULT PRProfile::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
  if (ppEnum == nullptr) return E_POINTER;
  *ppEnum = nullptr;
  return CreateObjectInstance<EmptyConnectionPoints>(nullptr, IID_IEnumConnectionPoints,
                                                     reinterpret_cast<void**>(ppEnum), &ComponentModule());
}

HRESULT PRProfile::FindConnectionPoint(REFIID, IConnectionPoint** ppCP) {
  if (ppCP == nullptr) return E_POINTER;
  *ppCP = nullptr;
  return CONNECT_E_NOCONNECTION;
}

}  // namespace lumora
