// AtomicFile replaces a file whole: the new content goes to a fresh temporary file
// beside the target (created with kStateFileMode), which Commit syncs, renames over the
// target and makes durable by syncing the folder. A reader opens the old file or the new
// one, never a mixture, and a crash at any point leaves one of them in place. Writers of
// one target must be serialised by the caller (they hold the target's lock). Results
// are 0 or an errno value. One thread at a time.
#ifndef LUMORA_FILEIO_ATOMIC_FILE_H_
#define LUMORA_FILEIO_ATOMIC_FILE_H_

#include <string>
#include <string_view>

#include "file_descriptor.h"

namespace lumora::fileio {

class AtomicFile {
 public:
  AtomicFile() = default;
  // A temporary file that was never committed is removed.
  ~AtomicFile() { Abandon(); }
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the empty temporary file for `target` ("<target>.tmp-XXXXXX").
  int Begin(const std::string& target);
  // The temporary file, for writers that fill it by name (a database engine).
  const std::string& TemporaryPath() const { return m_temporary; }
  int Write(std::string_view data);
  // Syncs the temporary, renames it over the target and syncs the folder. On failure
  // the temporary is removed and the target is left as it was; once the rename is done
  // the replacement counts as made.
  int Commit();
  // Like Commit, but only when no file of the target's name exists yet (EEXIST then):
  // how a file that must never overwrite another is made whole or not at all.
  int CommitAsNew();
  // Removes the temporary, if there is one; the target is untouched.
  void Abandon();

 private:
  int Finish(bool replace);

  std::string m_target;
  std::string m_temporary;
  FileDescriptor m_fd;
};

// Replaces the file at `target` by one holding `data`.
int ReplaceFile(const std::string& target, std::string_view data);

}  // namespace lumora::fileio

#endif  // LUMORA_FILEIO_ATOMIC_FILE_H_
