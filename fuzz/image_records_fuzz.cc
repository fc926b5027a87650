// Fuzz target: the three certificate record readers (PE table, cabinet, ELF module
// signature) never crash and never hand out a record that overruns the file or has a
// length other than its header says.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/codesign/image_certificates.h"

namespace {

void CheckRecord(const std::vector<BYTE>& record, size_t fileSize) {
  if (record.size() < kWinCertificateHeader || record.size() > fileSize + kWinCertificateHeader) std::abort();
  DWORD length = 0;
  std::memcpy(&length, record.data(), sizeof length);
  if (length != record.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const FileBytes file(data, size);
  if (const auto table = ReadPeCertificates(file)) {
    if (table->tableOffset > size) std::abort();
    for (const auto& record : table->records) CheckRecord(record, size);
  }
  if (const auto cabinet = ReadCabinetRecord(file)) CheckRecord(*cabinet, size);
  if (const auto elf = ReadElfSignature(file)) {
    CheckRecord(elf->record, size);
    if (elf->contentLength + elf->record.size() - kWinCertificateHeader > size) std::abort();
  }
  return 0;
}
