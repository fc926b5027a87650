// Advisory locks on lock files.
#include "file_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <thread>

namespace lumora::fileio {
namespace {

// How often a bounded wait looks again: flock itself cannot time out.
constexpr std::chrono::milliseconds kPollInterval{10};

}  // namespace

int FileLock::Lock(const std::string& path, LockMode mode, std::chrono::milliseconds wait) {
  Unlock();
  FileDescriptor fd;
  int error = OpenFile(path, O_RDWR | O_CREAT, &fd);
  // flock needs no write access: a member who may only read the lock file still locks.
  if (error == EACCES || error == EROFS || error == EPERM) error = OpenFile(path, O_RDONLY, &fd);
  if (error != 0) return error;
  const int operation = mode == LockMode::kShared ? LOCK_SH : LOCK_EX;
  if (wait == kWaitForever) {
    while (::flock(fd.get(), operation) != 0) {
      if (errno != EINTR) return errno;
    }
  } else {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (::flock(fd.get(), operation | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) return errno;
      if (std::chrono::steady_clock::now() >= deadline) return EWOULDBLOCK;
      std::this_thread::sleep_for(kPollInterval);
    }
  }
  m_fd = std::move(fd);
  return 0;
}

}  // namespace lumora::fileio
