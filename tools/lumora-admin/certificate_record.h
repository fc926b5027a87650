// Certificate records as the administrator handles them: taken from a signed program (a
// PE image, a cabinet or an ELF module) or from a record saved to a file, and described
// by what its signer certificate says (company, subject, validity). The record is taken
// in the same strict form the signature check reads, but its signature is not checked
// here: a registration concerns the certificate, and the store checks each program that
// presents it when it asks for a section. Calling thread only.
#ifndef LUMORA_TOOLS_LUMORA_ADMIN_CERTIFICATE_RECORD_H_
#define LUMORA_TOOLS_LUMORA_ADMIN_CERTIFICATE_RECORD_H_

#include <string>
#include <vector>

#include "lumora/automation.h"

namespace lumora::admin {

// The record of the file at `path`, and what the file was ("ELF module", "PE image",
// "cabinet", "saved certificate record"). False with *error in words (its code in *code).
bool ReadCertificateRecord(const std::string& path, std::vector<BYTE>* record, std::string* kind, std::string* error,
                           HRESULT* code);

struct RecordDescription {
  HRESULT result = S_OK;  // the decoder's result; the fields below are empty on failure
  std::string company;    // the signer name, as the store names the company
  std::string subject;    // the signer certificate's subject, "C=.., O=.., CN=.."
  std::string notBefore;  // "YYYY-MM-DD HH:MM:SS UTC"
  std::string notAfter;
  bool validNow = false;
};
RecordDescription DescribeCertificateRecord(const std::vector<BYTE>& record);

}  // namespace lumora::admin

#endif  // LUMORA_TOOLS_LUMORA_ADMIN_CERTIFICATE_RECORD_H_
