// The signature fixtures made by tests/fixtures/make_fixtures.sh (a CTest fixture runs it
// before these tests), and the tampered files the tests craft from them.
#ifndef LUMORA_TESTS_TRUST_SIGNATURE_FIXTURE_H_
#define LUMORA_TESTS_TRUST_SIGNATURE_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "platform/codesign/image_certificates.h"
#include "tests/support/temp_home.h"

namespace lumora::testing {

inline std::string Fixture(const std::string& relative) {
  return std::string(LUMORA_SIGNATURE_FIXTURES) + "/" + relative;
}
inline std::string Anchors() { return Fixture("pki/anchors.pem"); }

inline std::vector<BYTE> Bytes(const std::string& path) {
  std::vector<BYTE> bytes;
  EXPECT_TRUE(ReadWholeFile(path, &bytes)) << path;
  return bytes;
}

inline void Write(const std::string& path, const std::vector<BYTE>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void PutLe32(std::vector<BYTE>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<BYTE>(value >> (8 * i));
}

inline uint32_t Le32(const std::vector<BYTE>& bytes, size_t at) {
  uint32_t value = 0;
  std::memcpy(&value, &bytes[at], 4);
  return value;
}

// Where a signed PE image's certificate table directory entry lies.
inline size_t CertificateDirectory(const std::vector<BYTE>& pe) {
  const size_t optional = Le32(pe, 0x3C) + 24;
  return optional + (pe[optional] == 0x0B && pe[optional + 1] == 0x02 ? 112 : 96) + 32;
}

struct Tampered {
  std::string name;
  std::string path;
};

// Tampered copies of signed fixtures, written into `folder`.
inline std::vector<Tampered> MakeTamperedFiles(const std::string& folder) {
  std::vector<Tampered> made;
  auto add = [&](const std::string& name, const std::vector<BYTE>& bytes) {
    const std::string path = folder + "/" + name;
    Write(path, bytes);
    made.push_back({name, path});
  };
  const std::vector<BYTE> pe = Bytes(Fixture("pe/alpha.dll"));
  const size_t directory = CertificateDirectory(pe);
  const size_t table = Le32(pe, directory);
  {
    std::vector<BYTE> bytes = pe;
    bytes[0x200] ^= 0x01;  // inside the signed headers and sections
    add("pe-content-byte.dll", bytes);
  }
  {
    std::vector<BYTE> bytes = pe;
    bytes.insert(bytes.end(), {'h', 'i', 'd', 'd', 'e', 'n', '!', '!'});
    add("pe-appended.dll", bytes);
  }
  {
    std::vector<BYTE> bytes = pe;
    PutLe32(bytes, directory + 4, Le32(pe, directory + 4) - 8);  // the table no longer reaches the end
    add("pe-table-short.dll", bytes);
  }
  {
    std::vector<BYTE> bytes = pe;
    PutLe32(bytes, table, Le32(pe, table) + 8);  // an entry longer than its PKCS #7 and padding
    PutLe32(bytes, directory + 4, Le32(pe, directory + 4) + 8);
    bytes.insert(bytes.end(), 8, 0);
    add("pe-entry-length.dll", bytes);
  }
  {
    std::vector<BYTE> bytes = pe;
    bytes[table + 8 + 40] ^= 0x01;  // the message's announced digest algorithm
    add("pe-message-byte.dll", bytes);
  }
  {
    std::vector<BYTE> bytes = pe;
    bytes[table + Le32(pe, table) - 12] ^= 0x01;  // the signature value at the end of the message
    add("pe-signature-byte.dll", bytes);
  }
  {
    // A second, different entry after the first.
    std::vector<BYTE> bytes = pe;
    const std::vector<BYTE> beta = Bytes(Fixture("pe/beta.dll"));
    const size_t betaTable = Le32(beta, CertificateDirectory(beta));
    std::vector<BYTE> second(beta.begin() + static_cast<long>(betaTable), beta.end());
    bytes.insert(bytes.end(), second.begin(), second.end());
    PutLe32(bytes, directory + 4, Le32(pe, directory + 4) + static_cast<uint32_t>(second.size()));
    add("pe-second-entry.dll", bytes);
  }
  {
    // A second entry of 4 KiB of random bytes behind a DER header: unhashed data.
    std::vector<BYTE> bytes = pe;
    std::vector<BYTE> entry(8 + 4 + 4096);
    PutLe32(entry, 0, static_cast<uint32_t>(entry.size()));
    entry[5] = 0x02;
    entry[6] = 0x02;
    entry[8] = 0x30;
    entry[9] = 0x82;
    entry[10] = 0x10;
    std::mt19937 random(8);
    for (size_t i = 12; i < entry.size(); ++i) entry[i] = static_cast<BYTE>(random());
    entry.resize((entry.size() + 7) & ~size_t{7}, 0);
    bytes.insert(bytes.end(), entry.begin(), entry.end());
    PutLe32(bytes, directory + 4, Le32(pe, directory + 4) + static_cast<uint32_t>(entry.size()));
    add("pe-random-entry.dll", bytes);
  }
  // The entry's header is outside the digest: its revision and type must be checked.
  for (const auto& [name, revision, type] :
       {std::tuple<const char*, uint16_t, uint16_t>{"pe-revision-0100.dll", 0x0100, 2},
        {"pe-type-0.dll", 0x0200, 0},
        {"pe-type-1.dll", 0x0200, 1},
        {"pe-type-0ef1.dll", 0x0200, 0x0EF1}}) {
    std::vector<BYTE> bytes = pe;
    bytes[table + 4] = static_cast<BYTE>(revision);
    bytes[table + 5] = static_cast<BYTE>(revision >> 8);
    bytes[table + 6] = static_cast<BYTE>(type);
    bytes[table + 7] = static_cast<BYTE>(type >> 8);
    add(name, bytes);
  }
  const std::vector<BYTE> cab = Bytes(Fixture("cab/alpha.cab"));
  {
    std::vector<BYTE> bytes = cab;
    bytes[Le32(cab, 16) + 2] ^= 0x01;  // inside the file entries
    add("cab-content-byte.cab", bytes);
  }
  {
    std::vector<BYTE> bytes = cab;
    bytes[Le32(cab, 8) + 60] ^= 0x01;  // inside the signed message
    add("cab-message-byte.cab", bytes);
  }
  {
    std::vector<BYTE> bytes = cab;
    bytes.insert(bytes.end(), {0, 0, 0, 0});
    add("cab-appended.cab", bytes);
  }
  {
    // reserved1 is outside the digest.
    std::vector<BYTE> bytes = cab;
    PutLe32(bytes, 4, 0x41414141);
    add("cab-reserved1.cab", bytes);
  }
  {
    // The signature's length (outside the digest) grown over 4 KiB of junk after the PKCS #7.
    std::vector<BYTE> bytes = cab;
    PutLe32(bytes, 48, Le32(cab, 48) + 4096);
    for (int i = 0; i < 4096; ++i) bytes.push_back(static_cast<BYTE>('J' + i % 7));
    add("cab-junk.cab", bytes);
  }
  const std::vector<BYTE> elf = Bytes(Fixture("elf/alpha.so"));
  {
    std::vector<BYTE> bytes = elf;
    bytes[0x100] ^= 0x01;
    add("elf-content-byte.so", bytes);
  }
  {
    std::vector<BYTE> bytes = elf;
    bytes[bytes.size() - kModuleSignatureMagicLength - 12 + 3] = 1;  // a trailer byte that must be zero
    add("elf-trailer.so", bytes);
  }
  {
    std::vector<BYTE> bytes = elf;
    PutLe32(bytes, bytes.size() - kModuleSignatureMagicLength - 4, 0xFFFFFF7F);  // length past the file
    add("elf-length.so", bytes);
  }
  return made;
}

}  // namespace lumora::testing

#endif  // LUMORA_TESTS_TRUST_SIGNATURE_FIXTURE_H_
