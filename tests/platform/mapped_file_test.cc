// The mapping a check reads a file through: a file cut short in place under it must not
// end the process, and nothing of the guard may outlive the mappings.
#include "platform/codesign/mapped_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <numeric>

#include "tests/support/temp_home.h"

namespace {

void WriteFile(const std::string& path, size_t size, char fill) {
  std::ofstream(path, std::ios::binary) << std::string(size, fill);
}

struct sigaction BusHandler() {
  struct sigaction current = {};
  ::sigaction(SIGBUS, nullptr, &current);
  return current;
}

// Cutting a mapped file short once raised SIGBUS in the reader, ending the host process.
TEST(MappedFileTest, AFileCutShortUnderTheMappingReadsAsZerosAndSaysSo) {
  lumora::testing::TempHome home;
  const std::string path = home.path() + "/file";
  WriteFile(path, 1 << 20, '\xAB');
  const struct sigaction before = BusHandler();
  {
    const MappedFile file(path);
    ASSERT_TRUE(file.ok());
    EXPECT_FALSE(file.CutShort());
    ASSERT_EQ(::truncate(path.c_str(), 5000), 0);
    const FileBytes bytes = file.bytes();
    const size_t sum = std::accumulate(bytes.begin(), bytes.end(), size_t{0});
    EXPECT_TRUE(file.CutShort());
    EXPECT_EQ(sum, size_t{0xAB} * 5000) << "the file's first 5000 bytes, zeros after them";
    EXPECT_EQ(bytes[4999], 0xAB);
    EXPECT_EQ(bytes[bytes.size() - 1], 0);

    const MappedFile other(path);
    EXPECT_FALSE(other.CutShort()) << "a mapping made afterwards was never cut";
    EXPECT_EQ(other.bytes().size(), 5000u);
  }
  const struct sigaction after = BusHandler();
  EXPECT_EQ(after.sa_handler, before.sa_handler) << "the replaced handler is back";
}

TEST(MappedFileTest, OtherBusErrorsStillEndTheProcess) {
  lumora::testing::TempHome home;
  const std::string guarded = home.path() + "/guarded";
  const std::string foreign = home.path() + "/foreign";
  WriteFile(guarded, 8192, 'g');
  WriteFile(foreign, 1 << 16, 'f');
  const MappedFile file(guarded);
  ASSERT_TRUE(file.ok());
  EXPECT_DEATH(
      {
        const int fd = ::open(foreign.c_str(), O_RDWR);
        auto* mapped = static_cast<volatile char*>(::mmap(nullptr, 1 << 16, PROT_READ, MAP_SHARED, fd, 0));
        ::ftruncate(fd, 0);
        (void)mapped[1 << 15];
      },
      "");
}

TEST(MappedFileTest, WhatIsNoRegularFileIsNotMapped) {
  lumora::testing::TempHome home;
  EXPECT_EQ(MappedFile(home.path() + "/missing").error(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(MappedFile(home.path()).error(), ERROR_DIRECTORY_NOT_SUPPORTED);
  const std::string fifo = home.path() + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(MappedFile(fifo).error(), ERROR_BAD_EXE_FORMAT) << "refused, never waited on";
  const std::string empty = home.path() + "/empty";
  WriteFile(empty, 0, 0);
  const MappedFile nothing(empty);
  EXPECT_TRUE(nothing.ok());
  EXPECT_TRUE(nothing.bytes().empty());
}

}  // namespace
