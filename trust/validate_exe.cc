// One file's code signature, step by step.
#include "validate_exe.h"

#include <algorithm>
#include <cstring>

#include "common/settings_client.h"
#include "decode_signed_message.h"
#include "lumora/trace.h"
#include "lumora/utf.h"
#include "platform/codesign/win_trust.h"
#include "system_wrappers.h"
#include "verdict_cache.h"

namespace lumora {
namespace {

// The last error of a failed platform call as a result code (some calls leave one there).
HRESULT LastErrorResult() { return HRESULT_FROM_WIN32(GetLastError()); }

struct TrustLibrary {
  void operator()(void* module) const { FreeSystemLibrary(module); }
};

}  // namespace

ValidateExe::ValidateExe() { Imagehlp().Load(); }

ValidateExe::ValidateExe(std::string path) : ValidateExe() { SetTarget(std::move(path)); }

ValidateExe::~ValidateExe() {
  m_message.reset();
  Imagehlp().Free();
}

void ValidateExe::SetTarget(std::string path) {
  m_path = std::move(path);
  m_hasTarget = !m_path.empty();
}

bool ValidateExe::Validate() {
  if (!m_hasTarget) return false;
  return ValidatePath(m_path);
}

bool ValidateExe::ValidatePath(const std::string& path) {
  // The one read of the file: every step below works on these bytes.
  const MappedFile file(path);
  if (!file.ok()) {
    m_result = HRESULT_FROM_WIN32(file.error());
    return false;
  }
  // The same state of the same file under the same anchors was checked before.
  const std::string anchors = AnchorsKey(TrustAnchors());
  CachedVerdict cached;
  if (FindVerdict(file.identity(), anchors, &cached)) {
    m_signerName = std::move(cached.signerName);
    m_certificateRecord = std::move(cached.record);
    m_result = cached.result;
    return cached.valid;
  }
  const bool valid = ValidateBytes(file.bytes(), path);
  // A file cut short in place during the check read as zeros past its new end: no verdict
  // rests on such bytes.
  if (file.CutShort()) {
    m_result = HRESULT_FROM_WIN32(ERROR_FILE_INVALID);
    return false;
  }
  RememberVerdict(file.identity(), anchors, {valid, m_result, m_signerName, m_certificateRecord});
  return valid;
}

bool ValidateExe::ValidateBytes(std::span<const BYTE> file, const std::string& path) {
  m_result = S_OK;
  m_message.reset();
  const bool cabinet = ReadCabinetCertificate(file);
  if (!cabinet && !ReadImageCertificate(file)) {
    // A cabinet with nothing after its declared size is an unsigned cabinet, not a
    // stranger that the image reader could not place.
    if (m_result == HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT) && file.size() >= 12 &&
        std::memcmp(file.data(), "MSCF", 4) == 0) {
      m_result = TRUST_E_NOSIGNATURE;
    }
    return false;
  }
  if (!VerifySignedMessage()) return false;
  return CheckTrust(file, path, cabinet);
}

bool ValidateExe::ReadCabinetCertificate(std::span<const BYTE> file) {
  std::optional<std::vector<BYTE>> record = ReadCabinetRecord(file);
  if (!record) return false;
  m_certificateRecord = std::move(*record);
  return true;
}

bool ValidateExe::ReadImageCertificate(std::span<const BYTE> file) {
  const UImagehlp& imagehlp = Imagehlp();
  DWORD count = 0;
  DWORD indices[20] = {};
  if (!imagehlp.EnumerateCertificates(file, CERT_SECTION_TYPE_ANY, &count, nullptr, 0) ||
      !imagehlp.EnumerateCertificates(file, CERT_SECTION_TYPE_ANY, &count, indices, 20)) {
    m_result = LastErrorResult();
    return false;
  }
  if (count == 0) {
    m_result = TRUST_E_NOSIGNATURE;
    return false;
  }
  DWORD length = 0;
  imagehlp.GetCertificateData(file, indices[0], nullptr, &length);
  if (length < kWinCertificateHeader) {
    m_result = LastErrorResult();
    return false;
  }
  std::vector<BYTE> record(length);
  if (!imagehlp.GetCertificateData(file, indices[0], reinterpret_cast<WIN_CERTIFICATE*>(record.data()), &length)) {
    m_result = LastErrorResult();
    return false;
  }
  m_certificateRecord = std::move(record);
  return true;
}

bool ValidateExe::VerifySignedMessage() {
  const size_t length = std::min<size_t>(ReadLe32(m_certificateRecord, 0), m_certificateRecord.size());
  auto decoder = std::make_unique<DecodeSignedMessage>();
  HRESULT hr = length >= kWinCertificateHeader ? decoder->Decode(m_certificateRecord.data() + kWinCertificateHeader,
                                                                 static_cast<DWORD>(length - kWinCertificateHeader))
                                               : TRUST_E_NOSIGNATURE;
  if (SUCCEEDED(hr)) hr = decoder->GetSigner();
  m_signerName = decoder->SignerName();
  if (SUCCEEDED(hr) && FAILED(decoder->VerifySignature())) {
    hr = decoder->FindSignerCertificate() ? TRUST_E_BAD_DIGEST : CRYPT_E_SIGNER_NOT_FOUND;
  }
  if (FAILED(hr)) {
    Trace("Verify Signature failed");
    m_result = hr;
    return false;
  }
  m_message = std::move(decoder);
  return true;
}

std::string ValidateExe::TrustAnchors() const {
  if (m_anchors) return *m_anchors;
  std::string directory;
  if (FAILED(ReadSetting(kSettingInstallDirectory, &directory)) || directory.empty()) return {};
  return directory + "/TrustedRoots.pem";
}

bool ValidateExe::CheckTrust(std::span<const BYTE> file, const std::string& path, bool cabinet) {
  const std::unique_ptr<void, TrustLibrary> wintrust(LoadSystemLibrary("wintrust.dll"));
  auto winVerifyTrust =
      wintrust ? reinterpret_cast<decltype(&WinVerifyTrust)>(GetSystemProcAddress(wintrust.get(), "WinVerifyTrust"))
               : nullptr;
  if (winVerifyTrust == nullptr) {
    m_result = LastErrorResult();
    return false;
  }
  // The open file the trust provider is given is this check's mapping, never the path.
  const std::u16string widePath = Utf8ToUtf16(path);
  const std::string anchors = TrustAnchors();
  WIN_TRUST_SUBJECT_FILE subject{file, widePath.c_str()};
  WIN_TRUST_ACTDATA_CONTEXT_WITH_SUBJECT data{
      nullptr, cabinet ? &WIN_TRUST_SUBJTYPE_CABINET : &WIN_TRUST_SUBJTYPE_PE_IMAGE, &subject,
      anchors.empty() ? nullptr : anchors.c_str(), m_message->Message()};
  const LONG verdict =
      winVerifyTrust(reinterpret_cast<void*>(-1),  // NOLINT(performance-no-int-to-ptr): INVALID_HANDLE_VALUE
                     &WIN_SPUB_ACTION_PUBLISHED_SOFTWARE_NOBADUI, &data);
  m_result = verdict;
  return verdict >= 0;
}

}  // namespace lumora
