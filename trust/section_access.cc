// The Certs queries and CertificateOK.
#include "section_access.h"

#include <memory>

#include "cert_container.h"
#include "common/notification_client.h"
#include "common/resources.h"
#include "lumora/trace.h"
#include "platform/process/system_info.h"
#include "store/profile_database.h"
#include "store/query_filters.h"
#include "store/uki.h"
#include "validate_caller.h"

namespace lumora {
namespace {

constexpr int kOpenAttempts = 10;
constexpr DWORD kOpenRetryMs = 200;

bool FindFromStart(CCertSet& set, const std::string& filter) {
  if (set.IsBOF() && set.IsEOF()) return false;
  set.MoveFirst();
  return set.FindFirst(filter.c_str()) != FALSE;
}

// Opens the profile database and a Certs recordset on it, trying again while another
// user holds the file.
std::unique_ptr<CCertSet> OpenCertSet() {
  for (int attempt = 1;; ++attempt) {
    try {
      if (SUCCEEDED(OpenProfileDatabase())) {
        auto set = std::make_unique<CCertSet>(ProfileDatabase());
        set->Open();
        return set;
      }
    } catch (const CDaoException&) {
      if (attempt == kOpenAttempts) throw;
    }
    if (attempt == kOpenAttempts) break;
    Sleep(kOpenRetryMs);
    if (PumpOneWindowMessage()) break;  // a quit message ends the attempts
  }
  // The lookup that follows needs the database: it fails as the store does.
  auto set = std::make_unique<CCertSet>(ProfileDatabase());
  set->Open();
  return set;
}

// Keeps the database's one write transaction open for a scope: the claim's lookup and its
// insert are one step for every other process. It is committed on every way out, so the
// connection is never left inside a transaction.
class WriteTransaction {
 public:
  WriteTransaction() : m_workspace(*ProfileDatabase()->m_pWorkspace) { m_workspace.BeginTrans(); }
  ~WriteTransaction() {
    try {
      m_workspace.CommitTrans();
    } catch (...) {
      Trace("%s: unknown error", "PRGetAccessKey::CertificateOK");
    }
  }
  WriteTransaction(const WriteTransaction&) = delete;
  WriteTransaction& operator=(const WriteTransaction&) = delete;

 private:
  CDaoWorkspace& m_workspace;
};

void ReportUnverified(const std::vector<std::string>& modules, bool* serviceAvailable) {
  std::string title = LoadResourceString(IDS_RELATIONSHIP_SETTINGS);
  if (title.empty()) title = "Relationship Settings";
  for (const std::string& module : modules) {
    std::string text = LoadResourceString(IDS_UNABLE_TO_DETERMINE_TRUST);
    const size_t at = text.find("%0");
    if (at != std::string::npos) text.replace(at, 2, module);
    if (FAILED(PostNotice(title, text))) {
      *serviceAvailable = false;
      return;
    }
  }
}

bool Decide(std::string_view section, const std::string& signerName, const std::vector<BYTE>& record) {
  std::unique_ptr<CCertSet> set = OpenCertSet();
  // A registered section is the usual case: decided without holding the write lock.
  if (FindSection(*set, section, 0)) return SectionHasCert(*set, section, 0, record);
  set->Close();
  WriteTransaction transaction;
  set = std::make_unique<CCertSet>(ProfileDatabase());
  set->Open();
  if (FindSection(*set, section, 0)) return SectionHasCert(*set, section, 0, record);
  // One company claims at most one section by first use.
  if (FindCert(*set, signerName, 0)) return false;
  return SUCCEEDED(AddCertRow(*set, signerName, section, 0, record));
}

}  // namespace

std::string UsageClause(int usageClass) {
  switch (usageClass) {
    case 0:
      return " AND ( USAGE = 0 OR (USAGE >= 100 AND USAGE <= 59999))";
    case 1:
      return " AND ( USAGE = 1 OR (USAGE >= 60000 AND USAGE <= 119999))";
    default:
      return {};
  }
}

std::string SectionFilter(std::string_view section, int usageClass) {
  return "SECTION = '" + QuoteFilterText(section) + "'" + UsageClause(usageClass);
}

bool FindSection(CCertSet& set, std::string_view section, int usageClass) {
  return FindFromStart(set, SectionFilter(section, usageClass));
}

bool FindCert(CCertSet& set, std::string_view signerName, int usageClass) {
  return FindFromStart(set, "CERT = '" + QuoteFilterText(signerName) + "'" + UsageClause(usageClass));
}

long CountSection(CCertSet& set, std::string_view section, int usageClass) {
  const std::string filter = SectionFilter(section, usageClass);
  if (!FindFromStart(set, filter)) return 0;
  long count = 1;
  while (set.FindNext(filter.c_str())) ++count;
  return count;
}

bool FindSectionUsage(CCertSet& set, std::string_view section, int usageClass, LONG sequenceNumber) {
  if (usageClass != 0 && usageClass != 1) return false;
  // Only numbers the class can hold: others would pack into another class's values (or
  // past the range of a number) and find a row that is not theirs.
  if (sequenceNumber < 0 || sequenceNumber > (usageClass == 0 ? 59900 : 60000)) return false;
  return FindFromStart(set, "SECTION = '" + QuoteFilterText(section) +
                                "' AND USAGE = " + std::to_string(EncodeUsage(usageClass, sequenceNumber)));
}

bool SectionHasCert(CCertSet& set, std::string_view section, int usageClass, const std::vector<BYTE>& record) {
  const std::string filter = SectionFilter(section, usageClass);
  if (!FindFromStart(set, filter)) return false;
  if (usageClass == 1) return true;
  do {
    if (SameSigner(set.m_CertData, record)) return true;
  } while (set.FindNext(filter.c_str()));
  return false;
}

HRESULT AddCertRow(CCertSet& set, std::string_view signerName, std::string_view section, int usageClass,
                   const std::vector<BYTE>& record) {
  const long count = CountSection(set, section, usageClass);
  std::vector<BYTE> copy;
  try {
    copy = record;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  set.AddNew();
  set.m_Section = std::string(section);
  set.m_Usage = EncodeUsage(usageClass, count);
  set.m_Cert = std::string(signerName);
  set.m_CertData = std::move(copy);
  set.Update();
  return S_OK;
}

bool CertificateOK(std::string_view section, const std::string& executablePath) {
  try {
    const std::string checked = IsCommonSection(section) ? "/" : std::string(section);
    std::unique_ptr<ValidateExe> validator;
    std::vector<std::string> unverified;
    bool walked = false;
    if (!executablePath.empty()) {
      validator = std::make_unique<ValidateExe>(executablePath);
      if (!validator->Validate()) return false;
    } else {
      auto caller = std::make_unique<ValidateCaller>();
      if (!caller->FindAndValidate(&unverified)) return false;
      walked = true;
      validator = std::move(caller);
    }
    if (walked && !unverified.empty()) {
      bool serviceAvailable = true;
      ReportUnverified(unverified, &serviceAvailable);
      if (!serviceAvailable) return false;
    }
    return Decide(checked, validator->SignerName(), validator->CertificateRecord());
  } catch (const CDaoException&) {
    return false;
  } catch (...) {
    Trace("%s: unknown error", "PRGetAccessKey::CertificateOK");
    return false;
  }
}

}  // namespace lumora
