// Hand-crafted signed files, made with OpenSSL from the fixtures' keys.
#include "tests/trust/crafted_signatures.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include "platform/codesign/openssl_owners.h"
#include "tests/trust/signature_fixture.h"

namespace lumora::testing {
namespace {

using openssl::BioPtr;
using openssl::BytesPtr;
using openssl::EvpMdCtxPtr;
using openssl::EvpPkeyPtr;
using openssl::Pkcs7Ptr;
using openssl::X509Ptr;
using openssl::X509StackPtr;

std::vector<BYTE> Sha256(const std::vector<std::pair<size_t, size_t>>& ranges, const std::vector<BYTE>& bytes) {
  const EvpMdCtxPtr context(EVP_MD_CTX_new());
  EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
  for (const auto& [from, to] : ranges) EVP_DigestUpdate(context.get(), bytes.data() + from, to - from);
  std::vector<BYTE> digest(32);
  unsigned int length = 0;
  EVP_DigestFinal_ex(context.get(), digest.data(), &length);
  return digest;
}

// The DER PKCS #7 at the start of `bytes` (trailing padding dropped).
std::vector<BYTE> LeadingPkcs7(const BYTE* bytes, size_t available) {
  const unsigned char* p = bytes;
  const Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, static_cast<long>(available)));
  EXPECT_TRUE(p7) << "no PKCS #7 where the signature should be";
  return p7 ? std::vector<BYTE>(bytes, p) : std::vector<BYTE>();
}

std::vector<BYTE> Encode(PKCS7* p7) {
  unsigned char* der = nullptr;
  const int length = i2d_PKCS7(p7, &der);
  const BytesPtr owner(der);
  return length > 0 ? std::vector<BYTE>(der, der + length) : std::vector<BYTE>();
}

EvpPkeyPtr ReadKey(const std::string& path) {
  const BioPtr bio(BIO_new_file(path.c_str(), "r"));
  EvpPkeyPtr key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
  EXPECT_TRUE(key) << path;
  return key;
}

// Signs the signer info's signed attributes anew (in their DER order).
void SignAttributes(PKCS7_SIGNER_INFO* signer, EVP_PKEY* key) {
  unsigned char* der = nullptr;
  const int length =
      ASN1_item_i2d(reinterpret_cast<ASN1_VALUE*>(signer->auth_attr), &der, ASN1_ITEM_rptr(PKCS7_ATTR_SIGN));
  const BytesPtr owner(der);
  const EvpMdCtxPtr context(EVP_MD_CTX_new());
  size_t signatureLength = 0;
  ASSERT_EQ(EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key), 1);
  ASSERT_EQ(EVP_DigestSign(context.get(), nullptr, &signatureLength, der, static_cast<size_t>(length)), 1);
  std::vector<unsigned char> signature(signatureLength);
  ASSERT_EQ(EVP_DigestSign(context.get(), signature.data(), &signatureLength, der, static_cast<size_t>(length)), 1);
  ASN1_STRING_set(signer->enc_digest, signature.data(), static_cast<int>(signatureLength));
}

void ReplaceAttribute(PKCS7_SIGNER_INFO* signer, int nid) {
  const int at = X509at_get_attr_by_NID(signer->auth_attr, nid, -1);
  if (at >= 0) X509_ATTRIBUTE_free(X509at_delete_attr(signer->auth_attr, at));
}

PKCS7_SIGNER_INFO* FirstSigner(PKCS7* p7) { return sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(p7), 0); }

}  // namespace

size_t PeOptionalHeader(const std::vector<BYTE>& pe) { return Le32(pe, 0x3C) + 24; }
size_t PeDirectory(const std::vector<BYTE>& pe) { return CertificateDirectory(pe); }

std::vector<BYTE> PeSignature(const std::vector<BYTE>& pe) {
  const size_t table = Le32(pe, PeDirectory(pe));
  return LeadingPkcs7(pe.data() + table + 8, Le32(pe, table) - 8);
}

std::vector<BYTE> CabinetSignature(const std::vector<BYTE>& cab) {
  const size_t offset = Le32(cab, 44);
  return LeadingPkcs7(cab.data() + offset, cab.size() - offset);
}

std::vector<BYTE> PeDigest(const std::vector<BYTE>& pe) {
  const size_t checksum = Le32(pe, 0x3C) + 88;
  const size_t directory = PeDirectory(pe);
  return Sha256({{0, checksum}, {checksum + 4, directory}, {directory + 8, Le32(pe, directory)}}, pe);
}

std::vector<BYTE> CabinetDigest(const std::vector<BYTE>& cab) {
  // All but reserved1, iCabinet, the reserve sizes, the signature's place in the reserve
  // and the signature itself; names of other cabinets and folder entries included.
  return Sha256({{0, 4}, {8, 34}, {56, Le32(cab, 44)}}, cab);
}

std::vector<BYTE> ResignAuthenticode(const std::vector<BYTE>& der, const std::string& keyPem,
                                     const std::vector<BYTE>& digest, const SignerEdit& edit) {
  const unsigned char* p = der.data();
  const Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, static_cast<long>(der.size())));
  if (!p7) {
    ADD_FAILURE() << "not a PKCS #7";
    return {};
  }
  // SpcIndirectDataContent ends with the DigestInfo's digest octets.
  ASN1_STRING* sequence = p7->d.sign->contents->d.other->value.sequence;
  std::vector<BYTE> content(ASN1_STRING_get0_data(sequence),
                            ASN1_STRING_get0_data(sequence) + ASN1_STRING_length(sequence));
  std::copy(digest.begin(), digest.end(), content.end() - static_cast<long>(digest.size()));
  ASN1_STRING_set(sequence, content.data(), static_cast<int>(content.size()));
  const unsigned char* inner = content.data();
  long valueLength = 0;
  int tag = 0;
  int xclass = 0;
  ASN1_get_object(&inner, &valueLength, &tag, &xclass, static_cast<long>(content.size()));
  std::vector<BYTE> valueDigest(32);
  unsigned int length = 0;
  EVP_Digest(inner, static_cast<size_t>(valueLength), valueDigest.data(), &length, EVP_sha256(), nullptr);
  PKCS7_SIGNER_INFO* signer = FirstSigner(p7.get());
  ReplaceAttribute(signer, NID_pkcs9_messageDigest);
  PKCS7_add1_attrib_digest(signer, valueDigest.data(), static_cast<int>(length));
  if (edit) edit(p7.get(), signer);
  SignAttributes(signer, ReadKey(keyPem).get());
  return Encode(p7.get());
}

std::vector<BYTE> WithPeSignature(std::vector<BYTE> pe, const std::vector<BYTE>& der) {
  const size_t directory = PeDirectory(pe);
  const size_t table = Le32(pe, directory);
  pe.resize(table);
  const size_t entry = (8 + der.size() + 7) & ~size_t{7};
  const std::vector<BYTE> header = {0, 0, 0, 0, 0x00, 0x02, 0x02, 0x00};
  pe.insert(pe.end(), header.begin(), header.end());
  PutLe32(pe, table, static_cast<uint32_t>(entry));
  pe.insert(pe.end(), der.begin(), der.end());
  pe.resize(table + entry, 0);
  PutLe32(pe, directory + 4, static_cast<uint32_t>(entry));
  return pe;
}

std::vector<BYTE> WithCabinetSignature(std::vector<BYTE> cab, const std::vector<BYTE>& der) {
  const size_t offset = Le32(cab, 44);
  cab.resize(offset);
  cab.insert(cab.end(), der.begin(), der.end());
  const size_t length = (der.size() + 7) & ~size_t{7};
  cab.resize(offset + length, 0);
  PutLe32(cab, 48, static_cast<uint32_t>(length));
  return cab;
}

std::vector<BYTE> SignElf(const std::vector<BYTE>& module, const std::string& leaf, const time_t* signingTime,
                          const SignerEdit& edit, bool withCertificates) {
  const BioPtr certBio(BIO_new_file(Fixture("pki/" + leaf + ".pem").c_str(), "r"));
  const X509Ptr cert(PEM_read_bio_X509(certBio.get(), nullptr, nullptr, nullptr));
  const EvpPkeyPtr key = ReadKey(Fixture("pki/" + leaf + ".key"));
  const X509StackPtr chain(sk_X509_new_null());
  const BioPtr chainBio(BIO_new_file(Fixture("pki/" + leaf + "-chain.pem").c_str(), "r"));
  while (X509* link = PEM_read_bio_X509(chainBio.get(), nullptr, nullptr, nullptr)) sk_X509_push(chain.get(), link);
  const int flags =
      PKCS7_DETACHED | PKCS7_BINARY | PKCS7_NOSMIMECAP | PKCS7_PARTIAL | (withCertificates ? 0 : PKCS7_NOCERTS);
  const Pkcs7Ptr p7(PKCS7_sign(cert.get(), key.get(), withCertificates ? chain.get() : nullptr, nullptr, flags));
  if (!p7) {
    ADD_FAILURE() << "PKCS7_sign failed";
    return {};
  }
  PKCS7_SIGNER_INFO* signer = FirstSigner(p7.get());
  if (signingTime != nullptr) {
    ASN1_TIME* time = ASN1_TIME_set(nullptr, *signingTime);
    PKCS7_add_signed_attribute(signer, NID_pkcs9_signingTime, time->type, time);
  }
  const BioPtr content(BIO_new_mem_buf(module.data(), static_cast<int>(module.size())));
  EXPECT_EQ(PKCS7_final(p7.get(), content.get(), flags), 1);
  if (edit) {
    edit(p7.get(), signer);
    SignAttributes(signer, key.get());
  }
  const std::vector<BYTE> der = Encode(p7.get());
  std::vector<BYTE> file = module;
  file.insert(file.end(), der.begin(), der.end());
  const auto length = static_cast<uint32_t>(der.size());
  const BYTE trailer[12] = {0,
                            0,
                            2,
                            0,
                            0,
                            0,
                            0,
                            0,
                            static_cast<BYTE>(length >> 24),
                            static_cast<BYTE>(length >> 16),
                            static_cast<BYTE>(length >> 8),
                            static_cast<BYTE>(length)};
  file.insert(file.end(), trailer, trailer + sizeof trailer);
  file.insert(file.end(), kModuleSignatureMagic, kModuleSignatureMagic + kModuleSignatureMagicLength);
  return file;
}

SignerEdit SetContentType(const char* oid, bool alsoContent) {
  return [oid, alsoContent](PKCS7* p7, PKCS7_SIGNER_INFO* signer) {
    ReplaceAttribute(signer, NID_pkcs9_contentType);
    PKCS7_add_signed_attribute(signer, NID_pkcs9_contentType, V_ASN1_OBJECT, OBJ_txt2obj(oid, 1));
    if (alsoContent) {
      PKCS7* contents = p7->d.sign->contents;
      ASN1_OBJECT_free(contents->type);
      contents->type = OBJ_txt2obj(oid, 1);
    }
  };
}

std::vector<Tampered> MakeResignedFiles(const std::string& folder) {
  std::vector<Tampered> made;
  auto add = [&](const std::string& name, const std::vector<BYTE>& bytes) {
    const std::string path = folder + "/" + name;
    Write(path, bytes);
    made.push_back({name, path});
  };
  const std::string key = Fixture("pki/alpha.key");
  const std::vector<BYTE> pe = Bytes(Fixture("pe/alpha.dll"));
  auto resignPe = [&](const std::vector<BYTE>& bytes, const SignerEdit& edit = {}) {
    return WithPeSignature(bytes, ResignAuthenticode(PeSignature(pe), key, PeDigest(bytes), edit));
  };
  add("pe-resigned.dll", resignPe(pe));
  const size_t sizeOfHeaders = PeOptionalHeader(pe) + 60;
  for (const auto& [name, value] : {std::pair<const char*, uint32_t>{"pe-headers-zero.dll", 0},
                                    {"pe-headers-past-file.dll", static_cast<uint32_t>(pe.size() + 4096)}}) {
    std::vector<BYTE> bytes = pe;
    PutLe32(bytes, sizeOfHeaders, value);
    add(name, resignPe(bytes));
  }
  add("pe-content-type-data.dll", resignPe(pe, SetContentType("1.2.840.113549.1.7.1", false)));

  const std::vector<BYTE> cab = Bytes(Fixture("cab/alpha.cab"));
  auto resignCab = [&](const std::vector<BYTE>& bytes) {
    return WithCabinetSignature(bytes, ResignAuthenticode(CabinetSignature(cab), key, CabinetDigest(bytes)));
  };
  add("cab-resigned.cab", resignCab(cab));
  // A cabinet that names a previous or next cabinet of a set: the names sit after the
  // reserve, and every offset behind them moves.
  for (const auto& [name, flag] :
       {std::pair<const char*, uint16_t>{"cab-previous.cab", 0x0001}, {"cab-next.cab", 0x0002}}) {
    std::vector<BYTE> bytes = cab;
    const std::string names("prev.cab\0disk 1\0", 16);
    const auto n = static_cast<uint32_t>(names.size());
    bytes.insert(bytes.begin() + 60, names.begin(), names.end());
    bytes[30] |= static_cast<BYTE>(flag);
    PutLe32(bytes, 8, Le32(cab, 8) + n);
    PutLe32(bytes, 16, Le32(cab, 16) + n);
    PutLe32(bytes, 44, Le32(cab, 44) + n);
    for (size_t folder = 0; folder < ReadLe16(cab, 26); ++folder) {
      const size_t at = 60 + n + 8 * folder;
      PutLe32(bytes, at, Le32(bytes, at) + n);
    }
    add(name, resignCab(bytes));
  }
  return made;
}

}  // namespace lumora::testing
