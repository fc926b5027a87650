// PRProfileCertificateManagement: edits the certificate registry (which signing
// certificates open which section). Only a program registered for the root section "/"
// may use it: every method first checks the caller exactly as an access key is handed
// out, and anyone else is refused with E_ACCESSDENIED and changes nothing; otherwise any
// program could register its own certificate for another company's section. Keeps no
// state of its own; called only on the thread that created it.
#ifndef LUMORA_PRIVILEGED_CERTIFICATE_MANAGEMENT_H_
#define LUMORA_PRIVILEGED_CERTIFICATE_MANAGEMENT_H_

#include "common/catalogue.h"
#include "lumora/object.h"

namespace lumora {

class PRProfileCertificateManagement : public Implements<DispatchImpl<IPRProfileCertificateManagement>> {
 public:
  HRESULT AddCertificate(BSTR section, LONG usage, BSTR certificate) override;
  HRESULT DeleteCertificate(BSTR section, LONG usage, BSTR certificate) override;
  HRESULT RevokeCertificate(BSTR section, LONG usage, BSTR certificate) override;
  HRESULT GetCertificate(BSTR section, LONG usage, LONG sequence, BSTR* certificate) override;
  HRESULT CheckCertificate(BSTR section, LONG usage, VARIANT_BOOL checkTime, BSTR certificate) override;

 protected:
  ~PRProfileCertificateManagement() override = default;

 private:
  // Delete and revoke differ only in the note the user is sent.
  HRESULT RemoveCertificate(BSTR section, LONG usage, BSTR certificate, UINT noteId);
};

}  // namespace lumora

#endif  // LUMORA_PRIVILEGED_CERTIFICATE_MANAGEMENT_H_
