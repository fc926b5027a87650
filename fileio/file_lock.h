// FileLock: an advisory lock (flock) on a lock file, held from Lock until Unlock or the
// lock's end. Several processes serialise their work on one file through it: readers
// take it shared, writers exclusive. Each FileLock opens its own descriptor, so two
// locks of one process on the same file contend like two processes. A FileLock is used
// by one thread at a time.
#ifndef LUMORA_FILEIO_FILE_LOCK_H_
#define LUMORA_FILEIO_FILE_LOCK_H_

#include <chrono>
#include <string>

#include "file_descriptor.h"

namespace lumora::fileio {

enum class LockMode { kShared, kExclusive };

class FileLock {
 public:
  static constexpr std::chrono::milliseconds kNoWait{0};
  static constexpr std::chrono::milliseconds kWaitForever{-1};

  FileLock() = default;
  FileLock(FileLock&&) noexcept = default;
  FileLock& operator=(FileLock&&) noexcept = default;

  // Opens the lock file at `path` (creating it with kStateFileMode; a lock file the
  // caller may only read is opened for reading) and takes the lock in `mode`. With
  // kNoWait it tries once, kWaitForever blocks until the lock is free, any other wait
  // gives up after that long. 0, EWOULDBLOCK when the lock stayed taken, or the errno
  // of opening the file. A lock already held is released first.
  int Lock(const std::string& path, LockMode mode, std::chrono::milliseconds wait = kWaitForever);
  void Unlock() { m_fd.reset(); }
  bool held() const { return static_cast<bool>(m_fd); }

 private:
  FileDescriptor m_fd;
};

}  // namespace lumora::fileio

#endif  // LUMORA_FILEIO_FILE_LOCK_H_
