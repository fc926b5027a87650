// Taking a certificate record from a file, and describing one.
#include "certificate_record.h"

#include <openssl/asn1.h>
#include <openssl/x509.h>

#include <cstring>
#include <ctime>

#include "lumora/winerror.h"
#include "platform/codesign/crypt_message.h"
#include "platform/codesign/image_certificates.h"
#include "platform/codesign/mapped_file.h"
#include "trust/decode_signed_message.h"

namespace lumora::admin {
namespace {

bool Failed(HRESULT hr, const std::string& why, std::string* error, HRESULT* code) {
  *code = hr;
  *error = why;
  return false;
}

// A record saved as it is stored: its 32-bit length (the header included) is the file's,
// or the file's but for at most 7 zero bytes of padding, and revision and type are those
// of a PKCS #7 record.
bool IsSavedRecord(FileBytes file) {
  if (file.size() < kWinCertificateHeader + 2) return false;
  const uint32_t length = ReadLe32(file, 0);
  if (length < kWinCertificateHeader + 2 || length > file.size() || file.size() - length > 7) return false;
  for (size_t i = length; i < file.size(); ++i) {
    if (file[i] != 0) return false;
  }
  return ReadLe16(file, 4) == WIN_CERT_REVISION_2_0 && ReadLe16(file, 6) == WIN_CERT_TYPE_PKCS_SIGNED_DATA;
}

std::string TimeText(const ASN1_TIME* time) {
  struct tm when {};
  if (time == nullptr || ASN1_TIME_to_tm(time, &when) != 1) return "?";
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &when);
  return text;
}

}  // namespace

bool ReadCertificateRecord(const std::string& path, std::vector<BYTE>* record, std::string* kind, std::string* error,
                           HRESULT* code) {
  const MappedFile file(path);
  if (!file.ok()) {
    const HRESULT hr = HRESULT_FROM_WIN32(file.error());
    if (file.error() == ERROR_DIRECTORY_NOT_SUPPORTED) return Failed(hr, path + " is a folder", error, code);
    if (file.error() == ERROR_BAD_EXE_FORMAT) return Failed(hr, path + " is not a regular file", error, code);
    return Failed(hr, "cannot read " + path, error, code);
  }
  const FileBytes bytes = file.bytes();
  if (bytes.size() >= 4 && std::memcmp(bytes.data(), "MSCF", 4) == 0) {
    std::optional<std::vector<BYTE>> found = ReadCabinetRecord(bytes);
    if (!found || found->size() < kWinCertificateHeader) {
      return Failed(TRUST_E_NOSIGNATURE, "the cabinet " + path + " is not signed", error, code);
    }
    *record = std::move(*found);
    *kind = "cabinet";
  } else if (IsSavedRecord(bytes)) {
    record->assign(bytes.begin(), bytes.begin() + ReadLe32(bytes, 0));
    *kind = "saved certificate record";
  } else {
    DWORD count = 0;
    if (!ImageEnumerateCertificates(bytes, CERT_SECTION_TYPE_ANY, &count, nullptr, 0)) {
      const DWORD last = GetLastError();
      if (last == ERROR_BAD_EXE_FORMAT) {
        return Failed(TRUST_E_SUBJECT_FORM_UNKNOWN,
                      path +
                          " is neither a signed program (PE image, cabinet or ELF module) nor a saved certificate "
                          "record",
                      error, code);
      }
      const HRESULT hr = static_cast<HRESULT>(last);
      return Failed(hr, "the signature of " + path + " is not in the strict form the store accepts", error, code);
    }
    if (count == 0) return Failed(TRUST_E_NOSIGNATURE, path + " is not signed", error, code);
    DWORD length = 0;
    ImageGetCertificateData(bytes, 0, nullptr, &length);
    record->assign(length, 0);
    if (length < kWinCertificateHeader ||
        !ImageGetCertificateData(bytes, 0, reinterpret_cast<WIN_CERTIFICATE*>(record->data()), &length)) {
      return Failed(TRUST_E_MALFORMED_SIGNATURE, "cannot take the certificate record of " + path, error, code);
    }
    *kind = IsElfFile(bytes) ? "ELF module" : "PE image";
  }
  if (file.CutShort()) {
    return Failed(HRESULT_FROM_WIN32(ERROR_FILE_INVALID), path + " was cut short while it was read", error, code);
  }
  *code = S_OK;
  return true;
}

RecordDescription DescribeCertificateRecord(const std::vector<BYTE>& record) {
  RecordDescription description;
  if (record.size() < kWinCertificateHeader + 2) {
    description.result = CRYPT_E_ASN1_BADTAG;
    return description;
  }
  const size_t length = std::min<size_t>(ReadLe32(record, 0), record.size());
  if (length < kWinCertificateHeader + 2) {
    description.result = CRYPT_E_ASN1_BADTAG;
    return description;
  }
  DecodeSignedMessage message;
  HRESULT hr =
      message.Decode(record.data() + kWinCertificateHeader, static_cast<DWORD>(length - kWinCertificateHeader));
  if (SUCCEEDED(hr)) hr = message.GetSigner();
  const CertificatePtr signer = SUCCEEDED(hr) ? message.FindSignerCertificate() : nullptr;
  if (SUCCEEDED(hr) && !signer) hr = CRYPT_E_SIGNER_NOT_FOUND;
  description.result = hr;
  if (FAILED(hr)) return description;
  description.company = message.SignerName();
  description.subject = CertNameToStr(signer.get(), CERT_X500_NAME_STR | CERT_NAME_STR_NO_QUOTING_FLAG);
  X509* certificate = CertX509(signer.get());
  description.notBefore = TimeText(X509_get0_notBefore(certificate));
  description.notAfter = TimeText(X509_get0_notAfter(certificate));
  description.validNow = CertVerifyTimeValidityNow(signer.get()) == 0;
  return description;
}

}  // namespace lumora::admin
