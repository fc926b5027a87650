// Fuzz target: decoding a signed message, formatting the subject names of the
// certificates it carries and verifying its signature never crash or leak.
#include <cstdlib>
#include <string>

#include "platform/codesign/crypt_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CryptMessagePtr message;
  if (FAILED(CryptMessageDecode(data, static_cast<DWORD>(size), &message))) return 0;
  CertIssuerSerial signer;
  CryptMessageFirstSigner(message.get(), &signer);
  const CertificateStore store = CryptMessageCertificates(message.get());
  for (const CertificatePtr& certificate : store) {
    // Values are not quoted, so an attribute may well hold line breaks of its own.
    CertNameToStr(certificate.get(), CERT_X500_NAME_STR | CERT_NAME_STR_NO_QUOTING_FLAG | CERT_NAME_STR_CRLF_FLAG);
    CertPublicKeyInfo(certificate.get());
  }
  if (const CertificatePtr found = CertFindByIssuerSerial(store, signer)) {
    CryptMessageVerifySignature(message.get(), found.get(), nullptr, 0);
  }
  CryptMessageContentType(message.get());
  CryptMessageDigestAlgorithm(message.get());
  return 0;
}
