// Whole-file replacement through a synced temporary file and a rename.
#include "atomic_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace lumora::fileio {

int AtomicFile::Begin(const std::string& target) {
  Abandon();
  std::string pattern = target + ".tmp-XXXXXX";
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return errno;
  m_fd.reset(fd);
  m_target = target;
  m_temporary = pattern;
  // mkostemp makes the file 0600; the replacement must be shared like the file it replaces.
  if (::fchmod(fd, kStateFileMode) != 0) {
    const int error = errno;
    Abandon();
    return error;
  }
  return 0;
}

int AtomicFile::Write(std::string_view data) {
  if (!m_fd) return EBADF;
  return WriteFully(m_fd.get(), data);
}

int AtomicFile::Commit() { return Finish(true); }

int AtomicFile::CommitAsNew() { return Finish(false); }

int AtomicFile::Finish(bool replace) {
  if (!m_fd) return EBADF;
  // fsync works on the file, not the descriptor: it also flushes what another writer
  // (a database engine filling the file by name) put there.
  int error = SyncFile(m_fd.get());
  if (error == 0) {
    // link() refuses an existing name, which rename() would silently replace.
    const int placed =
        replace ? ::rename(m_temporary.c_str(), m_target.c_str()) : ::link(m_temporary.c_str(), m_target.c_str());
    if (placed != 0) error = errno;
  }
  if (error != 0) {
    Abandon();
    return error;
  }
  if (!replace) ::unlink(m_temporary.c_str());
  m_fd.reset();
  m_temporary.clear();
  // The new file is in place and visible from here on, so the change is not reported as
  // failed: the folder's sync only makes the rename survive a crash sooner.
  SyncFolderOf(m_target);
  return 0;
}

void AtomicFile::Abandon() {
  if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
  m_temporary.clear();
  m_fd.reset();
}

int ReplaceFile(const std::string& target, std::string_view data) {
  AtomicFile file;
  int error = file.Begin(target);
  if (error == 0) error = file.Write(data);
  if (error == 0) error = file.Commit();
  return error;
}

}  // namespace lumora::fileio
