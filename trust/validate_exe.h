// ValidateExe: whether one file (an executable, a library, a cabinet) carries a valid code
// signature, and the signer name and certificate record of that signature. A check needs,
// in order: a certificate record (a cabinet's appended bytes, else the image's first
// certificate table entry), a signed message whose signature verifies with the signer's
// own certificate, and the trust decision (anchors: TrustedRoots.pem of the installation
// directory when present, else the system's). Loads IMAGEHLP while it lives. Calling
// thread only.
#ifndef LUMORA_TRUST_VALIDATE_EXE_H_
#define LUMORA_TRUST_VALIDATE_EXE_H_

#include <optional>
#include <string>
#include <vector>

#include "lumora/automation.h"

namespace lumora {

class ValidateExe {
 public:
  ValidateExe();  // without a target, as the base of the caller check
  explicit ValidateExe(std::string path);
  virtual ~ValidateExe();
  ValidateExe(const ValidateExe&) = delete;
  ValidateExe& operator=(const ValidateExe&) = delete;

  // False at once without a target; otherwise checks the path.
  virtual bool Validate();

  const std::string& SignerName() const { return m_signerName; }
  const std::vector<BYTE>& CertificateRecord() const { return m_certificateRecord; }
  bool HasTarget() const { return m_hasTarget; }
  // Uses this PEM bundle as the trust anchors instead of the installation's.
  void SetTrustAnchors(std::string pemFile) { m_anchors = std::move(pemFile); }

 protected:
  // One check of one file; replaces the signer name and, when found, the record.
  bool ValidatePath(const std::string& path);
  void SetTarget(std::string path);

 private:
  bool ReadCabinetCertificate(const std::string& path);
  bool ReadImageCertificate(const std::string& path);
  bool VerifySignedMessage();
  bool CheckTrust(const std::string& path, bool cabinet);
  std::string TrustAnchors() const;

  std::string m_path;
  std::string m_signerName;
  bool m_hasTarget = false;
  std::vector<BYTE> m_certificateRecord;
  std::optional<std::string> m_anchors;
};

}  // namespace lumora

#endif  // LUMORA_TRUST_VALIDATE_EXE_H_
