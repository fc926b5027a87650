// Signed messages and certificates over OpenSSL.
#include "crypt_message.h"

#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstring>

#include "openssl_owners.h"

using lumora::openssl::BytesPtr;
using lumora::openssl::EvpMdCtxPtr;
using lumora::openssl::Pkcs7Ptr;
using lumora::openssl::X509Ptr;

struct CryptMessage {
  Pkcs7Ptr p7;
  std::vector<BYTE> encoded;
};

struct CryptCertificate {
  X509Ptr x509;
};

void CryptMessageDeleter::operator()(CryptMessage* message) const { delete message; }
void CryptCertificateDeleter::operator()(CryptCertificate* certificate) const { delete certificate; }

namespace {

// A new owner of one more reference to `x509`.
CertificatePtr Reference(X509* x509) {
  X509_up_ref(x509);
  return CertificatePtr(new CryptCertificate{X509Ptr(x509)});
}

// The DER encoding of an OpenSSL object through its i2d function.
template <class T>
std::vector<BYTE> DerOf(const T* object, int (*encode)(const T*, unsigned char**)) {
  unsigned char* out = nullptr;
  const int length = encode(object, &out);
  const BytesPtr owner(out);
  std::vector<BYTE> bytes;
  if (length > 0) bytes.assign(out, out + length);
  return bytes;
}

std::vector<BYTE> Der(const X509_NAME* name) { return DerOf(name, i2d_X509_NAME); }
std::vector<BYTE> Der(const ASN1_INTEGER* serial) { return DerOf(serial, i2d_ASN1_INTEGER); }

PKCS7_SIGNER_INFO* FirstSignerInfo(const CryptMessage* message) {
  STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(message->p7.get());
  return signers != nullptr && sk_PKCS7_SIGNER_INFO_num(signers) > 0 ? sk_PKCS7_SIGNER_INFO_value(signers, 0) : nullptr;
}

const char* KeyOf(int nid) {
  switch (nid) {
    case NID_commonName:
      return "CN";
    case NID_localityName:
      return "L";
    case NID_organizationName:
      return "O";
    case NID_organizationalUnitName:
      return "OU";
    case NID_countryName:
      return "C";
    case NID_stateOrProvinceName:
      return "S";
    case NID_streetAddress:
      return "STREET";
    case NID_pkcs9_emailAddress:
      return "E";
    case NID_domainComponent:
      return "DC";
    case NID_title:
      return "T";
    case NID_givenName:
      return "G";
    case NID_initials:
      return "I";
    case NID_surname:
      return "SN";
    case NID_serialNumber:
      return "SERIALNUMBER";
    case NID_postalCode:
      return "PostalCode";
    default:
      return nullptr;
  }
}

std::string EntryText(const X509_NAME_ENTRY* entry) {
  const ASN1_OBJECT* object = X509_NAME_ENTRY_get_object(entry);
  std::string key;
  if (const char* known = KeyOf(OBJ_obj2nid(object))) {
    key = known;
  } else {
    char dotted[128];
    OBJ_obj2txt(dotted, sizeof dotted, object, 1);
    key = std::string("OID.") + dotted;
  }
  unsigned char* utf8 = nullptr;
  const int length = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(entry));
  const BytesPtr owner(utf8);
  const std::string value = length >= 0 ? std::string(reinterpret_cast<char*>(utf8), static_cast<size_t>(length)) : "";
  return key + "=" + value;
}

// The DER content of a TLV, without its tag and length.
std::span<const BYTE> ContentOf(const unsigned char* der, long length) {
  const unsigned char* p = der;
  long inner = 0;
  int tag = 0;
  int xclass = 0;
  const int result = ASN1_get_object(&p, &inner, &tag, &xclass, length);
  if ((result & 0x80) != 0 || inner > length - (p - der)) return {};
  return {p, static_cast<size_t>(inner)};
}

bool DigestEquals(const EVP_MD* md, const BYTE* content, size_t contentLength, const ASN1_OCTET_STRING* expected) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (expected == nullptr || EVP_Digest(content, contentLength, digest, &length, md, nullptr) != 1) return false;
  return static_cast<int>(length) == ASN1_STRING_length(expected) &&
         std::memcmp(digest, ASN1_STRING_get0_data(expected), length) == 0;
}

bool SignatureVerifies(EVP_PKEY* key, const EVP_MD* md, const unsigned char* data, size_t length,
                       const ASN1_OCTET_STRING* signature) {
  const EvpMdCtxPtr context(EVP_MD_CTX_new());
  return context && EVP_DigestVerifyInit(context.get(), nullptr, md, nullptr, key) == 1 &&
         EVP_DigestVerify(context.get(), ASN1_STRING_get0_data(signature),
                          static_cast<size_t>(ASN1_STRING_length(signature)), data, length) == 1;
}

}  // namespace

HRESULT CryptMessageDecode(const BYTE* data, DWORD length, CryptMessagePtr* message) {
  message->reset();
  const unsigned char* p = data;
  Pkcs7Ptr p7(data != nullptr ? d2i_PKCS7(nullptr, &p, static_cast<long>(length)) : nullptr);
  if (!p7) return CRYPT_E_ASN1_BADTAG;
  if (!PKCS7_type_is_signed(p7.get()) || p7->d.sign == nullptr) return CRYPT_E_UNEXPECTED_MSG_TYPE;
  message->reset(new CryptMessage{std::move(p7), std::vector<BYTE>(data, p)});
  return S_OK;
}

HRESULT CryptMessageFirstSigner(const CryptMessage* message, CertIssuerSerial* signer) {
  const PKCS7_SIGNER_INFO* info = FirstSignerInfo(message);
  if (info == nullptr || info->issuer_and_serial == nullptr) return CRYPT_E_NOT_FOUND;
  signer->issuer = Der(info->issuer_and_serial->issuer);
  signer->serial = Der(info->issuer_and_serial->serial);
  return S_OK;
}

CertificateStore CryptMessageCertificates(const CryptMessage* message) {
  CertificateStore certificates;
  STACK_OF(X509)* stack = message->p7->d.sign->cert;
  for (int i = 0; stack != nullptr && i < sk_X509_num(stack); ++i)
    certificates.push_back(Reference(sk_X509_value(stack, i)));
  return certificates;
}

CertificatePtr CertFindByIssuerSerial(const CertificateStore& store, const CertIssuerSerial& id) {
  for (const CertificatePtr& certificate : store) {
    if (Der(X509_get_issuer_name(certificate->x509.get())) == id.issuer &&
        Der(X509_get0_serialNumber(certificate->x509.get())) == id.serial) {
      return CertDuplicate(certificate.get());
    }
  }
  return nullptr;
}

std::string CryptMessageContentType(const CryptMessage* message) {
  const PKCS7* contents = message->p7->d.sign->contents;
  if (contents == nullptr || contents->type == nullptr) return {};
  char dotted[128];
  OBJ_obj2txt(dotted, sizeof dotted, contents->type, 1);
  return dotted;
}

std::span<const BYTE> CryptMessageContentValue(const CryptMessage* message) {
  const PKCS7* contents = message->p7->d.sign->contents;
  if (contents == nullptr) return {};
  if (PKCS7_type_is_data(contents)) {
    const ASN1_OCTET_STRING* data = contents->d.data;
    if (data == nullptr) return {};
    return {ASN1_STRING_get0_data(data), static_cast<size_t>(ASN1_STRING_length(data))};
  }
  const ASN1_TYPE* other = contents->d.other;
  if (other == nullptr || other->type != V_ASN1_SEQUENCE || other->value.sequence == nullptr) return {};
  return ContentOf(ASN1_STRING_get0_data(other->value.sequence), ASN1_STRING_length(other->value.sequence));
}

std::string CryptMessageDigestAlgorithm(const CryptMessage* message) {
  const PKCS7_SIGNER_INFO* info = FirstSignerInfo(message);
  if (info == nullptr || info->digest_alg == nullptr) return {};
  char dotted[128];
  OBJ_obj2txt(dotted, sizeof dotted, info->digest_alg->algorithm, 1);
  return dotted;
}

std::span<const BYTE> CryptMessageEncoded(const CryptMessage* message) { return message->encoded; }

HRESULT CryptMessageVerifySignature(const CryptMessage* message, const CryptCertificate* signer, const BYTE* content,
                                    size_t contentLength) {
  PKCS7_SIGNER_INFO* info = FirstSignerInfo(message);
  EVP_PKEY* key = signer != nullptr ? X509_get0_pubkey(signer->x509.get()) : nullptr;
  if (info == nullptr || key == nullptr || info->digest_alg == nullptr || info->enc_digest == nullptr) return E_FAIL;
  const EVP_MD* md = EVP_get_digestbyobj(info->digest_alg->algorithm);
  if (md == nullptr) return NTE_BAD_ALGID;
  if (content == nullptr) {
    const std::span<const BYTE> embedded = CryptMessageContentValue(message);
    if (!embedded.empty()) {
      content = embedded.data();
      contentLength = embedded.size();
    }
  }
  STACK_OF(X509_ATTRIBUTE)* attributes = info->auth_attr;
  if (attributes != nullptr && sk_X509_ATTRIBUTE_num(attributes) > 0) {
    // The signature covers the signed attributes; one of them is the content's digest.
    if (content != nullptr && !DigestEquals(md, content, contentLength, PKCS7_digest_from_attributes(attributes))) {
      return CRYPT_E_HASH_VALUE;
    }
    unsigned char* der = nullptr;
    const int length =
        ASN1_item_i2d(reinterpret_cast<ASN1_VALUE*>(attributes), &der, ASN1_ITEM_rptr(PKCS7_ATTR_VERIFY));
    const BytesPtr owner(der);
    return length > 0 && SignatureVerifies(key, md, der, static_cast<size_t>(length), info->enc_digest)
               ? S_OK
               : NTE_BAD_SIGNATURE;
  }
  if (content == nullptr) return E_FAIL;
  return SignatureVerifies(key, md, content, contentLength, info->enc_digest) ? S_OK : NTE_BAD_SIGNATURE;
}

CertificatePtr CertDuplicate(const CryptCertificate* certificate) { return Reference(certificate->x509.get()); }

std::string CertNameToStr(const CryptCertificate* certificate, DWORD strType) {
  const X509_NAME* name = X509_get_subject_name(certificate->x509.get());
  const int count = X509_NAME_entry_count(name);
  // Group the entries into their relative distinguished names, in encoded order.
  std::vector<std::string> rdns;
  int currentSet = -1;
  for (int i = 0; i < count; ++i) {
    const X509_NAME_ENTRY* entry = X509_NAME_get_entry(name, i);
    const int set = X509_NAME_ENTRY_set(entry);
    if (set != currentSet || rdns.empty()) {
      rdns.push_back(EntryText(entry));
      currentSet = set;
    } else {
      rdns.back() += " + " + EntryText(entry);
    }
  }
  if ((strType & CERT_NAME_STR_REVERSE_FLAG) != 0) std::reverse(rdns.begin(), rdns.end());
  const char* separator = (strType & CERT_NAME_STR_CRLF_FLAG) != 0 ? "\r\n" : ", ";
  std::string text;
  for (size_t i = 0; i < rdns.size(); ++i) {
    if (i > 0) text += separator;
    text += rdns[i];
  }
  return text;
}

std::vector<BYTE> CertPublicKeyInfo(const CryptCertificate* certificate) {
  return DerOf(X509_get_X509_PUBKEY(certificate->x509.get()), i2d_X509_PUBKEY);
}

bool CertCompare(const CryptCertificate* a, const CryptCertificate* b) {
  return a != nullptr && b != nullptr &&
         X509_NAME_cmp(X509_get_issuer_name(a->x509.get()), X509_get_issuer_name(b->x509.get())) == 0 &&
         ASN1_INTEGER_cmp(X509_get0_serialNumber(a->x509.get()), X509_get0_serialNumber(b->x509.get())) == 0;
}

LONG CertVerifyTimeValidityNow(const CryptCertificate* certificate) {
  if (X509_cmp_current_time(X509_get0_notBefore(certificate->x509.get())) > 0) return -1;
  if (X509_cmp_current_time(X509_get0_notAfter(certificate->x509.get())) < 0) return 1;
  return 0;
}

x509_st* CertX509(const CryptCertificate* certificate) { return certificate->x509.get(); }
pkcs7_st* MessagePkcs7(const CryptMessage* message) { return message->p7.get(); }
