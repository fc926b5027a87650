// Certificate records for comparison.
#include "cert_container.h"

#include <algorithm>
#include <cstring>

#include "platform/codesign/image_certificates.h"

namespace lumora {

UCertContainer::UCertContainer(const std::vector<BYTE>& record) {
  ContainerCrypt32().Load();
  SetRecord(record);
}

UCertContainer::~UCertContainer() {
  if (m_signerCertificate != nullptr) DecoderCrypt32().Free(m_signerCertificate);
  m_decoder.reset();
  ContainerCrypt32().Free();
}

void UCertContainer::SetRecord(const std::vector<BYTE>& record) {
  if (record.size() < kWinCertificateHeader || (record[4] | record[5] << 8) != WIN_CERT_REVISION_2_0) return;
  m_record = record;
  m_hasRecord = true;
}

bool UCertContainer::Decode() {
  if (!m_hasRecord) return false;
  auto decoder = std::make_unique<DecodeSignedMessage>();
  DWORD length = 0;
  std::memcpy(&length, m_record.data(), sizeof length);
  length = std::min<DWORD>(length, static_cast<DWORD>(m_record.size()));
  if (length < kWinCertificateHeader ||
      FAILED(decoder->Decode(m_record.data() + kWinCertificateHeader, length - kWinCertificateHeader)) ||
      FAILED(decoder->GetSigner())) {
    return false;
  }
  m_publicKeyInfo = decoder->PublicKeyInfo();
  CryptCertificate* signer = decoder->FindSignerCertificate();
  if (signer == nullptr) return false;
  if (m_signerCertificate != nullptr) DecoderCrypt32().Free(m_signerCertificate);
  m_signerCertificate = signer;
  m_decoder = std::move(decoder);
  m_decoded = true;
  return true;
}

bool UCertContainer::Compare(const UCertContainer& a, const UCertContainer& b) const {
  if (!a.m_decoded || !b.m_decoded) return false;
  return ContainerCrypt32().Compare(a.m_signerCertificate, b.m_signerCertificate);
}

bool SameSigner(const std::vector<BYTE>& a, const std::vector<BYTE>& b) {
  UCertContainer first(a);
  UCertContainer second(b);
  if (!first.Decode() || !second.Decode()) return false;
  return first.Compare(first, second);
}

bool SignerCertificateTimeValid(const DecodeSignedMessage& message) {
  CryptCertificate* signer = message.FindSignerCertificate();
  if (signer == nullptr) return false;
  const bool valid = DecoderCrypt32().VerifyTimeValidity(signer) == 0;
  DecoderCrypt32().Free(signer);
  return valid;
}

}  // namespace lumora
