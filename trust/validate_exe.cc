// One file's code signature, step by step.
#include "validate_exe.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "common/settings_client.h"
#include "decode_signed_message.h"
#include "lumora/trace.h"
#include "lumora/utf.h"
#include "platform/codesign/win_trust.h"
#include "system_wrappers.h"

namespace lumora {

ValidateExe::ValidateExe() { Imagehlp().Load(); }

ValidateExe::ValidateExe(std::string path) : ValidateExe() { SetTarget(std::move(path)); }

ValidateExe::~ValidateExe() { Imagehlp().Free(); }

void ValidateExe::SetTarget(std::string path) {
  m_path = std::move(path);
  m_hasTarget = !m_path.empty();
}

bool ValidateExe::Validate() {
  if (!m_hasTarget) return false;
  return ValidatePath(m_path);
}

bool ValidateExe::ValidatePath(const std::string& path) {
  const bool cabinet = ReadCabinetCertificate(path);
  if (!cabinet && !ReadImageCertificate(path)) return false;
  if (!VerifySignedMessage()) return false;
  return CheckTrust(path, cabinet);
}

bool ValidateExe::ReadCabinetCertificate(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  char header[40] = {};
  file.read(header, sizeof header);
  const std::streamsize got = file.gcount();
  if (got < 12 || std::memcmp(header, "MSCF", 4) != 0) return false;
  uint32_t declared = 0;
  std::memcpy(&declared, header + 8, sizeof declared);
  file.clear();
  file.seekg(0, std::ios::end);
  const auto size = static_cast<uint64_t>(file.tellg());
  if (size <= declared) return false;
  std::vector<BYTE> data(static_cast<size_t>(size - declared));
  file.seekg(declared);
  file.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (file.gcount() != static_cast<std::streamsize>(data.size())) return false;
  m_certificateRecord = MakeCertificateRecord(data.data(), data.size());
  return true;
}

bool ValidateExe::ReadImageCertificate(const std::string& path) {
  const UImagehlp& imagehlp = Imagehlp();
  char found[260] = {};
  IMAGE_HANDLE image = imagehlp.FindImage(path.c_str(), found);
  if (image == nullptr) return false;
  bool ok = false;
  DWORD count = 0;
  DWORD indices[20] = {};
  DWORD length = 0;
  if (imagehlp.EnumerateCertificates(image, CERT_SECTION_TYPE_ANY, &count, nullptr, 0) &&
      imagehlp.EnumerateCertificates(image, CERT_SECTION_TYPE_ANY, &count, indices, 20) && count > 0) {
    imagehlp.GetCertificateData(image, indices[0], nullptr, &length);
    if (length >= kWinCertificateHeader) {
      std::vector<BYTE> record(length);
      if (imagehlp.GetCertificateData(image, indices[0], reinterpret_cast<WIN_CERTIFICATE*>(record.data()), &length)) {
        m_certificateRecord = std::move(record);
        ok = true;
      }
    }
  }
  imagehlp.Close(image);
  return ok;
}

bool ValidateExe::VerifySignedMessage() {
  DWORD length = 0;
  std::memcpy(&length, m_certificateRecord.data(), sizeof length);
  length = std::min<DWORD>(length, static_cast<DWORD>(m_certificateRecord.size()));
  DecodeSignedMessage decoder;
  HRESULT hr = length >= kWinCertificateHeader
                   ? decoder.Decode(m_certificateRecord.data() + kWinCertificateHeader, length - kWinCertificateHeader)
                   : E_FAIL;
  if (SUCCEEDED(hr)) hr = decoder.GetSigner();
  m_signerName = decoder.SignerName();
  if (SUCCEEDED(hr)) hr = decoder.VerifySignature();
  if (FAILED(hr)) {
    Trace("Verify Signature failed");
    return false;
  }
  return true;
}

std::string ValidateExe::TrustAnchors() const {
  if (m_anchors) return *m_anchors;
  std::string directory;
  if (FAILED(ReadSetting(kSettingInstallDirectory, &directory)) || directory.empty()) return {};
  return directory + "/TrustedRoots.pem";
}

bool ValidateExe::CheckTrust(const std::string& path, bool cabinet) {
  HMODULE wintrust = LoadSystemLibrary("wintrust.dll");
  if (wintrust == nullptr) return false;
  auto winVerifyTrust = reinterpret_cast<decltype(&WinVerifyTrust)>(GetSystemProcAddress(wintrust, "WinVerifyTrust"));
  if (winVerifyTrust == nullptr) {
    FreeSystemLibrary(wintrust);
    return false;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  const std::u16string widePath = Utf8ToUtf16(path);
  const std::string anchors = TrustAnchors();
  WIN_TRUST_SUBJECT_FILE subject{fd, widePath.c_str()};
  WIN_TRUST_ACTDATA_CONTEXT_WITH_SUBJECT data{nullptr,
                                              cabinet ? &WIN_TRUST_SUBJTYPE_CABINET : &WIN_TRUST_SUBJTYPE_PE_IMAGE,
                                              &subject, anchors.empty() ? nullptr : anchors.c_str()};
  const LONG verdict =
      winVerifyTrust(reinterpret_cast<void*>(-1),  // NOLINT(performance-no-int-to-ptr): INVALID_HANDLE_VALUE
                     &WIN_SPUB_ACTION_PUBLISHED_SOFTWARE_NOBADUI, &data);
  if (fd >= 0) ::close(fd);
  FreeSystemLibrary(wintrust);
  return verdict >= 0;
}

}  // namespace lumora
