// The profile object's reads: queueing, the shared execution, the consent dialog.
#include <memory>

#include "consent/confirm_read_dialog.h"
#include "lumora/error.h"
#include "lumora/values.h"
#include "profile.h"
#include "snapshot/key_attrs_collection.h"
#include "store/key_lookup.h"
#include "store/profile_database.h"
#include "store/uki.h"

namespace lumora {

HRESULT PRProfile::AddReadRequest(BSTR uki) { return AddReadRequest(uki, VARIANT_FALSE); }

HRESULT PRProfile::AddReadRequest(BSTR uki, VARIANT_BOOL markShared) {
  return CatchAllBoundary("PRProfile::AddReadRequest", [&]() -> HRESULT {
    std::string qualified = QualifyUki(Bstr::ToUtf8(uki));
    if (!IsSectionGranted(SectionOfUki(qualified))) return E_ACCESSDENIED;
    const bool mark = markShared == VARIANT_TRUE;  // exactly -1: a "true" of 1 marks nothing
    // Both queues grow together or not at all: everything that can fail comes first.
    std::string toMark = mark ? qualified : std::string();
    m_readRequests.reserve(m_readRequests.size() + 1);
    if (mark) m_markSharedRequests.reserve(m_markSharedRequests.size() + 1);
    m_readRequests.push_back(std::move(qualified));
    if (mark) m_markSharedRequests.push_back(std::move(toMark));
    return S_OK;
  });
}

HRESULT PRProfile::ExecuteReadRequests(LONG hwnd, BSTR message, IPRKeyAttrsCollection** ppCollection) {
  return ExecuteReadRequestsHelper(false, hwnd, message, ppCollection);
}

HRESULT PRProfile::ExecuteReadRequestsHelper(bool privileged, LONG hwnd, BSTR message,
                                             IPRKeyAttrsCollection** ppCollection) {
  return ErrorBoundary("PRProfile::ExecuteReadRequestsHelper", [&]() -> HRESULT {
    if (ppCollection == nullptr) return E_POINTER;
    *ppCollection = nullptr;
    HRESULT hr = OpenProfileDatabase();
    if (FAILED(hr)) return hr;

    // Reading without asking the user is for privileged sessions only; a client that
    // tries it loses what it queued.
    const bool withoutDialog = hwnd == -1;
    if (withoutDialog && !m_bAllSections && !m_bPrivileged) {
      m_readRequests.clear();
      m_markSharedRequests.clear();
      return E_ACCESSDENIED;
    }

    PRKeyAttrsCollection* made = nullptr;
    if (FAILED(ConstructObject<PRKeyAttrsCollection>(nullptr, nullptr, &made))) return E_OUTOFMEMORY;
    ComPtr<PRKeyAttrsCollection> collection;
    collection.attach(made);
    // The collection keeps this session, and with it the store, for as long as it lives.
    collection->SetStoreHolder(static_cast<IPRProfile*>(this));
    collection->FillFromRequests(m_readRequests, privileged, m_section);
    m_readRequests.clear();

    if (!withoutDialog) {
      std::vector<std::unique_ptr<PRDisplayReadItem>> rows;
      collection->BuildReadConsentList(&rows);
      CConfirmReadDialog dialog(std::move(rows), m_callerName, nullptr, Bstr::ToUtf8(message));
      dialog.SetSection(m_section);
      // Refused: no collection, and the marks wait for a read the user allows.
      if (dialog.DoModal() != IDOK) return kCancelledByUser;
    }

    if (!m_markSharedRequests.empty()) {
      CKeySet set(ProfileDatabase(), dbOpenDynaset);
      MarkShared(set, m_markSharedRequests);
    }
    m_markSharedRequests.clear();
    return collection->QueryInterface(IID_IPRKeyAttrsCollection, reinterpret_cast<void**>(ppCollection));
  });
}

}  // namespace lumora
