// Certificate records of signed files (the WIN_CERTIFICATE layout, whatever file they came
// from) and the image-help calls that read them: the
// attribute certificate table of a PE image, the appended module signature of an ELF
// module, and the bytes after a cabinet's declared size. The readers work on the bytes
// of one mapping and hand out views into them (valid while the mapping lives); they only
// accept the strict forms, in which no byte outside the signed content and the signature
// can ride along. Pure functions on file bytes; any thread.
#ifndef LUMORA_PLATFORM_CODESIGN_IMAGE_CERTIFICATES_H_
#define LUMORA_PLATFORM_CODESIGN_IMAGE_CERTIFICATES_H_

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "lumora/automation.h"
#include "mapped_file.h"

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

// A record block: 8-byte header (revision 0x0200, type 2), then `data`.
std::vector<BYTE> MakeCertificateRecord(FileBytes data);
// Reads a whole regular file into memory (the signing tool's input; never the check's).
bool ReadWholeFile(const std::string& path, std::vector<BYTE>* bytes);

// Little-endian fields of file headers; the caller has checked the bounds.
inline uint32_t ReadLe32(FileBytes b, size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 | static_cast<uint32_t>(b[at + 2]) << 16 |
         static_cast<uint32_t>(b[at + 3]) << 24;
}
inline uint16_t ReadLe16(FileBytes b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

// The total length of the DER SEQUENCE at the start of `data` (tag, length, content), or
// 0 when it is none or does not fit.
size_t DerSequenceLength(FileBytes data);

// The module-signature trailer that ends a signed ELF module.
inline constexpr char kModuleSignatureMagic[] = "~Module signature appended~\n";
inline constexpr size_t kModuleSignatureMagicLength = 28;
inline constexpr size_t kModuleSignatureTrailer = 12;

// The readers below answer S_OK, or why the file has no usable signature:
// TRUST_E_SUBJECT_FORM_UNKNOWN (not that kind of file), TRUST_E_NOSIGNATURE (that kind,
// unsigned), TRUST_E_MALFORMED_SIGNATURE (signed, but not in the strict form).

// A PE image's one attribute certificate table entry and the fields the image digest
// skips. Strict form: the table ends exactly at the end of the file and holds exactly one
// entry, of revision 0x0200 and type 2, whose PKCS #7 DER plus at most 7 zero bytes fill
// it; SizeOfHeaders covers the headers and section table and does not reach past the table.
struct PeCertificate {
  FileBytes entry;  // the WIN_CERTIFICATE, as long as its dwLength
  FileBytes der;    // its PKCS #7
  size_t checksumOffset;
  size_t directoryOffset;  // the certificate table's data directory entry
  size_t tableOffset;
};
HRESULT ReadPeCertificate(FileBytes file, PeCertificate* certificate);

// A signed ELF module's detached signature and the length of the content it signs.
// Strict form: the trailer's other bytes are zero, id_type is 2 (PKCS #7) and the DER
// fills the signature length exactly.
struct ElfSignature {
  FileBytes der;
  size_t contentLength;
};
bool IsElfFile(FileBytes file);
HRESULT ReadElfSignature(FileBytes file, ElfSignature* signature);

// A cabinet's record: the bytes after its declared size. Nothing when the file does not
// start with "MSCF", is too short for the size word, or holds nothing after that size.
std::optional<std::vector<BYTE>> ReadCabinetRecord(FileBytes file);

// A signed cabinet's signature and what its digest covers. Strict form: reserved1 is 0, no
// previous or next cabinet is named, the header reserve is the 20-byte signature reserve
// (0x00100000, offset, length) with no per-folder or per-block reserve, the signature
// starts at the declared size and ends the file, and its PKCS #7 DER fills it but for at
// most 7 zero bytes.
struct CabinetSignature {
  FileBytes der;
  size_t signatureOffset;
  uint16_t folderCount;
  size_t firstFileOffset;
};
HRESULT ReadCabinetSignature(FileBytes file, CabinetSignature* signature);

// The image-help calls, for PE images and ELF modules, on the bytes of an open (mapped)
// file. A file that is neither fails with the last error ERROR_BAD_EXE_FORMAT; a signature
// that is not in the strict form with TRUST_E_MALFORMED_SIGNATURE; an unsigned image has
// no certificates.
BOOL ImageEnumerateCertificates(FileBytes file, WORD typeFilter, DWORD* certificateCount, DWORD* indices,
                                DWORD indexCount);
// With a null `certificate` or a short buffer, reports the needed length in *requiredLength.
BOOL ImageGetCertificateData(FileBytes file, DWORD index, WIN_CERTIFICATE* certificate, DWORD* requiredLength);

#endif  // LUMORA_PLATFORM_CODESIGN_IMAGE_CERTIFICATES_H_
