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
#include <memory>

#include "crypt_message.h"
#include "image_certificates.h"
#include "lumora/utf.h"

namespace {

constexpr const char* kSpcIndirectDataContent = "1.3.6.1.4.1.311.2.1.4";

class Hasher {
 public:
  explicit Hasher(const EVP_MD* md) : m_context(EVP_MD_CTX_new()) {
    m_ok = m_context && EVP_DigestInit_ex(m_context, md, nullptr) == 1;
  }
  ~Hasher() { EVP_MD_CTX_free(m_context); }
  Hasher(const Hasher&) = delete;
  Hasher& operator=(const Hasher&) = delete;
  void Add(FileBytes file, size_t from, size_t to) {
    if (from > to || to > file.size()) {
      m_ok = false;
      return;
    }
    if (m_ok && to > from) m_ok = EVP_DigestUpdate(m_context, file.data() + from, to - from) == 1;
  }
  bool Finish(std::vector<BYTE>* digest) {
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!m_ok || EVP_DigestFinal_ex(m_context, value, &length) != 1) return false;
    digest->assign(value, value + length);
    return true;
  }

 private:
  EVP_MD_CTX* m_context;
  bool m_ok = false;
};

const EVP_MD* StrongDigest(const std::string& name) {
  const EVP_MD* md = EVP_get_digestbyname(name.c_str());
  if (md == nullptr) {
    ASN1_OBJECT* object = OBJ_txt2obj(name.c_str(), 1);
    if (object != nullptr) md = EVP_get_digestbyobj(object);
    ASN1_OBJECT_free(object);
  }
  if (md == nullptr) return nullptr;
  const int nid = EVP_MD_get_type(md);
  return nid == NID_md5 || nid == NID_sha1 || nid == NID_md5_sha1 ? nullptr : md;
}

// The next TLV of `data`: its content and the rest after it.
bool NextElement(const unsigned char*& data, long& remaining, const unsigned char** content, long* length,
                 const unsigned char** element = nullptr, long* elementLength = nullptr) {
  const unsigned char* start = data;
  int tag = 0;
  int xclass = 0;
  const int result = ASN1_get_object(&data, length, &tag, &xclass, remaining);
  if ((result & 0x80) != 0 || *length > remaining - (data - start)) return false;
  *content = data;
  data += *length;
  if (element != nullptr) {
    *element = start;
    *elementLength = data - start;
  }
  remaining -= data - start;
  return true;
}

// SpcIndirectDataContent value: SpcAttributeTypeAndOptionalValue, then DigestInfo
// { AlgorithmIdentifier { OID, parameters }, OCTET STRING }.
bool IndirectDigest(const std::vector<BYTE>& value, std::string* algorithm, std::vector<BYTE>* digest) {
  const unsigned char* p = value.data();
  long remaining = static_cast<long>(value.size());
  const unsigned char* content = nullptr;
  long length = 0;
  if (!NextElement(p, remaining, &content, &length)) return false;  // the attribute
  if (!NextElement(p, remaining, &content, &length)) return false;  // DigestInfo
  const unsigned char* info = content;
  long infoRemaining = length;
  const unsigned char* algorithmContent = nullptr;
  long algorithmLength = 0;
  if (!NextElement(info, infoRemaining, &algorithmContent, &algorithmLength)) return false;
  const unsigned char* oidElement = nullptr;
  long oidLength = 0;
  const unsigned char* oidContent = nullptr;
  long oidContentLength = 0;
  const unsigned char* inner = algorithmContent;
  long innerRemaining = algorithmLength;
  if (!NextElement(inner, innerRemaining, &oidContent, &oidContentLength, &oidElement, &oidLength)) return false;
  ASN1_OBJECT* object = d2i_ASN1_OBJECT(nullptr, &oidElement, oidLength);
  if (object == nullptr) return false;
  char dotted[128];
  OBJ_obj2txt(dotted, sizeof dotted, object, 1);
  ASN1_OBJECT_free(object);
  *algorithm = dotted;
  const unsigned char* octets = nullptr;
  long octetLength = 0;
  if (!NextElement(info, infoRemaining, &octets, &octetLength)) return false;
  digest->assign(octets, octets + octetLength);
  return true;
}

HRESULT ChainVerdict(X509* leaf, STACK_OF(X509) * untrusted, const char* anchors) {
  std::unique_ptr<X509_STORE, decltype(&X509_STORE_free)> store(X509_STORE_new(), X509_STORE_free);
  struct stat info {};
  if (anchors != nullptr && stat(anchors, &info) == 0) {
    if (X509_STORE_load_file(store.get(), anchors) != 1) return CERT_E_UNTRUSTEDROOT;
  } else {
    X509_STORE_set_default_paths(store.get());
  }
  std::unique_ptr<X509_STORE_CTX, decltype(&X509_STORE_CTX_free)> context(X509_STORE_CTX_new(), X509_STORE_CTX_free);
  if (!context || X509_STORE_CTX_init(context.get(), store.get(), leaf, untrusted) != 1) return CERT_E_CHAINING;
  if (X509_verify_cert(context.get()) != 1) {
    switch (X509_STORE_CTX_get_error(context.get())) {
      case X509_V_ERR_CERT_HAS_EXPIRED:
      case X509_V_ERR_CERT_NOT_YET_VALID:
        return CERT_E_EXPIRED;
      case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
      case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
      case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
      case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        return CERT_E_UNTRUSTEDROOT;
      default:
        return CERT_E_CHAINING;
    }
  }
  // A leaf that names its extended key usages must name code signing.
  if ((X509_get_extension_flags(leaf) & EXFLAG_XKUSAGE) != 0 &&
      (X509_get_extended_key_usage(leaf) & XKU_CODE_SIGN) == 0) {
    return CERT_E_WRONG_USAGE;
  }
  return S_OK;
}

enum class Subject { kCabinet, kImage };

HRESULT Verify(FileBytes file, Subject subject, const char* anchors) {
  std::vector<BYTE> record;
  size_t detachedLength = 0;
  bool elf = false;
  std::optional<PeCertificates> pe;
  if (subject == Subject::kCabinet) {
    auto cabinet = ReadCabinetRecord(file);
    if (!cabinet) return TRUST_E_NOSIGNATURE;
    record = std::move(*cabinet);
  } else if (IsElfFile(file)) {
    auto signature = ReadElfSignature(file);
    if (!signature) return TRUST_E_NOSIGNATURE;
    record = std::move(signature->record);
    detachedLength = signature->contentLength;
    elf = true;
  } else {
    pe = ReadPeCertificates(file);
    if (!pe || pe->records.empty()) return TRUST_E_NOSIGNATURE;
    record = pe->records.front();
  }
  CryptMessage* raw = nullptr;
  if (FAILED(CryptMessageDecode(record.data() + kWinCertificateHeader,
                                static_cast<DWORD>(record.size() - kWinCertificateHeader), &raw))) {
    return TRUST_E_NOSIGNATURE;
  }
  std::unique_ptr<CryptMessage, decltype(&CryptMessageClose)> message(raw, CryptMessageClose);
  if (StrongDigest(CryptMessageDigestAlgorithm(message.get())) == nullptr) return TRUST_E_BAD_DIGEST;
  // Every digest algorithm the message announces must be one we know and accept.
  STACK_OF(X509_ALGOR)* announced = MessagePkcs7(message.get())->d.sign->md_algs;
  for (int i = 0; announced != nullptr && i < sk_X509_ALGOR_num(announced); ++i) {
    char dotted[128];
    OBJ_obj2txt(dotted, sizeof dotted, sk_X509_ALGOR_value(announced, i)->algorithm, 1);
    if (StrongDigest(dotted) == nullptr) return TRUST_E_BAD_DIGEST;
  }
  CertIssuerSerial signerId;
  if (FAILED(CryptMessageFirstSigner(message.get(), &signerId))) return TRUST_E_NOSIGNATURE;
  std::vector<CryptCertificate*> store = CryptMessageCertificates(message.get());
  CryptCertificate* signer = CertFindByIssuerSerial(store, signerId);
  HRESULT verdict = S_OK;
  if (signer == nullptr) {
    verdict = TRUST_E_NOSIGNATURE;
  } else if (elf) {
    // The detached content is the signed content: its digest is checked with the signature.
    if (!CryptMessageContentValue(message.get()).empty() ||
        FAILED(CryptMessageVerifySignature(message.get(), signer, file.data(), detachedLength))) {
      verdict = TRUST_E_BAD_DIGEST;
    }
  } else {
    std::string algorithm;
    std::vector<BYTE> signedDigest;
    std::vector<BYTE> fileDigest;
    const std::vector<BYTE> content = CryptMessageContentValue(message.get());
    if (CryptMessageContentType(message.get()) != kSpcIndirectDataContent ||
        FAILED(CryptMessageVerifySignature(message.get(), signer, content.data(), content.size())) ||
        !IndirectDigest(content, &algorithm, &signedDigest) || StrongDigest(algorithm) == nullptr) {
      verdict = TRUST_E_BAD_DIGEST;
    } else {
      const bool computed = subject == Subject::kCabinet ? CabinetDigest(file, algorithm, &fileDigest)
                                                         : PeImageDigest(file, algorithm, &fileDigest);
      if (!computed || fileDigest != signedDigest) verdict = TRUST_E_BAD_DIGEST;
    }
  }
  if (verdict == S_OK) {
    STACK_OF(X509)* untrusted = sk_X509_new_null();
    for (CryptCertificate* certificate : store) sk_X509_push(untrusted, CertX509(certificate));
    verdict = ChainVerdict(CertX509(signer), untrusted, anchors);
    sk_X509_free(untrusted);
  }
  CertFree(signer);
  for (CryptCertificate* certificate : store) CertFree(certificate);
  return verdict;
}

}  // namespace

bool PeImageDigest(FileBytes file, const std::string& digestName, std::vector<BYTE>* digest) {
  const EVP_MD* md = StrongDigest(digestName);
  const std::optional<PeCertificates> table = ReadPeCertificates(file);
  if (md == nullptr || !table) return false;
  Hasher hasher(md);
  hasher.Add(file, 0, table->checksumOffset);
  hasher.Add(file, table->checksumOffset + 4, table->directoryOffset);
  hasher.Add(file, table->directoryOffset + 8, table->tableOffset);
  return hasher.Finish(digest);
}

bool CabinetDigest(FileBytes file, const std::string& digestName, std::vector<BYTE>* digest) {
  const EVP_MD* md = StrongDigest(digestName);
  if (md == nullptr || file.size() < 60 || std::memcmp(file.data(), "MSCF", 4) != 0) return false;
  const size_t signatureOffset = ReadLe32(file, 8);
  const size_t firstFile = ReadLe32(file, 16);
  const uint16_t folders = ReadLe16(file, 26);
  const uint16_t flags = ReadLe16(file, 30);
  constexpr uint16_t kPreviousCabinet = 0x0001;
  constexpr uint16_t kNextCabinet = 0x0002;
  constexpr uint16_t kReservePresent = 0x0004;
  // A signed cabinet has the header reserve, 20 bytes starting with 0x00100000, holding
  // the signature's offset and length; the signature ends the file.
  if ((flags & kReservePresent) == 0 || ReadLe16(file, 36) != 20 || ReadLe32(file, 40) != 0x00100000 ||
      ReadLe32(file, 44) != signatureOffset ||
      static_cast<size_t>(ReadLe32(file, 44)) + ReadLe32(file, 48) != file.size() || signatureOffset > file.size()) {
    return false;
  }
  Hasher hasher(md);
  hasher.Add(file, 0, 4);    // signature
  hasher.Add(file, 8, 34);   // cbCabinet, reserved2, coffFiles, reserved3, versions, cFolders, cFiles, flags, setID
  hasher.Add(file, 56, 60);  // the reserve after its first 16 bytes
  size_t at = 60;
  auto hashName = [&]() {
    const size_t start = at;
    while (at < file.size() && file[at] != 0) ++at;
    if (at < file.size()) ++at;
    hasher.Add(file, start, at);
  };
  if (flags & kPreviousCabinet) {
    hashName();
    hashName();
  }
  if (flags & kNextCabinet) {
    hashName();
    hashName();
  }
  for (uint16_t i = 0; i < folders; ++i) {
    hasher.Add(file, at, at + 8);
    at += 8;
  }
  if (at != firstFile) return false;
  hasher.Add(file, at, signatureOffset);
  return hasher.Finish(digest);
}

LONG WinVerifyTrust(void* /*hwnd*/, const GUID* actionId, WIN_TRUST_ACTDATA_CONTEXT_WITH_SUBJECT* data) {
  if (actionId == nullptr || *actionId != WIN_SPUB_ACTION_PUBLISHED_SOFTWARE_NOBADUI) return TRUST_E_ACTION_UNKNOWN;
  if (data == nullptr || data->SubjectType == nullptr || data->Subject == nullptr || data->Subject->lpPath == nullptr) {
    return TRUST_E_SUBJECT_FORM_UNKNOWN;
  }
  Subject subject;
  if (*data->SubjectType == WIN_TRUST_SUBJTYPE_CABINET) {
    subject = Subject::kCabinet;
  } else if (*data->SubjectType == WIN_TRUST_SUBJTYPE_PE_IMAGE) {
    subject = Subject::kImage;
  } else {
    return TRUST_E_SUBJECT_FORM_UNKNOWN;
  }
  std::vector<BYTE> file;
  if (!ReadWholeFile(lumora::Utf16ToUtf8(data->Subject->lpPath), &file)) return TRUST_E_SUBJECT_NOT_TRUSTED;
  return Verify(file, subject, data->lpTrustAnchors);
}
