// DecodeSignedMessage: decodes one PKCS #7 signed message, finds its first signer and the
// signer name, and verifies the signature with the signer's own certificate. Owns the
// message, its certificate store, the signer identifier and a copy of the public-key
// information. Loads CRYPT32 (the decoder's wrapper) while it lives. Calling thread only.
#ifndef LUMORA_TRUST_DECODE_SIGNED_MESSAGE_H_
#define LUMORA_TRUST_DECODE_SIGNED_MESSAGE_H_

#include <memory>
#include <string>
#include <vector>

#include "system_wrappers.h"

namespace lumora {

class DecodeSignedMessage {
 public:
  DecodeSignedMessage();
  virtual ~DecodeSignedMessage();
  DecodeSignedMessage(const DecodeSignedMessage&) = delete;
  DecodeSignedMessage& operator=(const DecodeSignedMessage&) = delete;

  // CRYPT_E_UNEXPECTED_MSG_TYPE for a message that is not signed data.
  HRESULT Decode(const BYTE* data, DWORD length);
  // The first signer's identifier, the message store, and the signer name: the CN of the
  // signer's certificate, else the first line of its subject (empty without that
  // certificate).
  HRESULT GetSigner();
  // S_OK when the signer's certificate is in the store and verifies the signature.
  HRESULT VerifySignature();

  const std::string& SignerName() const { return m_signerName; }
  const CertificateStore& MessageStore() const { return m_store; }
  const std::vector<BYTE>& PublicKeyInfo() const { return m_publicKeyInfo; }
  // The decoded message (null before a successful Decode), for the trust decision on the
  // same bytes.
  const CryptMessage* Message() const { return m_message.get(); }
  // The signer's certificate in the store (a new reference), or null.
  CertificatePtr FindSignerCertificate() const;

 private:
  CryptMessagePtr m_message;
  CertificateStore m_store;
  std::string m_signerName;
  std::unique_ptr<CertIssuerSerial> m_signerId;
  std::vector<BYTE> m_publicKeyInfo;
};

}  // namespace lumora

#endif  // LUMORA_TRUST_DECODE_SIGNED_MESSAGE_H_
