// Certificate records of signed files (the WIN_CERTIFICATE layout, whatever file they came
// from) and the image-help calls that read them: the attribute certificate table of a PE
// image, the appended module signature of an ELF module, and the bytes after a cabinet's
// declared size. Tables that hide data, or hold entries inconsistent with their PKCS #7,
// make a file unreadable. Pure functions on file bytes; any thread.
#ifndef LUMORA_PLATFORM_CODESIGN_IMAGE_CERTIFICATES_H_
#define LUMORA_PLATFORM_CODESIGN_IMAGE_CERTIFICATES_H_

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "lumora/automation.h"

inline constexpr WORD WIN_CERT_REVISION_2_0 = 0x0200;
inline constexpr WORD WIN_CERT_TYPE_PKCS_SIGNED_DATA = 0x0002;
inline constexpr WORD CERT_SECTION_TYPE_ANY = 0xFF;
inline constexpr size_t kWinCertificateHeader = 8;

struct WIN_CERTIFICATE {
  DWORD dwLength;  // header and data
  WORD wRevision;
  WORD wCertificateType;
  BYTE bCertificate[1];
};

// A record block: 8-byte header, then the PKCS #7 DER (and up to 7 zero bytes of padding).
std::vector<BYTE> MakeCertificateRecord(const BYTE* pkcs7, size_t length);
bool ReadWholeFile(const std::string& path, std::vector<BYTE>* bytes);

// A file mapped read-only for its lifetime (no copy; pages come from the page cache).
class MappedFile {
 public:
  // `populate` maps every page at once, for a file that will be read whole.
  explicit MappedFile(const std::string& path, bool populate = false);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  bool ok() const { return m_ok; }
  std::span<const BYTE> bytes() const { return {m_data, m_size}; }

 private:
  const BYTE* m_data = nullptr;
  size_t m_size = 0;
  bool m_ok = false;
  bool m_mapped = false;
};

using FileBytes = std::span<const BYTE>;

// Little-endian fields of file headers; the caller has checked the bounds.
inline uint32_t ReadLe32(FileBytes b, size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 | static_cast<uint32_t>(b[at + 2]) << 16 |
         static_cast<uint32_t>(b[at + 3]) << 24;
}
inline uint16_t ReadLe16(FileBytes b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

// The module-signature trailer that ends a signed ELF module.
inline constexpr char kModuleSignatureMagic[] = "~Module signature appended~\n";
inline constexpr size_t kModuleSignatureMagicLength = 28;
inline constexpr size_t kModuleSignatureTrailer = 12;

// The PE image's attribute certificate table: its entries and where the table starts.
// Nothing for a file that is no PE image, has no table, or whose table is not exactly at
// the end, does not add up, or holds an entry whose length disagrees with its PKCS #7.
struct PeCertificates {
  std::vector<std::vector<BYTE>> records;
  size_t tableOffset;
  size_t checksumOffset;
  size_t directoryOffset;  // the certificate table's data directory entry
};
std::optional<PeCertificates> ReadPeCertificates(FileBytes file);

// The signature of a signed ELF module as a record, and the length of the signed content.
struct ElfSignature {
  std::vector<BYTE> record;
  size_t contentLength;
};
bool IsElfFile(FileBytes file);
std::optional<ElfSignature> ReadElfSignature(FileBytes file);

// A cabinet's record: the bytes after its declared size. Nothing when the file does not
// start with "MSCF", is too short for the size word, or holds nothing after that size.
std::optional<std::vector<BYTE>> ReadCabinetRecord(FileBytes file);

// The image-help calls, for PE images and ELF modules.
using IMAGE_HANDLE = void*;
IMAGE_HANDLE FindExecutableImage(const char* fileName, const char* symbolPath, char* imageFilePath);
BOOL ImageEnumerateCertificates(IMAGE_HANDLE image, WORD typeFilter, DWORD* certificateCount, DWORD* indices,
                                DWORD indexCount);
// With a null `certificate`, reports the needed length in *requiredLength.
BOOL ImageGetCertificateData(IMAGE_HANDLE image, DWORD index, WIN_CERTIFICATE* certificate, DWORD* requiredLength);
BOOL CloseImageHandle(IMAGE_HANDLE image);

#endif  // LUMORA_PLATFORM_CODESIGN_IMAGE_CERTIFICATES_H_
