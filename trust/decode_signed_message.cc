// Decoding a signed message and naming its signer.
#include "decode_signed_message.h"

namespace lumora {

DecodeSignedMessage::DecodeSignedMessage() { DecoderCrypt32().Load(); }

DecodeSignedMessage::~DecodeSignedMessage() {
  m_store.clear();
  m_message.reset();
  DecoderCrypt32().Free();
}

HRESULT DecodeSignedMessage::Decode(const BYTE* data, DWORD length) {
  m_message.reset();
  return DecoderCrypt32().MessageDecode(data, length, &m_message);
}

HRESULT DecodeSignedMessage::GetSigner() {
  if (!m_message) return E_FAIL;
  const UCrypt32& crypt32 = DecoderCrypt32();
  auto signer = std::make_unique<CertIssuerSerial>();
  const HRESULT hr = crypt32.MessageFirstSigner(m_message.get(), signer.get());
  if (FAILED(hr)) return hr;
  m_signerId = std::move(signer);
  m_store = crypt32.MessageCertificates(m_message.get());
  // The name comes from the signer's own certificate: its CN, or without one the first
  // line of its subject. Other certificates of the message cannot lend it a name, so no
  // signer can put a certificate with another company's name beside its own.
  const CertificatePtr signerCertificate = crypt32.FindByIssuerSerial(m_store, *m_signerId);
  if (signerCertificate) {
    const std::string name = crypt32.NameToStr(
        signerCertificate.get(), CERT_X500_NAME_STR | CERT_NAME_STR_NO_QUOTING_FLAG | CERT_NAME_STR_CRLF_FLAG);
    if (name.size() >= 2) {
      m_publicKeyInfo = crypt32.PublicKeyInfo(signerCertificate.get());
      const size_t cn = name.find("CN=");
      const size_t start = cn == std::string::npos ? 0 : cn + 3;
      m_signerName = name.substr(start, name.find('\r', start) - start);
    }
  }
  return S_OK;
}

CertificatePtr DecodeSignedMessage::FindSignerCertificate() const {
  if (!m_signerId) return nullptr;
  return DecoderCrypt32().FindByIssuerSerial(m_store, *m_signerId);
}

HRESULT DecodeSignedMessage::VerifySignature() {
  const CertificatePtr signer = FindSignerCertificate();
  if (!signer) return E_FAIL;
  return SUCCEEDED(DecoderCrypt32().VerifySignature(m_message.get(), signer.get())) ? S_OK : E_FAIL;
}

}  // namespace lumora
