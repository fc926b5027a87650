// Fuzz target: the certificate record readers (PE table, cabinet, ELF module signature)
// and the image-help calls never crash, never hand out a view outside the file, and hand
// out records whose length field says how long they are.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/codesign/image_certificates.h"

namespace {

void CheckInside(FileBytes part, FileBytes file) {
  if (part.empty()) return;
  if (part.data() < file.data() || part.data() + part.size() > file.data() + file.size()) std::abort();
}

void CheckRecord(const std::vector<BYTE>& record, size_t fileSize) {
  if (record.size() < kWinCertificateHeader || record.size() > fileSize + kWinCertificateHeader) std::abort();
  if (ReadLe32(record, 0) != record.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const FileBytes file(data, size);
  PeCertificate pe{};
  if (SUCCEEDED(ReadPeCertificate(file, &pe))) {
    CheckInside(pe.entry, file);
    CheckInside(pe.der, file);
    if (pe.tableOffset + pe.entry.size() > size || pe.directoryOffset + 8 > pe.tableOffset) std::abort();
  }
  CabinetSignature cabinet{};
  if (SUCCEEDED(ReadCabinetSignature(file, &cabinet))) {
    CheckInside(cabinet.der, file);
    if (cabinet.signatureOffset + cabinet.der.size() > size) std::abort();
  }
  ElfSignature elf{};
  if (SUCCEEDED(ReadElfSignature(file, &elf))) {
    CheckInside(elf.der, file);
    if (elf.contentLength + elf.der.size() > size) std::abort();
  }
  if (const auto record = ReadCabinetRecord(file)) CheckRecord(*record, size);
  DWORD count = 0;
  if (ImageEnumerateCertificates(file, CERT_SECTION_TYPE_ANY, &count, nullptr, 0) && count > 0) {
    DWORD length = 0;
    ImageGetCertificateData(file, 0, nullptr, &length);
    std::vector<BYTE> record(length);
    if (!ImageGetCertificateData(file, 0, reinterpret_cast<WIN_CERTIFICATE*>(record.data()), &length)) std::abort();
    CheckRecord(record, size);
  }
  return 0;
}
