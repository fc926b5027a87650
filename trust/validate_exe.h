// ValidateExe: whether one file (an executable, a library, a cabinet) carries a valid code
// signature, and the signer name and certificate record of that signature. A check needs,
// in order: a certificate record (a cabinet's appended bytes, else the image's certificate
// table entry), a signed message whose signature verifies with the signer's own
// certificate, and the trust decision (anchors: TrustedRoots.pem of the installation
// directory when present, else the system's). The file is read once, through one mapping:
// the record, the signer name and every digest come from the same bytes, so a file
// swapped during the check cannot lend one file's signer to another's verdict. Loads
// IMAGEHLP while it lives. Calling thread only.
#ifndef LUMORA_TRUST_VALIDATE_EXE_H_
#define LUMORA_TRUST_VALIDATE_EXE_H_

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "lumora/automation.h"

namespace lumora {

class DecodeSignedMessage;

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
  // Why the last check failed (S_OK after a pass): a file error as HRESULT_FROM_WIN32
  // (ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_DIRECTORY_NOT_SUPPORTED,
  // ERROR_BAD_EXE_FORMAT for a file that is no PE image, cabinet or ELF module,
  // ERROR_FILE_INVALID for a file cut short in place while it was checked),
  // TRUST_E_NOSIGNATURE, TRUST_E_MALFORMED_SIGNATURE, the decoder's codes,
  // CRYPT_E_SIGNER_NOT_FOUND, TRUST_E_BAD_DIGEST, or the trust decision's verdict.
  HRESULT LastResult() const { return m_result; }

 protected:
  // One check of one file; replaces the signer name and, when found, the record.
  bool ValidatePath(const std::string& path);
  // The same check on the bytes of a file already read (`path` only names them).
  bool ValidateBytes(std::span<const BYTE> file, const std::string& path);
  void SetTarget(std::string path);

 private:
  bool ReadCabinetCertificate(std::span<const BYTE> file);
  bool ReadImageCertificate(std::span<const BYTE> file);
  bool VerifySignedMessage();
  bool CheckTrust(std::span<const BYTE> file, const std::string& path, bool cabinet);
  std::string TrustAnchors() const;

  std::string m_path;
  std::string m_signerName;
  bool m_hasTarget = false;
  std::vector<BYTE> m_certificateRecord;
  std::optional<std::string> m_anchors;
  HRESULT m_result = S_OK;
  // The record's message, decoded once per check and handed to the trust decision.
  std::unique_ptr<DecodeSignedMessage> m_message;
};

}  // namespace lumora

#endif  // LUMORA_TRUST_VALIDATE_EXE_H_
