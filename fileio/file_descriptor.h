// FileDescriptor owns one open file descriptor and closes it when it goes; the free
// functions beside it open, write and sync files the way every state file of the
// product is handled: created readable and writable by owner and group only (0660,
// whatever the umask), written fully, synced. Results are 0 or an errno value. Any
// thread; a descriptor is used by one thread at a time.
#ifndef LUMORA_FILEIO_FILE_DESCRIPTOR_H_
#define LUMORA_FILEIO_FILE_DESCRIPTOR_H_

#include <fcntl.h>
#include <sys/types.h>

#include <string>
#include <string_view>

namespace lumora::fileio {

// The mode of every file the product creates: owner and group read and write. In a
// shared installation the state folder belongs to the product's group with the
// set-group-id bit, so its members share the files and nobody else reads them.
inline constexpr mode_t kStateFileMode = 0660;

class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() { reset(); }
  FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.detach()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) reset(other.detach());
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return m_fd; }
  explicit operator bool() const { return m_fd >= 0; }
  // Closes the descriptor held (if any) and takes `fd`.
  void reset(int fd = -1);
  // Hands the descriptor over to the caller, who closes it.
  int detach() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
  }

 private:
  int m_fd = -1;
};

// Opens `path` with `flags` (O_CLOEXEC is always added, and O_NOFOLLOW for anything but
// a folder: a symbolic link in the last place gives ELOOP). With O_CREAT a file that
// does not exist yet is created with kStateFileMode whatever the process's umask, and
// *created (when given) says whether this call made it; an existing file keeps its mode.
int OpenFile(const std::string& path, int flags, FileDescriptor* fd, bool* created = nullptr);

// Writes all of `data`, retrying short writes and interruptions.
int WriteFully(int fd, std::string_view data);
// Reads up to `size` bytes at `offset`, retrying interruptions; *done gets the count.
int ReadAt(int fd, void* buffer, size_t size, off_t offset, size_t* done);

// Syncs a file's data and metadata to the disk.
int SyncFile(int fd);
// Syncs the folder holding `path`, so that a name just created, renamed or removed
// there survives a crash.
int SyncFolderOf(const std::string& path);

// The folder part of `path` ("." for a bare name).
std::string FolderOf(const std::string& path);

}  // namespace lumora::fileio

#endif  // LUMORA_FILEIO_FILE_DESCRIPTOR_H_
