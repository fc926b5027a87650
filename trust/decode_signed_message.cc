// Decoding a signed message and naming its signer.
#include "decode_signed_message.h"

namespace lumora {

DecodeSignedMessage::DecodeSignedMessage() { DecoderCrypt32().Load(); }

DecodeSignedMessage::~DecodeSignedMessage() {
  UCrypt32& crypt32 = DecoderCrypt32();
  for (CryptCertificate* certificate : m_store) crypt32.Free(certificate);
  if (m_message != nullptr) crypt32.MessageClose(m_message);
  crypt32.Free();
}

HRESULT DecodeSignedMessage::Decode(const BYTE* data, DWORD length) {
  if (m_message != nullptr) DecoderCrypt32().MessageClose(m_message);
  m_message = nullptr;
  return DecoderCrypt32().MessageDecode(data, length, &m_message);
}

HRESULT DecodeSignedMessage::GetSigner() {
  if (m_message == nullptr) return E_FAIL;
  UCrypt32& crypt32 = DecoderCrypt32();
  auto signer = std::make_unique<CertIssuerSerial>();
  const HRESULT hr = crypt32.MessageFirstSigner(m_message, signer.get());
  if (FAILED(hr)) return hr;
  m_signerId = std::move(signer);
  for (CryptCertificate* certificate : m_store) crypt32.Free(certificate);
  m_store = crypt32.MessageCertificates(m_message);
  // The name comes from the signer's own certificate: its CN, or without one the first
  // line of its subject. Other certificates of the message cannot lend it a name, so no
  // signer can put a certificate with another company's name beside its own.
  CryptCertificate* signerCertificate = crypt32.FindByIssuerSerial(m_store, *m_signerId);
  if (signerCertificate != nullptr) {
    const std::string name = crypt32.NameToStr(
        signerCertificate, CERT_X500_NAME_STR | CERT_NAME_STR_NO_QUOTING_FLAG | CERT_NAME_STR_CRLF_FLAG);
    if (name.size() >= 2) {
      m_publicKeyInfo = crypt32.PublicKeyInfo(signerCertificate);
      const size_t cn = name.find("CN=");
      const size_t start = cn == std::string::npos ? 0 : cn + 3;
      m_signerName = name.substr(start, name.find('\r', start) - start);
    }
    crypt32.Free(signerCertificate);
  }
  return S_OK;
}

CryptCertificate* DecodeSignedMessage::FindSignerCertificate() const {
  if (!m_signerId) return nullptr;
  return DecoderCrypt32().FindByIssuerSerial(m_store, *m_signerId);
}

HRESULT DecodeSignedMessage::VerifySignature() {
  CryptCertificate* signer = FindSignerCertificate();
  if (signer == nullptr) return E_FAIL;
  const HRESULT hr = DecoderCrypt32().VerifySignature(m_message, signer);
  DecoderCrypt32().Free(signer);
  return SUCCEEDED(hr) ? S_OK : E_FAIL;
}

}  // namespace lumora
