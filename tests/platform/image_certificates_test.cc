// The record readers on hand-made inputs: the boundaries of the strict forms (how much
// zero padding, which header fields), regressions found by the fuzzer, and the module-
// signature trailer. No cryptography here: the readers only frame the signature.
#include "platform/codesign/image_certificates.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

void Put16(std::vector<BYTE>& bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<BYTE>(value);
  bytes[at + 1] = static_cast<BYTE>(value >> 8);
}

void Put32(std::vector<BYTE>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<size_t>(i)] = static_cast<BYTE>(value >> (8 * i));
}

// A DER SEQUENCE of `length` bytes in all.
std::vector<BYTE> Der(size_t length) {
  std::vector<BYTE> der(length, 0x05);
  der[0] = 0x30;
  der[1] = static_cast<BYTE>(length - 2);
  return der;
}

std::vector<BYTE> PeHeaderOnly(uint16_t magic, size_t total) {
  std::vector<BYTE> file(total, 0);
  file[0] = 'M';
  file[1] = 'Z';
  file[0x3C] = 0x80;
  std::memcpy(&file[0x80], "PE\0\0", 4);
  file[0x80 + 24] = static_cast<BYTE>(magic);
  file[0x80 + 25] = static_cast<BYTE>(magic >> 8);
  return file;
}

// A PE32 image with one section header and SizeOfHeaders 0x200, whose certificate table at
// 0x200 is `table` (the caller's entries, as they are).
constexpr size_t kOptional = 0x98;
constexpr size_t kDirectory = kOptional + 96 + 32;
constexpr size_t kTable = 0x200;
std::vector<BYTE> PeWithTable(const std::vector<BYTE>& table) {
  std::vector<BYTE> file = PeHeaderOnly(0x10B, kTable);
  Put16(file, 0x80 + 6, 1);             // NumberOfSections
  Put16(file, 0x80 + 20, 0xE0);         // SizeOfOptionalHeader
  Put32(file, kOptional + 60, kTable);  // SizeOfHeaders
  Put32(file, kOptional + 92, 16);      // NumberOfRvaAndSizes
  Put32(file, kDirectory, kTable);
  Put32(file, kDirectory + 4, static_cast<uint32_t>(table.size()));
  file.insert(file.end(), table.begin(), table.end());
  return file;
}

// One WIN_CERTIFICATE entry: header, `der`, then `zeros` zero bytes inside its dwLength.
std::vector<BYTE> Entry(const std::vector<BYTE>& der, size_t zeros = 0, uint16_t revision = 0x0200, uint16_t type = 2) {
  std::vector<BYTE> entry(8);
  Put32(entry, 0, static_cast<uint32_t>(8 + der.size() + zeros));
  Put16(entry, 4, revision);
  Put16(entry, 6, type);
  entry.insert(entry.end(), der.begin(), der.end());
  entry.resize(entry.size() + zeros, 0);
  return entry;
}

// The entry rounded up to 8 bytes with zeros, as a table holds it.
std::vector<BYTE> Aligned(std::vector<BYTE> entry) {
  entry.resize((entry.size() + 7) & ~size_t{7}, 0);
  return entry;
}

HRESULT ReadPe(const std::vector<BYTE>& file, PeCertificate* certificate = nullptr) {
  PeCertificate ignored{};
  return ReadPeCertificate(file, certificate != nullptr ? certificate : &ignored);
}

TEST(ImageCertificatesTest, PeTableHoldsOneEntryPaddedWithAtMostSevenZeros) {
  PeCertificate certificate{};
  ASSERT_EQ(ReadPe(PeWithTable(Aligned(Entry(Der(5)))), &certificate), S_OK) << "dwLength 13, rounded to 16";
  EXPECT_EQ(certificate.der.size(), 5u);
  EXPECT_EQ(certificate.entry.size(), 13u);
  EXPECT_EQ(certificate.tableOffset, kTable);
  EXPECT_EQ(ReadPe(PeWithTable(Entry(Der(5), 3))), S_OK) << "the padding inside dwLength";
  EXPECT_EQ(ReadPe(PeWithTable(Aligned(Entry(Der(9))))), S_OK) << "seven zeros after the DER";
  EXPECT_EQ(ReadPe(PeWithTable(Entry(Der(8), 8))), TRUST_E_MALFORMED_SIGNATURE) << "eight zeros";
  std::vector<BYTE> dirty = Entry(Der(5), 3);
  dirty.back() = 1;
  EXPECT_EQ(ReadPe(PeWithTable(dirty)), TRUST_E_MALFORMED_SIGNATURE) << "padding that is not zero";
  std::vector<BYTE> two = Aligned(Entry(Der(5)));
  const std::vector<BYTE> second = Aligned(Entry(Der(5)));
  two.insert(two.end(), second.begin(), second.end());
  EXPECT_EQ(ReadPe(PeWithTable(two)), TRUST_E_MALFORMED_SIGNATURE) << "a second entry";
  std::vector<BYTE> longer = Aligned(Entry(Der(5)));
  Put32(longer, 0, 17);  // reaches past the table
  EXPECT_EQ(ReadPe(PeWithTable(longer)), TRUST_E_MALFORMED_SIGNATURE);
}

TEST(ImageCertificatesTest, PeEntryHeaderAndSizeOfHeadersAreChecked) {
  for (const auto& [revision, type] :
       {std::pair<uint16_t, uint16_t>{0x0100, 2}, {0x0200, 0}, {0x0200, 1}, {0x0200, 0x0EF1}}) {
    EXPECT_EQ(ReadPe(PeWithTable(Aligned(Entry(Der(5), 0, revision, type)))), TRUST_E_MALFORMED_SIGNATURE)
        << std::hex << revision << " " << type;
  }
  const std::vector<BYTE> good = PeWithTable(Aligned(Entry(Der(5))));
  for (const uint32_t sizeOfHeaders : {0u, 0x100u, 0x1A0u - 1, static_cast<unsigned>(kTable) + 1, 0x10000u}) {
    std::vector<BYTE> file = good;
    Put32(file, kOptional + 60, sizeOfHeaders);
    EXPECT_EQ(ReadPe(file), TRUST_E_MALFORMED_SIGNATURE) << "SizeOfHeaders " << sizeOfHeaders;
  }
  std::vector<BYTE> exact = good;
  Put32(exact, kOptional + 60, 0x1A0);  // the headers and the one section header, no more
  EXPECT_EQ(ReadPe(exact), S_OK);
}

TEST(ImageCertificatesTest, PeFormsOtherThanASignedImage) {
  EXPECT_EQ(ReadPe({'M', 'Z'}), TRUST_E_SUBJECT_FORM_UNKNOWN);
  EXPECT_EQ(ReadPe(std::vector<BYTE>(0x200, 'x')), TRUST_E_SUBJECT_FORM_UNKNOWN);
  std::vector<BYTE> unsignedImage = PeWithTable({});
  Put32(unsignedImage, kDirectory, 0);
  EXPECT_EQ(ReadPe(unsignedImage), TRUST_E_NOSIGNATURE);
  std::vector<BYTE> appended = PeWithTable(Aligned(Entry(Der(5))));
  appended.push_back(0);
  EXPECT_EQ(ReadPe(appended), TRUST_E_MALFORMED_SIGNATURE) << "a byte after the table";
}

// The fuzzer found a PE32+ header cut short after its standard fields: reading the number
// of data directories ran past the end of the file.
TEST(ImageCertificatesTest, TruncatedPe32PlusHeaderIsNoImage) {
  for (size_t total : {0x80u + 24 + 96, 0x80u + 24 + 111, 0x80u + 24 + 140}) {
    EXPECT_EQ(ReadPe(PeHeaderOnly(0x20B, total)), TRUST_E_SUBJECT_FORM_UNKNOWN) << total;
    EXPECT_TRUE(FAILED(ReadPe(PeHeaderOnly(0x10B, total)))) << total;
  }
}

TEST(ImageCertificatesTest, ImageHelpHandsOutTheOneRecord) {
  const std::vector<BYTE> pe = PeWithTable(Aligned(Entry(Der(5))));
  DWORD count = 7;
  DWORD index = 9;
  ASSERT_TRUE(ImageEnumerateCertificates(pe, CERT_SECTION_TYPE_ANY, &count, &index, 1));
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(index, 0u);
  DWORD length = 0;
  EXPECT_FALSE(ImageGetCertificateData(pe, 0, nullptr, &length));
  EXPECT_EQ(length, 13u);
  std::vector<BYTE> record(length);
  ASSERT_TRUE(ImageGetCertificateData(pe, 0, reinterpret_cast<WIN_CERTIFICATE*>(record.data()), &length));
  EXPECT_EQ(record, std::vector<BYTE>(pe.begin() + kTable, pe.begin() + kTable + 13));
  EXPECT_FALSE(ImageEnumerateCertificates(std::vector<BYTE>(64, 'x'), CERT_SECTION_TYPE_ANY, &count, nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_BAD_EXE_FORMAT);
  EXPECT_FALSE(ImageEnumerateCertificates(PeWithTable(Entry(Der(8), 8)), CERT_SECTION_TYPE_ANY, &count, nullptr, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(TRUST_E_MALFORMED_SIGNATURE));
}

std::vector<BYTE> SignedModule(const std::vector<BYTE>& der) {
  std::vector<BYTE> file = {0x7F, 'E', 'L', 'F', 1, 2, 3, 4};
  file.insert(file.end(), der.begin(), der.end());
  const BYTE trailer[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<BYTE>(der.size())};
  file.insert(file.end(), trailer, trailer + 12);
  file.insert(file.end(), kModuleSignatureMagic, kModuleSignatureMagic + kModuleSignatureMagicLength);
  return file;
}

TEST(ImageCertificatesTest, ModuleSignatureTrailerBoundaries) {
  const std::vector<BYTE> file = SignedModule(Der(5));
  ElfSignature signature{};
  ASSERT_EQ(ReadElfSignature(file, &signature), S_OK);
  EXPECT_EQ(signature.contentLength, 8u);
  EXPECT_EQ(signature.der.size(), 5u);
  std::vector<BYTE> tooLong = file;
  tooLong[file.size() - kModuleSignatureMagicLength - 1] = 100;  // longer than the file
  EXPECT_EQ(ReadElfSignature(tooLong, &signature), TRUST_E_MALFORMED_SIGNATURE);
  std::vector<BYTE> wrongKind = file;
  wrongKind[file.size() - kModuleSignatureMagicLength - 12 + 2] = 1;  // not PKCS #7
  EXPECT_EQ(ReadElfSignature(wrongKind, &signature), TRUST_E_MALFORMED_SIGNATURE);
  std::vector<BYTE> notDer = file;
  notDer[8] = 0x31;
  EXPECT_EQ(ReadElfSignature(notDer, &signature), TRUST_E_MALFORMED_SIGNATURE);
  EXPECT_EQ(ReadElfSignature(SignedModule({0x30, 0x02, 0x05, 0x00, 0x00}), &signature), TRUST_E_MALFORMED_SIGNATURE)
      << "a byte after the DER inside the signature length";
  EXPECT_EQ(ReadElfSignature(std::vector<BYTE>(file.begin() + 1, file.end()), &signature),
            TRUST_E_SUBJECT_FORM_UNKNOWN);
  EXPECT_EQ(ReadElfSignature(std::vector<BYTE>{0x7F, 'E', 'L', 'F', 0}, &signature), TRUST_E_NOSIGNATURE);
}

// A signed cabinet's layout: 36-byte header, the 4-byte reserve sizes, the 20-byte
// signature reserve, one folder entry, a data block, then the signature.
std::vector<BYTE> SignedCabinet(const std::vector<BYTE>& signature) {
  std::vector<BYTE> file(60 + 8 + 16, 0);
  std::memcpy(file.data(), "MSCF", 4);
  const auto declared = static_cast<uint32_t>(file.size());
  Put32(file, 8, declared);
  Put32(file, 16, 68);  // coffFiles
  Put16(file, 26, 1);   // cFolders
  Put16(file, 30, 0x0004);
  Put16(file, 36, 20);
  Put32(file, 40, 0x00100000);
  Put32(file, 44, declared);
  Put32(file, 48, static_cast<uint32_t>(signature.size()));
  file.insert(file.end(), signature.begin(), signature.end());
  return file;
}

HRESULT ReadCab(const std::vector<BYTE>& file) {
  CabinetSignature signature{};
  return ReadCabinetSignature(file, &signature);
}

TEST(ImageCertificatesTest, CabinetSignatureFillsItsReserveAndNothingElse) {
  EXPECT_EQ(ReadCab(SignedCabinet(Der(5))), S_OK);
  std::vector<BYTE> padded = Der(9);
  padded.resize(16, 0);
  EXPECT_EQ(ReadCab(SignedCabinet(padded)), S_OK) << "seven zeros, as signing tools pad";
  padded = Der(8);
  padded.resize(16, 0);
  EXPECT_EQ(ReadCab(SignedCabinet(padded)), TRUST_E_MALFORMED_SIGNATURE) << "eight zeros";
  std::vector<BYTE> junk = Der(5);
  junk.insert(junk.end(), 4096, 'J');
  EXPECT_EQ(ReadCab(SignedCabinet(junk)), TRUST_E_MALFORMED_SIGNATURE) << "junk after the PKCS #7";
  const std::vector<BYTE> good = SignedCabinet(Der(5));
  const std::vector<std::pair<size_t, uint32_t>> faults = {
      {4, 0x41414141},   // reserved1
      {30, 0x0005},      // a previous cabinet
      {30, 0x0006},      // a next cabinet
      {36, 24},          // another reserve size (with cbCFFolder 0)
      {40, 0x00200000},  // not the signature reserve
      {44, 0x40},        // the signature not at the declared size
      {48, 4},           // a length that does not reach the end
  };
  for (const auto& [at, value] : faults) {
    std::vector<BYTE> file = good;
    if (at == 30 || at == 36) {
      Put16(file, at, static_cast<uint16_t>(value));
    } else {
      Put32(file, at, value);
    }
    EXPECT_EQ(ReadCab(file), TRUST_E_MALFORMED_SIGNATURE) << "offset " << at;
  }
  std::vector<BYTE> folderReserve = good;
  folderReserve[38] = 4;  // cbCFFolder: every folder entry would carry 4 more bytes
  EXPECT_EQ(ReadCab(folderReserve), TRUST_E_MALFORMED_SIGNATURE);
}

TEST(ImageCertificatesTest, CabinetRecordIsWhatFollowsTheDeclaredSize) {
  std::vector<BYTE> cabinet = {'M', 'S', 'C', 'F', 0, 0, 0, 0, 12, 0, 0, 0};
  EXPECT_FALSE(ReadCabinetRecord(cabinet)) << "nothing after the declared size";
  cabinet.insert(cabinet.end(), {0x30, 0x00});
  const auto record = ReadCabinetRecord(cabinet);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->size(), 10u);
  EXPECT_EQ((*record)[0], 10) << "the length counts the header";
  EXPECT_FALSE(ReadCabinetRecord(std::vector<BYTE>{'M', 'S', 'C', 'F', 0, 0})) << "too short for the size word";
}

}  // namespace
