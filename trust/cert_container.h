// UCertContainer: one certificate record, decoded for comparison with another; SameSigner;
// and the signer-certificate time check. Loads CRYPT32 (the container's wrapper) while it
// lives. Calling thread only.
#ifndef LUMORA_TRUST_CERT_CONTAINER_H_
#define LUMORA_TRUST_CERT_CONTAINER_H_

#include <memory>
#include <vector>

#include "decode_signed_message.h"

namespace lumora {

class UCertContainer {
 public:
  explicit UCertContainer(const std::vector<BYTE>& record);
  virtual ~UCertContainer();
  UCertContainer(const UCertContainer&) = delete;
  UCertContainer& operator=(const UCertContainer&) = delete;

  // Keeps a copy only of a record of revision 0x0200.
  virtual void SetRecord(const std::vector<BYTE>& record);
  virtual bool Decode();
  // True when both are decoded and their signer certificates have equal issuer names and
  // serial numbers.
  virtual bool Compare(const UCertContainer& a, const UCertContainer& b) const;
  virtual const std::vector<BYTE>& GetPublicKeyInfo() const { return m_publicKeyInfo; }

 private:
  bool m_decoded = false;
  bool m_hasRecord = false;
  std::vector<BYTE> m_record;
  CertificatePtr m_signerCertificate;
  std::vector<BYTE> m_publicKeyInfo;
  std::unique_ptr<DecodeSignedMessage> m_decoder;
};

// True when both records decode and were made by the same signing certificate.
bool SameSigner(const std::vector<BYTE>& a, const std::vector<BYTE>& b);
// True when the present moment lies within the validity period of the decoded message's
// signer certificate.
bool SignerCertificateTimeValid(const DecodeSignedMessage& message);

}  // namespace lumora

#endif  // LUMORA_TRUST_CERT_CONTAINER_H_
