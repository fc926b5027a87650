// The record readers on hand-made inputs: regressions found by the fuzzer and the
// boundaries of the module-signature trailer.
#include "platform/codesign/image_certificates.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

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

// The fuzzer found a PE32+ header cut short after its standard fields: reading the number
// of data directories ran past the end of the file.
TEST(ImageCertificatesTest, TruncatedPe32PlusHeaderIsNoImage) {
  for (size_t total : {0x80u + 24 + 96, 0x80u + 24 + 111, 0x80u + 24 + 140}) {
    EXPECT_FALSE(ReadPeCertificates(PeHeaderOnly(0x20B, total))) << total;
    EXPECT_FALSE(ReadPeCertificates(PeHeaderOnly(0x10B, total))) << total;
  }
  EXPECT_FALSE(ReadPeCertificates(std::vector<BYTE>{'M', 'Z'}));
}

TEST(ImageCertificatesTest, ModuleSignatureTrailerBoundaries) {
  std::vector<BYTE> file = {0x7F, 'E', 'L', 'F', 1, 2, 3, 4};
  const std::vector<BYTE> der = {0x30, 0x03, 0x02, 0x01, 0x05};
  file.insert(file.end(), der.begin(), der.end());
  const BYTE trailer[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 5};
  file.insert(file.end(), trailer, trailer + 12);
  file.insert(file.end(), kModuleSignatureMagic, kModuleSignatureMagic + kModuleSignatureMagicLength);
  const auto signature = ReadElfSignature(file);
  ASSERT_TRUE(signature);
  EXPECT_EQ(signature->contentLength, 8u);
  EXPECT_EQ(signature->record.size(), 8u + der.size());
  std::vector<BYTE> tooLong = file;
  tooLong[file.size() - kModuleSignatureMagicLength - 1] = 100;  // longer than the file
  EXPECT_FALSE(ReadElfSignature(tooLong));
  std::vector<BYTE> wrongKind = file;
  wrongKind[file.size() - kModuleSignatureMagicLength - 12 + 2] = 1;  // not PKCS #7
  EXPECT_FALSE(ReadElfSignature(wrongKind));
  std::vector<BYTE> notDer = file;
  notDer[8] = 0x31;
  EXPECT_FALSE(ReadElfSignature(notDer));
  EXPECT_FALSE(ReadElfSignature(std::vector<BYTE>(file.begin() + 1, file.end()))) << "no ELF magic";
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
