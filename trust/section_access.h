// The certificate registry and the section access decision. A section belongs to the
// signing certificates registered for it in the Certs table (usage class 0; class 1 rows
// are kept for the certificate management object). A program may use a section when the
// certificate that signed it is registered there; an unregistered section is claimed by
// its first signed user unless that company already owns a section. Sections whose
// names begin with "common" are registered and checked as "/". Calling thread only.
#ifndef LUMORA_TRUST_SECTION_ACCESS_H_
#define LUMORA_TRUST_SECTION_ACCESS_H_

#include <string>
#include <string_view>
#include <vector>

#include "store/cert_set.h"

namespace lumora {

// " AND ( USAGE = c OR (USAGE >= low AND USAGE <= high))" for classes 0 and 1, else empty.
std::string UsageClause(int usageClass);
// "SECTION = 's'" and the usage clause.
std::string SectionFilter(std::string_view section, int usageClass);

// The queries on an open CCertSet; each leaves the set on the row it found.
bool FindSection(CCertSet& set, std::string_view section, int usageClass);
bool FindCert(CCertSet& set, std::string_view signerName, int usageClass);
long CountSection(CCertSet& set, std::string_view section, int usageClass);
bool FindSectionUsage(CCertSet& set, std::string_view section, int usageClass, LONG sequenceNumber);
// Class 1: any row of the section. Class 0: the first row whose record has the same
// signer (same issuer and serial number of the signing certificate) as `record`.
bool SectionHasCert(CCertSet& set, std::string_view section, int usageClass, const std::vector<BYTE>& record);
// Appends a row with the next sequence number of the section and class.
HRESULT AddCertRow(CCertSet& set, std::string_view signerName, std::string_view section, int usageClass,
                   const std::vector<BYTE>& record);

// The access decision for `section`: the program at `executablePath`, or when it is
// empty the calling program found by the call chain walk, must be validly signed by a
// certificate registered for the section (or claim it by first use). Calling modules
// nearer to the call that fail the check are reported to the notification service; if
// it cannot be had, the answer is no. A claim by first use is made in one write
// transaction, so two programs can never both claim one section.
bool CertificateOK(std::string_view section, const std::string& executablePath);

}  // namespace lumora

#endif  // LUMORA_TRUST_SECTION_ACCESS_H_
