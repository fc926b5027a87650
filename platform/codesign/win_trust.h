// The trust decision that stands in for the platform's trust provider (never any user
// interface), on the bytes of the caller's one mapping of the file:
//   - the signature is in the strict form (no byte outside the signed content and the
//     signature can ride along) and its signed content-type attribute names its content;
//   - the signature verifies with the signer's own certificate, and the signed digest
//     matches the file (the Authenticode image digest of a PE image, the cabinet digest of
//     a cabinet, the detached content of an ELF module, whose signing time must lie within
//     the signer certificate's validity);
//   - MD5 and SHA-1 are refused, for file digests and for certificate signatures alike;
//   - the signer's chain reaches an anchor and is valid now; every certificate of it that
//     names extended key usages allows code signing; the leaf is no CA and, when it names
//     key usages, allows digital signatures; revocation lists in the anchors file are
//     checked; nothing in unauthenticated attributes is trusted.
// Any thread.
#ifndef LUMORA_PLATFORM_CODESIGN_WIN_TRUST_H_
#define LUMORA_PLATFORM_CODESIGN_WIN_TRUST_H_

#include <string>
#include <vector>

#include "crypt_message.h"
#include "image_certificates.h"
#include "lumora/automation.h"

inline constexpr GUID WIN_SPUB_ACTION_PUBLISHED_SOFTWARE_NOBADUI = {
    0xC6B2E8D0, 0xE005, 0x11CF, {0xA1, 0x34, 0x00, 0xC0, 0x4F, 0xD7, 0xBF, 0x43}};
inline constexpr GUID WIN_TRUST_SUBJTYPE_CABINET = {
    0xD17C5374, 0xA392, 0x11CF, {0x9D, 0xF5, 0x00, 0xAA, 0x00, 0xC1, 0x84, 0xE0}};
inline constexpr GUID WIN_TRUST_SUBJTYPE_PE_IMAGE = {
    0x43C9A1E0, 0x8DA0, 0x11CF, {0x87, 0x36, 0x00, 0xAA, 0x00, 0xA4, 0x85, 0xEB}};

struct WIN_TRUST_SUBJECT_FILE {
  FileBytes hFile;         // the open file: the bytes of the caller's one mapping of it
  const char16_t* lpPath;  // its path, for the record; never opened again
};

struct WIN_TRUST_ACTDATA_CONTEXT_WITH_SUBJECT {
  void* hClientToken;
  const GUID* SubjectType;  // cabinet or PE image (an ELF module counts as an image)
  WIN_TRUST_SUBJECT_FILE* Subject;
  // Our additions. A PEM bundle of trust anchors and revocation lists; null or missing:
  // the system's store. And the signed message the caller decoded from this very file's
  // record, so that it is parsed once; null: decoded here. A message that is not the
  // record's own fails the file.
  const char* lpTrustAnchors;
  const CryptMessage* hMessage;
};

// S_OK when the file is trusted, else why not (a negative result): the reader's codes for
// the file's form (TRUST_E_SUBJECT_FORM_UNKNOWN, TRUST_E_NOSIGNATURE,
// TRUST_E_MALFORMED_SIGNATURE), CRYPT_E_SIGNER_NOT_FOUND, TRUST_E_BAD_DIGEST (the signature
// does not verify), CRYPT_E_HASH_VALUE (the file's digest is not the signed one),
// NTE_BAD_ALGID (a weak or unknown digest), TRUST_E_TIME_STAMP, CERT_E_UNTRUSTEDROOT,
// CERT_E_CHAINING, CERT_E_EXPIRED, CERT_E_REVOKED, CERT_E_REVOCATION_FAILURE,
// CERT_E_WRONG_USAGE, TRUST_E_BASIC_CONSTRAINTS.
LONG WinVerifyTrust(void* hwnd, const GUID* actionId, WIN_TRUST_ACTDATA_CONTEXT_WITH_SUBJECT* data);

// What the trust decision asks of a signer's own certificate, for tools that sign: S_OK,
// TRUST_E_BASIC_CONSTRAINTS (a CA), CERT_E_WRONG_USAGE (key or extended key usages that
// exclude code signing), NTE_BAD_ALGID (signed with MD5 or SHA-1).
HRESULT CheckSignerCertificate(const struct x509_st* leaf);

// The Authenticode digests, for tests and benchmarks: false for a file of the wrong form.
bool PeImageDigest(FileBytes file, const std::string& digestName, std::vector<BYTE>* digest);
bool CabinetDigest(FileBytes file, const std::string& digestName, std::vector<BYTE>* digest);

#endif  // LUMORA_PLATFORM_CODESIGN_WIN_TRUST_H_
