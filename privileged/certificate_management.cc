// Registering, removing and checking the certificates of sections.
#include "certificate_management.h"

#include <memory>

#include "common/notification_client.h"
#include "common/resources.h"
#include "lumora/error.h"
#include "lumora/trace.h"
#include "lumora/values.h"
#include "store/profile_database.h"
#include "trust/cert_container.h"
#include "trust/decode_signed_message.h"
#include "trust/section_access.h"

namespace lumora {
namespace {

constexpr char kAddName[] = "PRProfileCertificateManagement::AddCertificate";
constexpr char kOtherName[] = "PRProfileCertificateManagement::DeleteCertificate";

// A certificate record travels as a byte string.
std::vector<BYTE> RecordOf(BSTR certificate) {
  if (certificate == nullptr) return {};
  const auto* bytes = reinterpret_cast<const BYTE*>(certificate);
  return std::vector<BYTE>(bytes, bytes + SysStringByteLen(certificate));
}

// The Certs table, on the opened store.
std::unique_ptr<CCertSet> OpenCerts() {
  ThrowIfFailed(OpenProfileDatabase());
  auto set = std::make_unique<CCertSet>(ProfileDatabase());
  set->Open();
  return set;
}

// Decodes a record as its signer; the failure of either step is returned.
HRESULT DecodeRecord(const std::vector<BYTE>& record, DecodeSignedMessage* decoder) {
  if (record.size() < 8) return CRYPT_E_ASN1_BADTAG;
  HRESULT hr = decoder->Decode(record.data() + 8, static_cast<DWORD>(record.size() - 8));
  if (SUCCEEDED(hr)) hr = decoder->GetSigner();
  return hr;
}

bool CallerManagesCertificates() { return CertificateOK("/", {}); }

// Keeps the database's one write transaction open while a section's rows are counted and
// changed: a number is given, or taken over, by one process at a time, so two programs
// adding at once never give two rows the same number. Committed on every way out, so the
// connection is never left inside a transaction.
class CertsTransaction {
 public:
  explicit CertsTransaction(const char* method) : m_workspace(*ProfileDatabase()->m_pWorkspace), m_method(method) {
    m_workspace.BeginTrans();
  }
  ~CertsTransaction() {
    if (!m_open) return;
    try {
      m_workspace.CommitTrans();
    } catch (...) {
      Trace("%s: unknown error", m_method);
    }
  }
  CertsTransaction(const CertsTransaction&) = delete;
  CertsTransaction& operator=(const CertsTransaction&) = delete;

  // Commits now; a failure is thrown to the caller, so that no change is reported that
  // the store does not hold.
  void Commit() {
    m_open = false;
    m_workspace.CommitTrans();
  }

 private:
  CDaoWorkspace& m_workspace;
  const char* m_method;
  bool m_open = true;
};

}  // namespace

HRESULT PRProfileCertificateManagement::AddCertificate(BSTR section, LONG usage, BSTR certificate) {
  return ErrorBoundary(kAddName, [&]() -> HRESULT {
    const std::vector<BYTE> record = RecordOf(certificate);
    if (record.empty() || (usage != 0 && usage != 1)) return E_INVALIDARG;
    if (!CallerManagesCertificates()) return E_ACCESSDENIED;
    const std::string name = Bstr::ToUtf8(section);
    ThrowIfFailed(OpenProfileDatabase());
    CertsTransaction transaction(kAddName);
    std::unique_ptr<CCertSet> set = OpenCerts();
    if (SectionHasCert(*set, name, usage, record)) return S_OK;
    std::string company;
    if (usage == 0) {
      DecodeSignedMessage decoder;
      const HRESULT hr = DecodeRecord(record, &decoder);
      if (FAILED(hr)) return hr;
      company = decoder.SignerName();
    } else {
      company = FindSection(*set, name, 0) ? set->m_Cert : LoadResourceString(IDS_UNKNOWN_COMPANY);
    }
    const HRESULT added = AddCertRow(*set, company, name, usage, record);
    set.reset();
    transaction.Commit();
    return added;
  });
}

HRESULT PRProfileCertificateManagement::DeleteCertificate(BSTR section, LONG usage, BSTR certificate) {
  return RemoveCertificate(section, usage, certificate, IDS_CERTIFICATE_DELETED);
}

HRESULT PRProfileCertificateManagement::RevokeCertificate(BSTR section, LONG usage, BSTR certificate) {
  return RemoveCertificate(section, usage, certificate, IDS_CERTIFICATE_REVOKED);
}

HRESULT PRProfileCertificateManagement::RemoveCertificate(BSTR section, LONG usage, BSTR certificate, UINT noteId) {
  return ErrorBoundary(kOtherName, [&]() -> HRESULT {
    if (!CallerManagesCertificates()) return E_ACCESSDENIED;
    // Without a class the lookup would match a row of either class, whose numbers the
    // renumbering below (which keeps to one class) would then leave with a gap.
    if (usage != 0 && usage != 1) return E_INVALIDARG;
    const std::string name = Bstr::ToUtf8(section);
    ThrowIfFailed(OpenProfileDatabase());
    CertsTransaction transaction(kOtherName);
    std::unique_ptr<CCertSet> set = OpenCerts();
    if (!SectionHasCert(*set, name, usage, RecordOf(certificate))) return S_OK;
    std::string note = LoadResourceString(noteId);
    const size_t at = note.find("%s");
    if (at != std::string::npos) note.replace(at, 2, set->m_Cert);
    const LONG deleted = set->SequenceNumber();
    set->Delete();
    // The numbers of a section and class stay 0 .. count - 1: the last row takes the
    // deleted row's number.
    const long remaining = CountSection(*set, name, usage);
    if (deleted < remaining && FindSectionUsage(*set, name, usage, remaining)) {
      set->Edit();
      set->SetSequenceNumber(deleted);
      set->Update();
    }
    set.reset();
    transaction.Commit();
    PostNotice(LoadResourceString(IDS_RELATIONSHIP_SETTINGS), note);
    return S_OK;
  });
}

HRESULT PRProfileCertificateManagement::GetCertificate(BSTR section, LONG usage, LONG sequence, BSTR* certificate) {
  if (certificate == nullptr) return E_POINTER;
  return ErrorBoundary(kOtherName, [&]() -> HRESULT {
    if (!CallerManagesCertificates()) return E_ACCESSDENIED;
    std::unique_ptr<CCertSet> set = OpenCerts();
    if (!FindSectionUsage(*set, Bstr::ToUtf8(section), usage, sequence)) return eErrorKeyNotFound;
    Bstr bytes = Bstr::FromBytes(
        std::string_view(reinterpret_cast<const char*>(set->m_CertData.data()), set->m_CertData.size()));
    if (!bytes && !set->m_CertData.empty()) return E_OUTOFMEMORY;
    *certificate = bytes.detach();
    return S_OK;
  });
}

HRESULT PRProfileCertificateManagement::CheckCertificate(BSTR section, LONG usage, VARIANT_BOOL checkTime,
                                                         BSTR certificate) {
  return ErrorBoundary(kOtherName, [&]() -> HRESULT {
    if (!CallerManagesCertificates()) return E_ACCESSDENIED;
    if (usage != 0 && usage != 1) return E_INVALIDARG;  // no class vouches for a row of any class
    const std::vector<BYTE> record = RecordOf(certificate);
    std::unique_ptr<CCertSet> set = OpenCerts();
    if (!SectionHasCert(*set, Bstr::ToUtf8(section), usage, record)) return E_FAIL;
    if (checkTime != VARIANT_TRUE) return S_OK;
    DecodeSignedMessage decoder;
    const HRESULT hr = DecodeRecord(record, &decoder);
    if (FAILED(hr)) return hr;
    return SignerCertificateTimeValid(decoder) ? S_OK : E_FAIL;
  });
}

}  // namespace lumora
