// The trust decision over OpenSSL.
#include "win_trust.h"

#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "openssl_owners.h"

namespace {

using lumora::openssl::EvpMdCtxPtr;
using lumora::openssl::X509BorrowedStackPtr;
using lumora::openssl::X509StoreCtxPtr;
using lumora::openssl::X509StorePtr;

constexpr const char* kSpcIndirectDataContent = "1.3.6.1.4.1.311.2.1.4";
constexpr const char* kPkcs7Data = "1.2.840.113549.1.7.1";

// One digest over several ranges of the file.
class Hasher {
 public:
  explicit Hasher(const EVP_MD* md) : m_context(EVP_MD_CTX_new()) {
    m_ok = m_context && EVP_DigestInit_ex(m_context.get(), md, nullptr) == 1;
  }
  void Add(FileBytes file, size_t from, size_t to) {
    if (from > to || to > file.size()) {
      m_ok = false;
      return;
    }
    if (m_ok && to > from) m_ok = EVP_DigestUpdate(m_context.get(), file.data() + from, to - from) == 1;
  }
  bool Finish(std::vector<BYTE>* digest) {
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!m_ok || EVP_DigestFinal_ex(m_context.get(), value, &length) != 1) return false;
    digest->assign(value, value + length);
    return true;
  }

 private:
  EvpMdCtxPtr m_context;
  bool m_ok = false;
};

bool IsWeakDigest(int nid) {
  return nid == NID_md2 || nid == NID_md4 || nid == NID_md5 || nid == NID_sha1 || nid == NID_md5_sha1 ||
         nid == NID_mdc2;
}

// The digest named by `name` (a dotted OID or a short name), or null when it is unknown
// or weak.
const EVP_MD* StrongDigest(const std::string& name) {
  const EVP_MD* md = EVP_get_digestbyname(name.c_str());
  if (md == nullptr) {
    const lumora::openssl::Asn1ObjectPtr object(OBJ_txt2obj(name.c_str(), 1));
    if (object) md = EVP_get_digestbyobj(object.get());
  }
  return md == nullptr || IsWeakDigest(EVP_MD_get_type(md)) ? nullptr : md;
}

std::string Dotted(const ASN1_OBJECT* object) {
  char dotted[128];
  return OBJ_obj2txt(dotted, sizeof dotted, object, 1) > 0 ? dotted : "";
}

// A walk over consecutive DER elements.
class DerReader {
 public:
  explicit DerReader(std::span<const BYTE> bytes) : m_at(bytes.data()), m_remaining(static_cast<long>(bytes.size())) {}
  // The next element, which must carry `tag`: its whole encoding and its content.
  bool Next(int tag, std::span<const BYTE>* content, std::span<const BYTE>* whole = nullptr) {
    const unsigned char* start = m_at;
    long length = 0;
    int found = 0;
    int xclass = 0;
    const int result = ASN1_get_object(&m_at, &length, &found, &xclass, m_remaining);
    if ((result & 0x80) != 0 || (result & 0x01) != 0 || found != tag || xclass != V_ASN1_UNIVERSAL ||
        length > m_remaining - (m_at - start)) {
      return false;
    }
    *content = {m_at, static_cast<size_t>(length)};
    m_at += length;
    if (whole != nullptr) *whole = {start, static_cast<size_t>(m_at - start)};
    m_remaining -= m_at - start;
    return true;
  }

 private:
  const unsigned char* m_at;
  long m_remaining;
};

std::string OidText(std::span<const BYTE> element) {
  const unsigned char* p = element.data();
  const lumora::openssl::Asn1ObjectPtr object(d2i_ASN1_OBJECT(nullptr, &p, static_cast<long>(element.size())));
  return object ? Dotted(object.get()) : "";
}

// SpcIndirectDataContent's value: SpcAttributeTypeAndOptionalValue { type, value }, then
// DigestInfo { AlgorithmIdentifier { OID, parameters }, OCTET STRING }. The attribute's type
// varies among real signing tools (some name the PE image data, some the individual
// code-signing purpose) and says nothing the digest does not, so it is only parsed.
struct IndirectData {
  std::string algorithm;
  std::span<const BYTE> digest;
};

bool ReadIndirectData(std::span<const BYTE> value, IndirectData* data) {
  DerReader content(value);
  std::span<const BYTE> attribute;
  std::span<const BYTE> digestInfo;
  if (!content.Next(V_ASN1_SEQUENCE, &attribute) || !content.Next(V_ASN1_SEQUENCE, &digestInfo)) return false;
  std::span<const BYTE> oid;
  std::span<const BYTE> oidElement;
  if (!DerReader(attribute).Next(V_ASN1_OBJECT, &oid, &oidElement)) return false;
  DerReader info(digestInfo);
  std::span<const BYTE> algorithm;
  if (!info.Next(V_ASN1_SEQUENCE, &algorithm) || !DerReader(algorithm).Next(V_ASN1_OBJECT, &oid, &oidElement) ||
      !info.Next(V_ASN1_OCTET_STRING, &data->digest)) {
    return false;
  }
  data->algorithm = OidText(oidElement);
  return true;
}

// The one value of the one signed attribute `nid`; null when there is none. A repeated
// attribute, or one with several values, is malformed.
const ASN1_TYPE* SignedAttribute(const PKCS7_SIGNER_INFO* info, int nid, bool* malformed) {
  const STACK_OF(X509_ATTRIBUTE)* attributes = info->auth_attr;
  const int at = X509at_get_attr_by_NID(attributes, nid, -1);
  if (at < 0) return nullptr;
  X509_ATTRIBUTE* attribute = X509at_get_attr(attributes, at);
  if (X509at_get_attr_by_NID(attributes, nid, at) >= 0 || X509_ATTRIBUTE_count(attribute) != 1) {
    *malformed = true;
    return nullptr;
  }
  return X509_ATTRIBUTE_get0_type(attribute, 0);
}

PKCS7_SIGNER_INFO* FirstSignerInfo(PKCS7* p7) {
  STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(p7);
  return signers != nullptr && sk_PKCS7_SIGNER_INFO_num(signers) > 0 ? sk_PKCS7_SIGNER_INFO_value(signers, 0) : nullptr;
}

// The signed attributes a signature of `contentType` must carry: the content type itself
// and the digest of the content, once each.
HRESULT CheckSignedAttributes(PKCS7* p7, const PKCS7_SIGNER_INFO* info) {
  if (info->auth_attr == nullptr || sk_X509_ATTRIBUTE_num(info->auth_attr) == 0) return TRUST_E_MALFORMED_SIGNATURE;
  bool malformed = false;
  const ASN1_TYPE* type = SignedAttribute(info, NID_pkcs9_contentType, &malformed);
  const ASN1_TYPE* digest = SignedAttribute(info, NID_pkcs9_messageDigest, &malformed);
  if (malformed || type == nullptr || type->type != V_ASN1_OBJECT || digest == nullptr ||
      digest->type != V_ASN1_OCTET_STRING || p7->d.sign->contents == nullptr ||
      OBJ_cmp(type->value.object, p7->d.sign->contents->type) != 0) {
    return TRUST_E_MALFORMED_SIGNATURE;
  }
  return S_OK;
}

// An ELF signature's signing time must lie within the signer certificate's validity.
HRESULT CheckSigningTime(const PKCS7_SIGNER_INFO* info, const X509* signer) {
  bool malformed = false;
  const ASN1_TYPE* time = SignedAttribute(info, NID_pkcs9_signingTime, &malformed);
  if (malformed || time == nullptr || (time->type != V_ASN1_UTCTIME && time->type != V_ASN1_GENERALIZEDTIME)) {
    return TRUST_E_TIME_STAMP;
  }
  const ASN1_TIME* signedAt = time->value.utctime;
  if (ASN1_TIME_check(signedAt) != 1 || ASN1_TIME_compare(signedAt, X509_get0_notBefore(signer)) < 0 ||
      ASN1_TIME_compare(signedAt, X509_get0_notAfter(signer)) > 0) {
    return TRUST_E_TIME_STAMP;
  }
  return S_OK;
}

bool AllowsCodeSigning(X509* certificate) {
  return (X509_get_extension_flags(certificate) & EXFLAG_XKUSAGE) == 0 ||
         (X509_get_extended_key_usage(certificate) & (XKU_CODE_SIGN | XKU_ANYEKU)) != 0;
}

bool SignedWithWeakDigest(const X509* certificate) {
  int digest = NID_undef;
  return X509_get_signature_info(const_cast<X509*>(certificate), &digest, nullptr, nullptr, nullptr) != 1 ||
         IsWeakDigest(digest);
}

// A revocation list covers only the issuer that made it: without one for an issuer there
// is nothing to check, and an old list still names what it revoked.
int ToleratingMissingLists(int ok, X509_STORE_CTX* context) {
  if (ok != 0) return ok;
  switch (X509_STORE_CTX_get_error(context)) {
    case X509_V_ERR_UNABLE_TO_GET_CRL:
    case X509_V_ERR_CRL_HAS_EXPIRED:
    case X509_V_ERR_CRL_NOT_YET_VALID:
      return 1;
    default:
      return 0;
  }
}

bool HoldsRevocationLists(X509_STORE* store) {
  STACK_OF(X509_OBJECT)* objects = X509_STORE_get0_objects(store);
  for (int i = 0; i < sk_X509_OBJECT_num(objects); ++i) {
    if (X509_OBJECT_get_type(sk_X509_OBJECT_value(objects, i)) == X509_LU_CRL) return true;
  }
  return false;
}

HRESULT ChainError(int error) {
  switch (error) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return CERT_E_EXPIRED;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
      return CERT_E_UNTRUSTEDROOT;
    case X509_V_ERR_CERT_REVOKED:
      return CERT_E_REVOKED;
    case X509_V_ERR_CRL_SIGNATURE_FAILURE:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CRL_SIGNATURE:
    case X509_V_ERR_UNABLE_TO_GET_CRL_ISSUER:
    case X509_V_ERR_ERROR_IN_CRL_LAST_UPDATE_FIELD:
    case X509_V_ERR_ERROR_IN_CRL_NEXT_UPDATE_FIELD:
    case X509_V_ERR_UNHANDLED_CRITICAL_CRL_EXTENSION:
    case X509_V_ERR_DIFFERENT_CRL_SCOPE:
      return CERT_E_REVOCATION_FAILURE;
    default:
      return CERT_E_CHAINING;
  }
}

HRESULT ChainVerdict(X509* leaf, STACK_OF(X509) * untrusted, const char* anchors) {
  const X509StorePtr store(X509_STORE_new());
  if (!store) return CERT_E_CHAINING;
  struct stat info {};
  if (anchors != nullptr && stat(anchors, &info) == 0) {
    // An anchors file that does not load trusts nothing; it never falls back to the system.
    if (X509_STORE_load_file(store.get(), anchors) != 1) return CERT_E_UNTRUSTEDROOT;
    if (HoldsRevocationLists(store.get())) {
      X509_STORE_set_flags(store.get(), X509_V_FLAG_CRL_CHECK | X509_V_FLAG_CRL_CHECK_ALL);
      X509_STORE_set_verify_cb(store.get(), ToleratingMissingLists);
    }
  } else {
    X509_STORE_set_default_paths(store.get());
  }
  const X509StoreCtxPtr context(X509_STORE_CTX_new());
  if (!context || X509_STORE_CTX_init(context.get(), store.get(), leaf, untrusted) != 1) return CERT_E_CHAINING;
  if (X509_verify_cert(context.get()) != 1) return ChainError(X509_STORE_CTX_get_error(context.get()));

  // The chain policy, on the chain that was built. The anchor's own signature is not what
  // makes it trusted, so only the certificates below it must be signed with a strong digest.
  STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(context.get());
  const int length = sk_X509_num(chain);
  for (int i = 0; i < length; ++i) {
    X509* certificate = sk_X509_value(chain, i);
    if (i + 1 < length && SignedWithWeakDigest(certificate)) return NTE_BAD_ALGID;
    if (!AllowsCodeSigning(certificate)) return CERT_E_WRONG_USAGE;
  }
  return CheckSignerCertificate(leaf);
}

enum class Subject { kCabinet, kImage };
enum class Form { kPe, kCabinet, kElf };

// Where the signature lies in the file, in the strict form.
struct Signature {
  Form form;
  FileBytes der;
  PeCertificate pe{};
  CabinetSignature cabinet{};
  ElfSignature elf{};
};

HRESULT LocateSignature(FileBytes file, Subject subject, Signature* signature) {
  HRESULT hr = S_OK;
  if (subject == Subject::kCabinet) {
    signature->form = Form::kCabinet;
    hr = ReadCabinetSignature(file, &signature->cabinet);
    signature->der = signature->cabinet.der;
  } else if (IsElfFile(file)) {
    signature->form = Form::kElf;
    hr = ReadElfSignature(file, &signature->elf);
    signature->der = signature->elf.der;
  } else {
    signature->form = Form::kPe;
    hr = ReadPeCertificate(file, &signature->pe);
    signature->der = signature->pe.der;
  }
  return hr;
}

// The file's digest: S_OK, or TRUST_E_MALFORMED_SIGNATURE when its form has none.
HRESULT Finished(Hasher& hasher, std::vector<BYTE>* digest) {
  return hasher.Finish(digest) ? S_OK : TRUST_E_MALFORMED_SIGNATURE;
}

HRESULT PeDigest(FileBytes file, const PeCertificate& pe, const EVP_MD* md, std::vector<BYTE>* digest) {
  Hasher hasher(md);
  hasher.Add(file, 0, pe.checksumOffset);
  hasher.Add(file, pe.checksumOffset + 4, pe.directoryOffset);
  hasher.Add(file, pe.directoryOffset + 8, pe.tableOffset);
  return Finished(hasher, digest);
}

HRESULT CabDigest(FileBytes file, const CabinetSignature& cabinet, const EVP_MD* md, std::vector<BYTE>* digest) {
  Hasher hasher(md);
  hasher.Add(file, 0, 4);    // signature
  hasher.Add(file, 8, 34);   // cbCabinet, reserved2, coffFiles, reserved3, versions, cFolders, cFiles, flags, setID
  hasher.Add(file, 56, 60);  // the reserve after its first 16 bytes
  // The strict form names no previous or next cabinet: the folder entries follow.
  const size_t folders = 60 + size_t{8} * cabinet.folderCount;
  if (folders != cabinet.firstFileOffset || folders > cabinet.signatureOffset) return TRUST_E_MALFORMED_SIGNATURE;
  hasher.Add(file, 60, cabinet.signatureOffset);
  return Finished(hasher, digest);
}

HRESULT ElfDigest(FileBytes file, const ElfSignature& elf, const EVP_MD* md, std::vector<BYTE>* digest) {
  Hasher hasher(md);
  hasher.Add(file, 0, elf.contentLength);
  return Finished(hasher, digest);
}

HRESULT Verify(FileBytes file, Subject subject, const CryptMessage* decoded, const char* anchors) {
  Signature signature{};
  HRESULT hr = LocateSignature(file, subject, &signature);
  if (FAILED(hr)) return hr;
  CryptMessagePtr owned;
  const CryptMessage* message = decoded;
  if (message == nullptr) {
    if (FAILED(CryptMessageDecode(signature.der.data(), static_cast<DWORD>(signature.der.size()), &owned))) {
      return TRUST_E_NOSIGNATURE;
    }
    message = owned.get();
  } else if (!std::ranges::equal(CryptMessageEncoded(message), signature.der)) {
    return TRUST_E_NOSIGNATURE;  // not this file's signature
  }
  PKCS7* p7 = MessagePkcs7(message);
  PKCS7_SIGNER_INFO* info = FirstSignerInfo(p7);
  if (info == nullptr) return TRUST_E_NOSIGNATURE;
  if (StrongDigest(CryptMessageDigestAlgorithm(message)) == nullptr) return NTE_BAD_ALGID;
  // Every digest algorithm the message announces must be one we know and accept.
  STACK_OF(X509_ALGOR)* announced = p7->d.sign->md_algs;
  for (int i = 0; announced != nullptr && i < sk_X509_ALGOR_num(announced); ++i) {
    if (StrongDigest(Dotted(sk_X509_ALGOR_value(announced, i)->algorithm)) == nullptr) return NTE_BAD_ALGID;
  }
  CertIssuerSerial signerId;
  if (FAILED(CryptMessageFirstSigner(message, &signerId))) return TRUST_E_NOSIGNATURE;
  const CertificateStore store = CryptMessageCertificates(message);
  const CertificatePtr signer = CertFindByIssuerSerial(store, signerId);
  if (!signer) return CRYPT_E_SIGNER_NOT_FOUND;

  hr = CheckSignedAttributes(p7, info);
  if (FAILED(hr)) return hr;
  const std::string contentType = CryptMessageContentType(message);
  const std::span<const BYTE> content = CryptMessageContentValue(message);
  if (signature.form == Form::kElf) {
    // A detached signature of data; the content is the module before the signature.
    if (contentType != kPkcs7Data || !content.empty()) return TRUST_E_MALFORMED_SIGNATURE;
    hr = CheckSigningTime(info, CertX509(signer.get()));
    if (FAILED(hr)) return hr;
    // The signature covers the signed attributes, one of which is the content's digest.
    hr = CryptMessageVerifySignature(message, signer.get(), nullptr, 0);
    if (hr == NTE_BAD_ALGID) return hr;
    if (FAILED(hr)) return TRUST_E_BAD_DIGEST;
    std::vector<BYTE> fileDigest;
    hr = ElfDigest(file, signature.elf, StrongDigest(CryptMessageDigestAlgorithm(message)), &fileDigest);
    if (FAILED(hr)) return hr;
    const ASN1_OCTET_STRING* signedDigest = PKCS7_digest_from_attributes(info->auth_attr);
    const std::span<const BYTE> expected(ASN1_STRING_get0_data(signedDigest),
                                         static_cast<size_t>(ASN1_STRING_length(signedDigest)));
    if (!std::ranges::equal(fileDigest, expected)) return CRYPT_E_HASH_VALUE;
  } else {
    IndirectData indirect;
    if (contentType != kSpcIndirectDataContent || content.empty() || !ReadIndirectData(content, &indirect)) {
      return TRUST_E_MALFORMED_SIGNATURE;
    }
    hr = CryptMessageVerifySignature(message, signer.get(), content.data(), content.size());
    if (hr == NTE_BAD_ALGID) return hr;
    if (FAILED(hr)) return TRUST_E_BAD_DIGEST;
    const EVP_MD* md = StrongDigest(indirect.algorithm);
    if (md == nullptr) return NTE_BAD_ALGID;
    std::vector<BYTE> fileDigest;
    hr = signature.form == Form::kPe ? PeDigest(file, signature.pe, md, &fileDigest)
                                     : CabDigest(file, signature.cabinet, md, &fileDigest);
    if (FAILED(hr)) return hr;
    if (!std::ranges::equal(fileDigest, indirect.digest)) return CRYPT_E_HASH_VALUE;
  }

  const X509BorrowedStackPtr untrusted(sk_X509_new_null());
  if (!untrusted) return CERT_E_CHAINING;
  for (const CertificatePtr& certificate : store) sk_X509_push(untrusted.get(), CertX509(certificate.get()));
  return ChainVerdict(CertX509(signer.get()), untrusted.get(), anchors);
}

}  // namespace

HRESULT CheckSignerCertificate(const x509_st* leaf) {
  auto* certificate = const_cast<X509*>(leaf);  // the extension cache is filled on first use
  const uint32_t flags = X509_get_extension_flags(certificate);
  if ((flags & EXFLAG_CA) != 0) return TRUST_E_BASIC_CONSTRAINTS;
  if ((flags & EXFLAG_KUSAGE) != 0 && (X509_get_key_usage(certificate) & KU_DIGITAL_SIGNATURE) == 0) {
    return CERT_E_WRONG_USAGE;
  }
  if (!AllowsCodeSigning(certificate)) return CERT_E_WRONG_USAGE;
  if ((flags & EXFLAG_SS) == 0 && SignedWithWeakDigest(certificate)) return NTE_BAD_ALGID;
  return S_OK;
}

bool PeImageDigest(FileBytes file, const std::string& digestName, std::vector<BYTE>* digest) {
  const EVP_MD* md = StrongDigest(digestName);
  PeCertificate pe{};
  return md != nullptr && SUCCEEDED(ReadPeCertificate(file, &pe)) && SUCCEEDED(PeDigest(file, pe, md, digest));
}

bool CabinetDigest(FileBytes file, const std::string& digestName, std::vector<BYTE>* digest) {
  const EVP_MD* md = StrongDigest(digestName);
  CabinetSignature cabinet{};
  return md != nullptr && SUCCEEDED(ReadCabinetSignature(file, &cabinet)) &&
         SUCCEEDED(CabDigest(file, cabinet, md, digest));
}

LONG WinVerifyTrust(void* /*hwnd*/, const GUID* actionId, WIN_TRUST_ACTDATA_CONTEXT_WITH_SUBJECT* data) {
  if (actionId == nullptr || *actionId != WIN_SPUB_ACTION_PUBLISHED_SOFTWARE_NOBADUI) return TRUST_E_ACTION_UNKNOWN;
  if (data == nullptr || data->SubjectType == nullptr || data->Subject == nullptr) return TRUST_E_SUBJECT_FORM_UNKNOWN;
  Subject subject;
  if (*data->SubjectType == WIN_TRUST_SUBJTYPE_CABINET) {
    subject = Subject::kCabinet;
  } else if (*data->SubjectType == WIN_TRUST_SUBJTYPE_PE_IMAGE) {
    subject = Subject::kImage;
  } else {
    return TRUST_E_SUBJECT_FORM_UNKNOWN;
  }
  return Verify(data->Subject->hFile, subject, data->hMessage, data->lpTrustAnchors);
}
