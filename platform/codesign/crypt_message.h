// Signed messages (PKCS #7 SignedData) and certificates, over OpenSSL: decoding, the first
// signer's issuer and serial number, the message's certificate store, subject names in
// the X.500 form of CertNameToStrA, public-key information, signature verification,
// certificate comparison and the validity-period check. Handles are owned by the caller
// (release with the matching Free/Close). Any thread; a handle on one thread at a time.
#ifndef LUMORA_PLATFORM_CODESIGN_CRYPT_MESSAGE_H_
#define LUMORA_PLATFORM_CODESIGN_CRYPT_MESSAGE_H_

#include <string>
#include <vector>

#include "lumora/automation.h"

inline constexpr DWORD CERT_X500_NAME_STR = 3;
inline constexpr DWORD CERT_NAME_STR_NO_QUOTING_FLAG = 0x10000000;
inline constexpr DWORD CERT_NAME_STR_CRLF_FLAG = 0x08000000;
inline constexpr DWORD CERT_NAME_STR_REVERSE_FLAG = 0x02000000;

struct CryptMessage;      // a decoded SignedData message
struct CryptCertificate;  // one certificate (a context owned by whoever got it)

// The first signer's issuer (DER name) and serial number (DER integer content).
struct CertIssuerSerial {
  std::vector<BYTE> issuer;
  std::vector<BYTE> serial;
};

// Decodes DER; CRYPT_E_ASN1_BADTAG for bytes that are no PKCS #7 message,
// CRYPT_E_UNEXPECTED_MSG_TYPE for a message that is not signed data.
HRESULT CryptMessageDecode(const BYTE* data, DWORD length, CryptMessage** message);
void CryptMessageClose(CryptMessage* message);
// CRYPT_E_NOT_FOUND when the message has no signer.
HRESULT CryptMessageFirstSigner(const CryptMessage* message, CertIssuerSerial* signer);
// The certificates the message carries, in store order (new references).
std::vector<CryptCertificate*> CryptMessageCertificates(const CryptMessage* message);
// The certificate with this issuer and serial number among `store`, or null (a new reference).
CryptCertificate* CertFindByIssuerSerial(const std::vector<CryptCertificate*>& store, const CertIssuerSerial& id);
// Verifies the first signer's signature with `signer`'s public key. `content` is the
// signed content: for an embedded SpcIndirectDataContent, null means its value bytes;
// for a detached message it must be given, or only the signed attributes are checked.
HRESULT CryptMessageVerifySignature(const CryptMessage* message, const CryptCertificate* signer, const BYTE* content,
                                    size_t contentLength);
// The embedded content's type (dotted OID) and DER value bytes without the outer tag
// and length of its SEQUENCE; empty for a detached message.
std::string CryptMessageContentType(const CryptMessage* message);
std::vector<BYTE> CryptMessageContentValue(const CryptMessage* message);
// The digest algorithm (dotted OID) of the first signer.
std::string CryptMessageDigestAlgorithm(const CryptMessage* message);

void CertFree(CryptCertificate* certificate);
CryptCertificate* CertDuplicate(CryptCertificate* certificate);
// The subject name as CertNameToStrA formats it (RDNs last first unless
// CERT_NAME_STR_REVERSE_FLAG; X.500 keys CN, O, OU, L, S, C, E, ...).
std::string CertNameToStr(const CryptCertificate* certificate, DWORD strType);
// DER SubjectPublicKeyInfo.
std::vector<BYTE> CertPublicKeyInfo(const CryptCertificate* certificate);
// True when issuer names and serial numbers are equal.
bool CertCompare(const CryptCertificate* a, const CryptCertificate* b);
// -1 before the validity period, 1 after it, 0 within it (now).
LONG CertVerifyTimeValidityNow(const CryptCertificate* certificate);
// For the trust decision: the OpenSSL objects behind the handles.
struct x509_st* CertX509(const CryptCertificate* certificate);
struct pkcs7_st* MessagePkcs7(const CryptMessage* message);

#endif  // LUMORA_PLATFORM_CODESIGN_CRYPT_MESSAGE_H_
