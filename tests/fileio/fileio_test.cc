// The file helpers under the product's state: modes whatever the umask, locks between
// descriptors and processes (also when a holder is killed), and replacements that a
// reader or a crash never sees half done.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "fileio/atomic_file.h"
#include "fileio/file_descriptor.h"
#include "fileio/file_lock.h"
#include "tests/support/temp_home.h"

namespace lumora::fileio {
namespace {

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

std::string Read(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

size_t EntriesIn(const std::string& folder) {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
  return count;
}

// Runs the body under `mask` and puts the process's umask back.
template <class Body>
void UnderUmask(mode_t mask, Body body) {
  const mode_t previous = ::umask(mask);
  body();
  ::umask(previous);
}

TEST(FileIoTest, NewFilesAreForOwnerAndGroupWhateverTheUmask) {
  testing::TempHome home;
  for (const mode_t mask : {mode_t{0}, mode_t{022}, mode_t{077}}) {
    SCOPED_TRACE(mask);
    UnderUmask(mask, [&] {
      const std::string created = home.path() + "/created";
      FileDescriptor fd;
      bool made = false;
      ASSERT_EQ(OpenFile(created, O_WRONLY | O_CREAT, &fd, &made), 0);
      EXPECT_TRUE(made);
      EXPECT_EQ(ModeOf(created), 0660u);
      ASSERT_EQ(OpenFile(created, O_WRONLY | O_CREAT, &fd, &made), 0);
      EXPECT_FALSE(made) << "an existing file is opened, not made";

      const std::string replaced = home.path() + "/replaced";
      std::ofstream(replaced) << "old";
      ::chmod(replaced.c_str(), 0644);
      ASSERT_EQ(ReplaceFile(replaced, "new"), 0);
      EXPECT_EQ(Read(replaced), "new");
      EXPECT_EQ(ModeOf(replaced), 0660u) << "a replacement is made like a new file";

      FileLock lock;
      ASSERT_EQ(lock.Lock(home.path() + "/locked.lock", LockMode::kShared), 0);
      EXPECT_EQ(ModeOf(home.path() + "/locked.lock"), 0660u);
      std::filesystem::remove(created);
      std::filesystem::remove(home.path() + "/locked.lock");
    });
  }
  // An existing file keeps the mode someone gave it.
  const std::string own = home.path() + "/own";
  std::ofstream(own) << "x";
  ::chmod(own.c_str(), 0600);
  FileDescriptor fd;
  ASSERT_EQ(OpenFile(own, O_RDWR | O_CREAT, &fd), 0);
  EXPECT_EQ(ModeOf(own), 0600u);
  EXPECT_EQ(OpenFile(home.path() + "/missing", O_RDONLY, &fd), ENOENT);
  EXPECT_EQ(OpenFile(home.path() + "/missing/below", O_RDWR | O_CREAT, &fd), ENOENT);
}

// In a folder shared by a group, a member must not be able to point a state or lock file
// at someone else's file and have their process write or create it.
TEST(FileIoTest, StateFilesAreNeverReachedThroughALink) {
  testing::TempHome home;
  const std::string victim = home.path() + "/victim";
  std::ofstream(victim) << "precious";
  const std::string planted = home.path() + "/notices.jsonl";
  std::filesystem::create_symlink(victim, planted);
  FileDescriptor fd;
  EXPECT_EQ(OpenFile(planted, O_WRONLY | O_CREAT | O_APPEND, &fd), ELOOP);
  EXPECT_EQ(OpenFile(planted, O_RDONLY, &fd), ELOOP);
  FileLock lock;
  std::filesystem::create_symlink(home.path() + "/created-by-a-lock", home.path() + "/notices.jsonl.lock");
  EXPECT_EQ(lock.Lock(home.path() + "/notices.jsonl.lock", LockMode::kExclusive), ELOOP);
  EXPECT_FALSE(std::filesystem::exists(home.path() + "/created-by-a-lock"));
  ASSERT_EQ(ReplaceFile(planted, "replaced"), 0) << "a replacement takes the link's place";
  EXPECT_EQ(Read(victim), "precious");
  EXPECT_FALSE(std::filesystem::is_symlink(planted));
  EXPECT_EQ(SyncFolderOf(planted), 0);
}

TEST(FileIoTest, ReplacementsAreWholeOrNotAtAll) {
  testing::TempHome home;
  const std::string target = home.path() + "/target";
  ASSERT_EQ(ReplaceFile(target, "first"), 0) << "a replacement also makes a file that is not there yet";
  {
    AtomicFile abandoned;
    ASSERT_EQ(abandoned.Begin(target), 0);
    ASSERT_EQ(abandoned.Write("never seen"), 0);
    EXPECT_TRUE(std::filesystem::exists(abandoned.TemporaryPath()));
    EXPECT_EQ(Read(target), "first") << "nothing shows before the commit";
  }
  EXPECT_EQ(Read(target), "first");
  EXPECT_EQ(EntriesIn(home.path()), 1u) << "an abandoned temporary file is removed";

  AtomicFile fresh;
  ASSERT_EQ(fresh.Begin(target), 0);
  ASSERT_EQ(fresh.Write("second"), 0);
  EXPECT_EQ(fresh.CommitAsNew(), EEXIST) << "a new file never overwrites another";
  EXPECT_EQ(Read(target), "first");
  EXPECT_EQ(EntriesIn(home.path()), 1u);
  const std::string other = home.path() + "/other";
  ASSERT_EQ(fresh.Begin(other), 0);
  ASSERT_EQ(fresh.Write("third"), 0);
  ASSERT_EQ(fresh.CommitAsNew(), 0);
  EXPECT_EQ(Read(other), "third");
  EXPECT_EQ(EntriesIn(home.path()), 2u);
  EXPECT_EQ(fresh.Commit(), EBADF) << "a commit needs a begin";
  EXPECT_NE(ReplaceFile(home.path() + "/no/such/folder", "x"), 0);
}

// A writer killed at any moment leaves the old file or the new one, whole; a reader at
// any moment sees one of them, whole.
TEST(FileIoTest, AKilledWriterLeavesAWholeFile) {
  testing::TempHome home;
  const std::string target = home.path() + "/state";
  const size_t kSize = 256 * 1024;
  ASSERT_EQ(ReplaceFile(target, std::string(kSize, 'a')), 0);
  for (int round = 0; round < 8; ++round) {
    const pid_t writer = fork();
    if (writer == 0) {
      for (char c = 'b';; c = c == 'z' ? 'b' : static_cast<char>(c + 1)) {
        if (ReplaceFile(target, std::string(kSize, c)) != 0) _exit(1);
      }
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(10 + 7 * round);
    while (std::chrono::steady_clock::now() < until) {
      const std::string seen = Read(target);
      ASSERT_EQ(seen.size(), kSize);
      ASSERT_EQ(seen.find_first_not_of(seen[0]), std::string::npos) << "a reader saw two versions mixed";
    }
    ::kill(writer, SIGKILL);
    int status = 0;
    ::waitpid(writer, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer failed on its own";
    const std::string after = Read(target);
    ASSERT_EQ(after.size(), kSize);
    EXPECT_EQ(after.find_first_not_of(after[0]), std::string::npos);
  }
}

TEST(FileIoTest, LocksExcludeAcrossDescriptorsAndProcesses) {
  testing::TempHome home;
  const std::string path = home.path() + "/state.lock";
  FileLock first, second, writer;
  ASSERT_EQ(first.Lock(path, LockMode::kShared), 0);
  ASSERT_EQ(second.Lock(path, LockMode::kShared, FileLock::kNoWait), 0) << "readers share";
  EXPECT_EQ(writer.Lock(path, LockMode::kExclusive, FileLock::kNoWait), EWOULDBLOCK);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(writer.Lock(path, LockMode::kExclusive, std::chrono::milliseconds(60)), EWOULDBLOCK);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60)) << "it waited";
  EXPECT_FALSE(writer.held());
  first.Unlock();
  second = FileLock();
  ASSERT_EQ(writer.Lock(path, LockMode::kExclusive, FileLock::kNoWait), 0);
  EXPECT_EQ(first.Lock(path, LockMode::kShared, FileLock::kNoWait), EWOULDBLOCK) << "the writer excludes readers";
  writer.Unlock();

  // A process that holds the lock and is killed gives it back.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = fork();
  if (holder == 0) {
    FileLock held;
    if (held.Lock(path, LockMode::kExclusive) != 0) _exit(1);
    (void)!write(ready[1], "x", 1);
    pause();
    _exit(0);
  }
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  EXPECT_EQ(first.Lock(path, LockMode::kShared, FileLock::kNoWait), EWOULDBLOCK);
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  EXPECT_EQ(first.Lock(path, LockMode::kShared, std::chrono::seconds(5)), 0);
  close(ready[0]);
  close(ready[1]);
  EXPECT_EQ(first.Lock(home.path() + "/no/such/folder.lock", LockMode::kShared), ENOENT);
  EXPECT_FALSE(first.held()) << "a failed lock holds nothing";
}

}  // namespace
}  // namespace lumora::fileio
