// Signed messages (PKCS #7 SignedData) and certificates, over OpenSSL: decoding, the first
// signer's issuer and serial number, the message's certificate store, subject names in
// the X.500 form of CertNameToStrA, public-key information, signature verification,
// certificate comparison and the validity-period check. Messages and certificates are
// handed out in owners (CryptMessagePtr, CertificatePtr); a store is a vector of owners.
// Any thread; one object on one thread at a time.
#ifndef LUMORA_PLATFORM_CODESIGN_CRYPT_MESSAGE_H_
#define LUMORA_PLATFORM_CODESIGN_CRYPT_MESSAGE_H_

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "lumora/automation.h"

inline constexpr DWORD CERT_X500_NAME_STR = 3;
inline constexpr DWORD CERT_NAME_STR_NO_QUOTING_FLAG = 0x10000000;
inline constexpr DWORD CERT_NAME_STR_CRLF_FLAG = 0x08000000;
inline constexpr DWORD CERT_NAME_STR_REVERSE_FLAG = 0x02000000;

struct CryptMessage;      // a decoded SignedData message
struct CryptCertificate;  // one certificate

struct CryptMessageDeleter {
  void operator()(CryptMessage* message) const;
};
struct CryptCertificateDeleter {
  void operator()(CryptCertificate* certificate) const;
};
using CryptMessagePtr = std::unique_ptr<CryptMessage, CryptMessageDeleter>;
using CertificatePtr = std::unique_ptr<CryptCertificate, CryptCertificateDeleter>;
// The certificates a message carries, in store order.
using CertificateStore = std::vector<CertificatePtr>;

// The first signer's issuer (DER name) and serial number (DER integer).
struct CertIssuerSerial {
  std::vector<BYTE> issuer;
  std::vector<BYTE> serial;
};

// Decodes DER; CRYPT_E_ASN1_BADTAG for bytes that are no PKCS #7 message,
// CRYPT_E_UNEXPECTED_MSG_TYPE for a message that is not signed data.
HRESULT CryptMessageDecode(const BYTE* data, DWORD length, CryptMessagePtr* message);
// CRYPT_E_NOT_FOUND when the message has no signer.
HRESULT CryptMessageFirstSigner(const CryptMessage* message, CertIssuerSerial* signer);
CertificateStore CryptMessageCertificates(const CryptMessage* message);
// The certificate with this issuer and serial number in `store` (a new reference), or null.
CertificatePtr CertFindByIssuerSerial(const CertificateStore& store, const CertIssuerSerial& id);
// Verifies the first signer's signature with `signer`'s public key. `content` is the
// signed content: for an embedded SpcIndirectDataContent, null means its value bytes;
// for a detached message it must be given, or only the signed attributes are checked.
// S_OK; CRYPT_E_HASH_VALUE when the content's digest is not the signed one;
// NTE_BAD_SIGNATURE when the signature does not verify; NTE_BAD_ALGID for an unknown
// digest; E_FAIL when a part is missing.
HRESULT CryptMessageVerifySignature(const CryptMessage* message, const CryptCertificate* signer, const BYTE* content,
                                    size_t contentLength);
// The embedded content's type (dotted OID), empty without one.
std::string CryptMessageContentType(const CryptMessage* message);
// The embedded content's value bytes: for SpcIndirectDataContent its DER without the outer
// SEQUENCE tag and length, for data the octets; empty for a detached message. Valid while
// the message lives.
std::span<const BYTE> CryptMessageContentValue(const CryptMessage* message);
// The digest algorithm (dotted OID) of the first signer.
std::string CryptMessageDigestAlgorithm(const CryptMessage* message);
// The bytes the message was decoded from.
std::span<const BYTE> CryptMessageEncoded(const CryptMessage* message);

CertificatePtr CertDuplicate(const CryptCertificate* certificate);
// The subject name as CertNameToStrA formats it: relative distinguished names in their
// encoded order (CERT_NAME_STR_REVERSE_FLAG reverses them); X.500 keys CN, O, OU, L, S,
// C, E, ...; ", " between names, or "\r\n" with CERT_NAME_STR_CRLF_FLAG.
std::string CertNameToStr(const CryptCertificate* certificate, DWORD strType);
// DER SubjectPublicKeyInfo.
std::vector<BYTE> CertPublicKeyInfo(const CryptCertificate* certificate);
// True when issuer names and serial numbers are equal.
bool CertCompare(const CryptCertificate* a, const CryptCertificate* b);
// -1 before the validity period, 1 after it, 0 within it (now).
LONG CertVerifyTimeValidityNow(const CryptCertificate* certificate);
// For the trust decision: the OpenSSL objects behind the handles (owned by the handles).
struct x509_st* CertX509(const CryptCertificate* certificate);
struct pkcs7_st* MessagePkcs7(const CryptMessage* message);

#endif  // LUMORA_PLATFORM_CODESIGN_CRYPT_MESSAGE_H_
