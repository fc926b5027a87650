// Certificate records for comparison.
#include "cert_container.h"

#include <algorithm>

#include "platform/codesign/image_certificates.h"

namespace lumora {

UCertContainer::UCertContainer(const std::vector<BYTE>& record) {
  ContainerCrypt32().Load();
  SetRecord(record);
}

UCertContainer::~UCertContainer() {
  m_signerCertificate.reset();
  m_decoder.reset();
  ContainerCrypt32().Free();
}

void UCertContainer::SetRecord(const std::vector<BYTE>& record) {
  if (record.size() < kWinCertificateHeader || ReadLe16(record, 4) != WIN_CERT_REVISION_2_0) return;
  m_record = record;
  m_hasRecord = true;
}

bool UCertContainer::Decode() {
  if (!m_hasRecord) return false;
  auto decoder = std::make_unique<DecodeSignedMessage>();
  const size_t length = std::min<size_t>(ReadLe32(m_record, 0), m_record.size());
  if (length < kWinCertificateHeader ||
      FAILED(decoder->Decode(m_record.data() + kWinCertificateHeader,
                             static_cast<DWORD>(length - kWinCertificateHeader))) ||
      FAILED(decoder->GetSigner())) {
    return false;
  }
  m_publicKeyInfo = decoder->PublicKeyInfo();
  CertificatePtr signer = decoder->FindSignerCertificate();
  if (!signer) return false;
  m_signerCertificate = std::move(signer);
  m_decoder = std::move(decoder);
  m_decoded = true;
  return true;
}

bool UCertContainer::Compare(const UCertContainer& a, const UCertContainer& b) const {
  if (!a.m_decoded || !b.m_decoded) return false;
  return ContainerCrypt32().Compare(a.m_signerCertificate.get(), b.m_signerCertificate.get());
}

bool SameSigner(const std::vector<BYTE>& a, const std::vector<BYTE>& b) {
  UCertContainer first(a);
  UCertContainer second(b);
  if (!first.Decode() || !second.Decode()) return false;
  return first.Compare(first, second);
}

bool SignerCertificateTimeValid(const DecodeSignedMessage& message) {
  const CertificatePtr signer = message.FindSignerCertificate();
  return signer && DecoderCrypt32().VerifyTimeValidity(signer.get()) == 0;
}

}  // namespace lumora
