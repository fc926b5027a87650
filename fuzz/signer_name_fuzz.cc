// Fuzz target: decoding a signed message, formatting the subject names of the
// certificates it carries and verifying its signature never crash or leak.
#include <cstdlib>
#include <string>

#include "platform/codesign/crypt_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CryptMessage* message = nullptr;
  if (FAILED(CryptMessageDecode(data, static_cast<DWORD>(size), &message))) return 0;
  CertIssuerSerial signer;
  CryptMessageFirstSigner(message, &signer);
  std::vector<CryptCertificate*> store = CryptMessageCertificates(message);
  for (CryptCertificate* certificate : store) {
    // Values are not quoted, so an attribute may well hold line breaks of its own.
    CertNameToStr(certificate, CERT_X500_NAME_STR | CERT_NAME_STR_NO_QUOTING_FLAG | CERT_NAME_STR_CRLF_FLAG);
    CertPublicKeyInfo(certificate);
  }
  CryptCertificate* found = CertFindByIssuerSerial(store, signer);
  if (found != nullptr) {
    CryptMessageVerifySignature(message, found, nullptr, 0);
    CertFree(found);
  }
  for (CryptCertificate* certificate : store) CertFree(certificate);
  CryptMessageClose(message);
  return 0;
}
