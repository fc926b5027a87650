// Reading certificate records out of PE images, ELF modules and cabinets.
#include "image_certificates.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

// The total length of the DER element at `data` (tag, length and content), or 0.
size_t DerLength(const BYTE* data, size_t available) {
  if (available < 2 || data[0] != 0x30) return 0;
  size_t header = 2;
  size_t length = data[1];
  if (length & 0x80) {
    const size_t count = length & 0x7F;
    if (count == 0 || count > 4 || available < 2 + count) return 0;
    length = 0;
    for (size_t i = 0; i < count; ++i) length = length << 8 | data[2 + i];
    header += count;
  }
  return header + length <= available ? header + length : 0;
}

struct Image {
  std::vector<std::vector<BYTE>> records;
};

}  // namespace

std::vector<BYTE> MakeCertificateRecord(const BYTE* pkcs7, size_t length) {
  std::vector<BYTE> record(kWinCertificateHeader + length);
  const auto total = static_cast<DWORD>(record.size());
  std::memcpy(record.data(), &total, 4);
  record[4] = WIN_CERT_REVISION_2_0 & 0xFF;
  record[5] = WIN_CERT_REVISION_2_0 >> 8;
  record[6] = WIN_CERT_TYPE_PKCS_SIGNED_DATA;
  record[7] = 0;
  if (length > 0) std::memcpy(record.data() + kWinCertificateHeader, pkcs7, length);
  return record;
}

bool ReadWholeFile(const std::string& path, std::vector<BYTE>* bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
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

std::optional<PeCertificates> ReadPeCertificates(FileBytes file) {
  if (file.size() < 0x40 || file[0] != 'M' || file[1] != 'Z') return std::nullopt;
  const size_t peOffset = ReadLe32(file, 0x3C);
  if (peOffset > file.size() || file.size() - peOffset < 24 + 96 || std::memcmp(&file[peOffset], "PE\0\0", 4) != 0) {
    return std::nullopt;
  }
  const size_t optional = peOffset + 24;
  const uint16_t magic = ReadLe16(file, optional);
  if (magic != 0x10B && magic != 0x20B) return std::nullopt;
  const bool plus = magic == 0x20B;
  // The data directories (the certificate table is the fifth) must lie inside the file.
  const size_t directory = optional + (plus ? 112 : 96) + size_t{4} * 8;
  if (directory + 8 > file.size()) return std::nullopt;
  const size_t directoryCount = ReadLe32(file, optional + (plus ? 108 : 92));
  if (directoryCount < 5) return std::nullopt;
  const size_t tableOffset = ReadLe32(file, directory);
  const size_t tableSize = ReadLe32(file, directory + 4);
  // The table must end exactly at the end of the file: nothing may hide after it.
  if (tableOffset == 0 || tableSize == 0 || tableOffset > file.size() || file.size() - tableOffset != tableSize) {
    return std::nullopt;
  }
  PeCertificates result{{}, tableOffset, peOffset + 88, directory};
  size_t at = tableOffset;
  while (at < file.size()) {
    if (file.size() - at < kWinCertificateHeader) return std::nullopt;
    const size_t length = ReadLe32(file, at);
    if (length < kWinCertificateHeader || length > file.size() - at) return std::nullopt;
    const size_t der = DerLength(&file[at + kWinCertificateHeader], length - kWinCertificateHeader);
    const size_t padding = length - kWinCertificateHeader - der;
    if (der == 0 || padding > 7) return std::nullopt;
    for (size_t i = 0; i < padding; ++i) {
      if (file[at + kWinCertificateHeader + der + i] != 0) return std::nullopt;
    }
    result.records.emplace_back(file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(at + length));
    const size_t next = at + ((length + 7) & ~size_t{7});
    if (next > file.size()) return std::nullopt;
    for (size_t i = at + length; i < next; ++i) {
      if (file[i] != 0) return std::nullopt;
    }
    at = next;
  }
  return result;
}

bool IsElfFile(FileBytes file) {
  return file.size() >= 4 && file[0] == 0x7F && file[1] == 'E' && file[2] == 'L' && file[3] == 'F';
}

std::optional<ElfSignature> ReadElfSignature(FileBytes file) {
  const size_t tail = kModuleSignatureTrailer + kModuleSignatureMagicLength;
  if (!IsElfFile(file) || file.size() < tail) return std::nullopt;
  if (std::memcmp(&file[file.size() - kModuleSignatureMagicLength], kModuleSignatureMagic,
                  kModuleSignatureMagicLength) != 0) {
    return std::nullopt;
  }
  const size_t trailer = file.size() - tail;
  // algo, hash, id_type (2: PKCS #7), signer_len, key_id_len, 3 pad bytes, big-endian length.
  if (file[trailer + 2] != 2) return std::nullopt;
  for (size_t i : {0u, 1u, 3u, 4u, 5u, 6u, 7u}) {
    if (file[trailer + i] != 0) return std::nullopt;
  }
  const size_t signatureLength = static_cast<size_t>(file[trailer + 8]) << 24 |
                                 static_cast<size_t>(file[trailer + 9]) << 16 |
                                 static_cast<size_t>(file[trailer + 10]) << 8 | file[trailer + 11];
  if (signatureLength == 0 || signatureLength > trailer) return std::nullopt;
  const size_t start = trailer - signatureLength;
  if (DerLength(&file[start], signatureLength) != signatureLength) return std::nullopt;
  return ElfSignature{MakeCertificateRecord(&file[start], signatureLength), start};
}

std::optional<std::vector<BYTE>> ReadCabinetRecord(FileBytes file) {
  if (file.size() < 12 || std::memcmp(file.data(), "MSCF", 4) != 0) return std::nullopt;
  const size_t declared = ReadLe32(file, 8);
  if (file.size() <= declared) return std::nullopt;
  return MakeCertificateRecord(&file[declared], file.size() - declared);
}

MappedFile::MappedFile(const std::string& path, bool populate) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    m_size = static_cast<size_t>(info.st_size);
    if (m_size == 0) {
      m_ok = true;
    } else {
      void* data = ::mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE | (populate ? MAP_POPULATE : 0), fd, 0);
      if (data != MAP_FAILED) {
        m_data = static_cast<const BYTE*>(data);
        m_ok = m_mapped = true;
      }
    }
  }
  ::close(fd);
}

MappedFile::~MappedFile() {
  if (m_mapped) ::munmap(const_cast<BYTE*>(m_data), m_size);
}

IMAGE_HANDLE FindExecutableImage(const char* fileName, const char* /*symbolPath*/, char* imageFilePath) {
  if (fileName == nullptr) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  const MappedFile mapped(fileName);
  if (!mapped.ok()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  const FileBytes file = mapped.bytes();
  auto* image = new Image;
  if (IsElfFile(file)) {
    if (auto signature = ReadElfSignature(file)) image->records.push_back(std::move(signature->record));
  } else if (file.size() >= 2 && file[0] == 'M' && file[1] == 'Z') {
    if (auto table = ReadPeCertificates(file)) image->records = std::move(table->records);
  } else {
    delete image;
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  if (imageFilePath != nullptr) {
    std::strncpy(imageFilePath, fileName, 259);
    imageFilePath[259] = '\0';
  }
  return image;
}

BOOL ImageEnumerateCertificates(IMAGE_HANDLE handle, WORD /*typeFilter*/, DWORD* certificateCount, DWORD* indices,
                                DWORD indexCount) {
  auto* image = static_cast<Image*>(handle);
  if (image == nullptr || certificateCount == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *certificateCount = static_cast<DWORD>(image->records.size());
  for (DWORD i = 0; indices != nullptr && i < indexCount && i < image->records.size(); ++i) indices[i] = i;
  return TRUE;
}

BOOL ImageGetCertificateData(IMAGE_HANDLE handle, DWORD index, WIN_CERTIFICATE* certificate, DWORD* requiredLength) {
  auto* image = static_cast<Image*>(handle);
  if (image == nullptr || requiredLength == nullptr || index >= image->records.size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::vector<BYTE>& record = image->records[index];
  if (certificate == nullptr || *requiredLength < record.size()) {
    *requiredLength = static_cast<DWORD>(record.size());
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(certificate, record.data(), record.size());
  *requiredLength = static_cast<DWORD>(record.size());
  return TRUE;
}

BOOL CloseImageHandle(IMAGE_HANDLE handle) {
  delete static_cast<Image*>(handle);
  return TRUE;
}
