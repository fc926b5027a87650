// MappedFile: a regular file mapped read-only for the object's lifetime, the one read of a
// file under check. Nothing is copied: the pages come from the page cache and stay the
// file's own even when its path is renamed over or removed meanwhile. Any thread; the
// object's bytes may be read from several threads at once.
#ifndef LUMORA_PLATFORM_CODESIGN_MAPPED_FILE_H_
#define LUMORA_PLATFORM_CODESIGN_MAPPED_FILE_H_

#include <cstdint>
#include <span>
#include <string>

#include "lumora/automation.h"

using FileBytes = std::span<const BYTE>;

// What tells one state of a file from another without reading it: any change of its
// content moves its change time (which no unprivileged user can set back).
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;
  int64_t modifiedNs = 0;
  int64_t changedNs = 0;
  bool operator==(const FileIdentity&) const = default;
};

// A writer that truncates the very file in place takes the pages past its new end away
// from every mapping of it, and a reader touching them gets SIGBUS. While a MappedFile
// lives, such a fault inside its bytes does not end the process: from the faulting page on
// the mapping reads as zeros and CutShort() says so, so that no verdict rests on those
// bytes. (A handler for SIGBUS is in place while any MappedFile lives; it hands every
// other fault to the handler it replaced, which is back when the last one goes.)
// Opening never blocks: a FIFO is refused, not waited on.
class MappedFile {
 public:
  explicit MappedFile(const std::string& path);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  bool ok() const { return m_error == 0; }
  // Why the file could not be mapped: ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED,
  // ERROR_DIRECTORY_NOT_SUPPORTED, ERROR_BAD_EXE_FORMAT (not a regular file), or
  // ERROR_INVALID_HANDLE (any other failure); 0 when mapped.
  DWORD error() const { return m_error; }
  FileBytes bytes() const { return {m_data, m_size}; }
  // True once the file was found cut short under the mapping.
  bool CutShort() const;
  // The identity of the mapped file, taken when it was opened.
  const FileIdentity& identity() const { return m_identity; }

 private:
  const BYTE* m_data = nullptr;
  size_t m_size = 0;
  DWORD m_error = 0;
  FileIdentity m_identity;
  int m_guard = -1;  // the guarded range this mapping holds, or -1
};

#endif  // LUMORA_PLATFORM_CODESIGN_MAPPED_FILE_H_
