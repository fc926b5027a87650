// Reading certificate records out of PE images, ELF modules and cabinets.
#include "image_certificates.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr uint16_t kPeMagic32 = 0x10B;
constexpr uint16_t kPeMagic64 = 0x20B;
constexpr size_t kPeSectionHeader = 40;
constexpr size_t kMaxZeroPadding = 7;

constexpr uint16_t kCabinetPrevious = 0x0001;
constexpr uint16_t kCabinetNext = 0x0002;
constexpr uint16_t kCabinetReservePresent = 0x0004;
constexpr size_t kCabinetHeader = 36;
constexpr size_t kCabinetSignatureReserve = 20;
constexpr uint32_t kCabinetSignatureMark = 0x00100000;

bool AllZero(FileBytes bytes) {
  for (const BYTE b : bytes) {
    if (b != 0) return false;
  }
  return true;
}

// A record header of revision 0x0200 and type 2 for a record of `total` bytes.
void PutRecordHeader(BYTE* out, size_t total) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<BYTE>(total >> (8 * i));
  out[4] = WIN_CERT_REVISION_2_0 & 0xFF;
  out[5] = WIN_CERT_REVISION_2_0 >> 8;
  out[6] = WIN_CERT_TYPE_PKCS_SIGNED_DATA;
  out[7] = 0;
}

}  // namespace

std::vector<BYTE> MakeCertificateRecord(FileBytes data) {
  std::vector<BYTE> record(kWinCertificateHeader + data.size());
  PutRecordHeader(record.data(), record.size());
  if (!data.empty()) std::memcpy(record.data() + kWinCertificateHeader, data.data(), data.size());
  return record;
}

bool ReadWholeFile(const std::string& path, std::vector<BYTE>* bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (ok) {
    bytes->resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (ok && done < bytes->size()) {
      const ssize_t n = ::read(fd, bytes->data() + done, bytes->size() - done);
      if (n < 0 && errno == EINTR) continue;
      ok = n > 0;
      if (ok) done += static_cast<size_t>(n);
    }
  }
  ::close(fd);
  return ok;
}

size_t DerSequenceLength(FileBytes data) {
  if (data.size() < 2 || data[0] != 0x30) return 0;
  size_t header = 2;
  size_t length = data[1];
  if (length & 0x80) {
    const size_t count = length & 0x7F;
    if (count == 0 || count > 4 || data.size() < 2 + count) return 0;
    length = 0;
    for (size_t i = 0; i < count; ++i) length = length << 8 | data[2 + i];
    header += count;
  }
  return length <= data.size() - header ? header + length : 0;
}

HRESULT ReadPeCertificate(FileBytes file, PeCertificate* certificate) {
  if (file.size() < 0x40 || file[0] != 'M' || file[1] != 'Z') return TRUST_E_SUBJECT_FORM_UNKNOWN;
  const size_t peOffset = ReadLe32(file, 0x3C);
  const size_t optional = peOffset + 24;
  if (peOffset > file.size() || file.size() - peOffset < 24 + 2 || std::memcmp(&file[peOffset], "PE\0\0", 4) != 0) {
    return TRUST_E_SUBJECT_FORM_UNKNOWN;
  }
  const uint16_t magic = ReadLe16(file, optional);
  if (magic != kPeMagic32 && magic != kPeMagic64) return TRUST_E_SUBJECT_FORM_UNKNOWN;
  const bool plus = magic == kPeMagic64;
  const size_t sectionCount = ReadLe16(file, peOffset + 6);
  const size_t optionalSize = ReadLe16(file, peOffset + 20);
  const size_t directories = optional + (plus ? 112 : 96);
  // The data directories up to the certificate table's (the fifth) must lie inside the file.
  const size_t directory = directories + size_t{4} * 8;
  if (directory + 8 > file.size()) return TRUST_E_SUBJECT_FORM_UNKNOWN;
  const size_t directoryCount = ReadLe32(file, optional + (plus ? 108 : 92));
  const size_t tableOffset = ReadLe32(file, directory);
  const size_t tableSize = ReadLe32(file, directory + 4);
  if (directoryCount < 5 || (tableOffset == 0 && tableSize == 0)) return TRUST_E_NOSIGNATURE;

  // The table ends exactly at the end of the file: nothing may hide after it.
  if (tableOffset == 0 || tableSize < kWinCertificateHeader || tableOffset > file.size() ||
      file.size() - tableOffset != tableSize || directory + 8 > optional + optionalSize) {
    return TRUST_E_MALFORMED_SIGNATURE;
  }
  // SizeOfHeaders covers the headers and the section table and stays before the table.
  const size_t sizeOfHeaders = ReadLe32(file, optional + 60);
  const size_t headersEnd = optional + optionalSize + kPeSectionHeader * sectionCount;
  if (sizeOfHeaders < headersEnd || sizeOfHeaders > tableOffset) return TRUST_E_MALFORMED_SIGNATURE;
  // Exactly one entry, filling the table but for its rounding to 8 bytes.
  const FileBytes table = file.subspan(tableOffset);
  const size_t length = ReadLe32(table, 0);
  if (length < kWinCertificateHeader || length > tableSize || ((length + 7) & ~size_t{7}) != tableSize) {
    return TRUST_E_MALFORMED_SIGNATURE;
  }
  if (ReadLe16(table, 4) != WIN_CERT_REVISION_2_0 || ReadLe16(table, 6) != WIN_CERT_TYPE_PKCS_SIGNED_DATA) {
    return TRUST_E_MALFORMED_SIGNATURE;
  }
  // The PKCS #7 fills the entry: after it only padding of at most 7 zero bytes.
  const FileBytes data = table.subspan(kWinCertificateHeader);
  const size_t der = DerSequenceLength(data);
  if (der == 0 || kWinCertificateHeader + der > length || data.size() - der > kMaxZeroPadding ||
      !AllZero(data.subspan(der))) {
    return TRUST_E_MALFORMED_SIGNATURE;
  }
  *certificate = PeCertificate{table.first(length), data.first(der), peOffset + 88, directory, tableOffset};
  return S_OK;
}

bool IsElfFile(FileBytes file) {
  return file.size() >= 4 && file[0] == 0x7F && file[1] == 'E' && file[2] == 'L' && file[3] == 'F';
}

HRESULT ReadElfSignature(FileBytes file, ElfSignature* signature) {
  if (!IsElfFile(file)) return TRUST_E_SUBJECT_FORM_UNKNOWN;
  const size_t tail = kModuleSignatureTrailer + kModuleSignatureMagicLength;
  if (file.size() < tail || std::memcmp(&file[file.size() - kModuleSignatureMagicLength], kModuleSignatureMagic,
                                        kModuleSignatureMagicLength) != 0) {
    return TRUST_E_NOSIGNATURE;
  }
  const size_t trailer = file.size() - tail;
  // algo, hash, id_type (2: PKCS #7), signer_len, key_id_len, 3 pad bytes, big-endian length.
  if (file[trailer + 2] != 2) return TRUST_E_MALFORMED_SIGNATURE;
  for (size_t i : {0u, 1u, 3u, 4u, 5u, 6u, 7u}) {
    if (file[trailer + i] != 0) return TRUST_E_MALFORMED_SIGNATURE;
  }
  const size_t signatureLength = static_cast<size_t>(file[trailer + 8]) << 24 |
                                 static_cast<size_t>(file[trailer + 9]) << 16 |
                                 static_cast<size_t>(file[trailer + 10]) << 8 | file[trailer + 11];
  if (signatureLength == 0 || signatureLength > trailer) return TRUST_E_MALFORMED_SIGNATURE;
  const size_t start = trailer - signatureLength;
  const FileBytes der = file.subspan(start, signatureLength);
  if (DerSequenceLength(der) != signatureLength) return TRUST_E_MALFORMED_SIGNATURE;
  *signature = ElfSignature{der, start};
  return S_OK;
}

std::optional<std::vector<BYTE>> ReadCabinetRecord(FileBytes file) {
  if (file.size() < 12 || std::memcmp(file.data(), "MSCF", 4) != 0) return std::nullopt;
  const size_t declared = ReadLe32(file, 8);
  if (file.size() <= declared) return std::nullopt;
  return MakeCertificateRecord(file.subspan(declared));
}

HRESULT ReadCabinetSignature(FileBytes file, CabinetSignature* signature) {
  if (file.size() < kCabinetHeader || std::memcmp(file.data(), "MSCF", 4) != 0) return TRUST_E_SUBJECT_FORM_UNKNOWN;
  const size_t declared = ReadLe32(file, 8);
  const uint16_t flags = ReadLe16(file, 30);
  if (declared >= file.size() && (flags & kCabinetReservePresent) == 0) return TRUST_E_NOSIGNATURE;
  // Every header field the digest skips must hold what a signed cabinet holds there.
  if (ReadLe32(file, 4) != 0 || (flags & (kCabinetPrevious | kCabinetNext)) != 0 ||
      (flags & kCabinetReservePresent) == 0 || file.size() < kCabinetHeader + 4 + kCabinetSignatureReserve) {
    return TRUST_E_MALFORMED_SIGNATURE;
  }
  if (ReadLe16(file, 36) != kCabinetSignatureReserve || file[38] != 0 || file[39] != 0 ||
      ReadLe32(file, 40) != kCabinetSignatureMark) {
    return TRUST_E_MALFORMED_SIGNATURE;
  }
  const size_t offset = ReadLe32(file, 44);
  const size_t length = ReadLe32(file, 48);
  if (offset != declared || offset >= file.size() || file.size() - offset != length) {
    return TRUST_E_MALFORMED_SIGNATURE;
  }
  // The PKCS #7 fills the signature but for at most 7 zero bytes, which signing tools add
  // to keep the length a multiple of 8: no room to carry anything.
  const FileBytes data = file.subspan(offset);
  const size_t der = DerSequenceLength(data);
  if (der == 0 || length - der > kMaxZeroPadding || !AllZero(data.subspan(der))) return TRUST_E_MALFORMED_SIGNATURE;
  *signature = CabinetSignature{data.first(der), offset, ReadLe16(file, 26), ReadLe32(file, 16)};
  return S_OK;
}

namespace {

// The one certificate of a PE image or ELF module, as a record's header and data.
HRESULT ImageCertificate(FileBytes file, FileBytes* header, FileBytes* data, WORD* type) {
  if (IsElfFile(file)) {
    ElfSignature signature{};
    const HRESULT hr = ReadElfSignature(file, &signature);
    *header = {};
    *data = signature.der;
    *type = WIN_CERT_TYPE_PKCS_SIGNED_DATA;
    return hr;
  }
  PeCertificate certificate{};
  const HRESULT hr = ReadPeCertificate(file, &certificate);
  if (SUCCEEDED(hr)) {
    *header = certificate.entry.first(kWinCertificateHeader);
    *data = certificate.entry.subspan(kWinCertificateHeader);
    *type = ReadLe16(certificate.entry, 6);
  }
  return hr;
}

}  // namespace

BOOL ImageEnumerateCertificates(FileBytes file, WORD typeFilter, DWORD* certificateCount, DWORD* indices,
                                DWORD indexCount) {
  if (certificateCount == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  FileBytes header;
  FileBytes data;
  WORD type = 0;
  const HRESULT hr = ImageCertificate(file, &header, &data, &type);
  if (hr == TRUST_E_SUBJECT_FORM_UNKNOWN) {
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return FALSE;
  }
  if (hr == TRUST_E_MALFORMED_SIGNATURE) {
    SetLastError(static_cast<DWORD>(hr));
    return FALSE;
  }
  *certificateCount = SUCCEEDED(hr) && (typeFilter == CERT_SECTION_TYPE_ANY || typeFilter == type) ? 1 : 0;
  if (indices != nullptr && indexCount > 0 && *certificateCount > 0) indices[0] = 0;
  return TRUE;
}

BOOL ImageGetCertificateData(FileBytes file, DWORD index, WIN_CERTIFICATE* certificate, DWORD* requiredLength) {
  FileBytes header;
  FileBytes data;
  WORD type = 0;
  if (requiredLength == nullptr || index != 0 || FAILED(ImageCertificate(file, &header, &data, &type))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const size_t length = kWinCertificateHeader + data.size();
  if (certificate == nullptr || *requiredLength < length) {
    *requiredLength = static_cast<DWORD>(length);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  auto* out = reinterpret_cast<BYTE*>(certificate);
  if (header.empty()) {
    PutRecordHeader(out, length);  // an ELF signature has no header of its own
  } else {
    std::memcpy(out, header.data(), kWinCertificateHeader);
  }
  std::memcpy(out + kWinCertificateHeader, data.data(), data.size());
  *requiredLength = static_cast<DWORD>(length);
  return TRUE;
}
