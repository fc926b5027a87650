// Descriptors and the product's way of creating, writing and syncing files.
#include "file_descriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace lumora::fileio {

void FileDescriptor::reset(int fd) {
  if (m_fd >= 0 && m_fd != fd) ::close(m_fd);
  m_fd = fd;
}

int OpenFile(const std::string& path, int flags, FileDescriptor* fd, bool* created) {
  if (created != nullptr) *created = false;
  // A state file is never reached through a link: in a folder shared by a group, a
  // member could otherwise point a state or lock file at a file of another user's and
  // have that user's process write or create it.
  if ((flags & O_DIRECTORY) == 0) flags |= O_NOFOLLOW;
  if ((flags & O_CREAT) == 0) {
    int opened = -1;
    while ((opened = ::open(path.c_str(), flags | O_CLOEXEC)) < 0 && errno == EINTR) {
    }
    if (opened < 0) return errno;
    fd->reset(opened);
    return 0;
  }
  // Create exclusively first, so that only a file made here has its mode set: the
  // umask would otherwise narrow or widen it, and an existing file is not ours to change.
  for (;;) {
    const int made = ::open(path.c_str(), flags | O_EXCL | O_CLOEXEC, kStateFileMode);
    if (made >= 0) {
      fd->reset(made);
      if (::fchmod(made, kStateFileMode) != 0) return errno;
      if (created != nullptr) *created = true;
      return 0;
    }
    if (errno == EINTR) continue;
    if (errno != EEXIST || (flags & O_EXCL) != 0) return errno;
    const int existing = ::open(path.c_str(), (flags & ~O_CREAT) | O_CLOEXEC);
    if (existing >= 0) {
      fd->reset(existing);
      return 0;
    }
    // Removed between the two opens (or interrupted): try again.
    if (errno != ENOENT && errno != EINTR) return errno;
  }
}

int WriteFully(int fd, std::string_view data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    done += static_cast<size_t>(n);
  }
  return 0;
}

int ReadAt(int fd, void* buffer, size_t size, off_t offset, size_t* done) {
  *done = 0;
  while (*done < size) {
    const ssize_t n = ::pread(fd, static_cast<char*>(buffer) + *done, size - *done, offset + static_cast<off_t>(*done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) break;
    *done += static_cast<size_t>(n);
  }
  return 0;
}

int SyncFile(int fd) {
  while (::fsync(fd) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

int SyncFolderOf(const std::string& path) {
  FileDescriptor folder;
  const int error = OpenFile(FolderOf(path), O_RDONLY | O_DIRECTORY, &folder);
  if (error != 0) return error;
  return SyncFile(folder.get());
}

}  // namespace lumora::fileio
