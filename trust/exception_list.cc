// Loading the exception list.
#include "exception_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "common/process_state.h"
#include "common/settings_client.h"
#include "platform/process/path_search.h"
#include "platform/process/resource_library.h"
#include "platform/process/system_info.h"
#include "validate_exe.h"

namespace lumora {
namespace {

constexpr size_t kPathBuffer = 260;
constexpr int kStringBuffer = 512;

struct ExceptionListState {
  std::vector<std::string> entries;
  bool loaded = false;
  std::string installDirectory;  // cached once read non-empty
};

ExceptionListState& State() {
  static ExceptionListState state;  // guarded by ProcessStateMutex; lives as long as the component
  return state;
}

std::string InstallDirectory(bool cached) {
  std::string& directory = State().installDirectory;
  if (cached && !directory.empty()) return directory;
  std::string read;
  if (SUCCEEDED(ReadSetting(kSettingInstallDirectory, &read)) && !read.empty()) directory = read;
  return read;
}

// The whole file, read through one open descriptor.
bool ReadOpenFile(int fd, std::vector<BYTE>* bytes) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  bytes->resize(static_cast<size_t>(info.st_size));
  size_t done = 0;
  while (done < bytes->size()) {
    const ssize_t n = ::pread(fd, bytes->data() + done, bytes->size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Reads the signed list file: its signature is checked on the very file that was opened
// (through the descriptor's own name, so a file renamed into place afterwards cannot lend
// its names to another file's signature) and its strings are read from that file.
bool ReadSignedList(const std::string& path, std::vector<std::vector<std::string>>* lists) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::vector<BYTE> bytes;
  bool ok = ValidateExe("/proc/self/fd/" + std::to_string(fd)).Validate() && ReadOpenFile(fd, &bytes);
  ::close(fd);
  if (!ok) return false;
  HMODULE library = LoadDataLibraryFromBytes(bytes);
  if (library == nullptr) return false;
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  ok = GetVersionExA(&version) != FALSE;
  if (ok) {
    std::vector<UINT> ids = {1, 2};
    // The Windows families also name their own system modules; this platform is none of them.
    if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) ids.push_back(version.dwMinorVersion < 10 ? 4 : 5);
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) ids.push_back(version.dwMajorVersion == 4 ? 6 : 7);
    for (UINT id : ids) {
      char buffer[kStringBuffer];
      LoadStringA(library, id, buffer, kStringBuffer);
      lists->push_back(SplitExceptionNames(buffer));
    }
  }
  FreeLibrary(library);
  return ok;
}

}  // namespace

std::vector<std::string> SplitExceptionNames(std::string_view text) {
  std::vector<std::string> names;
  while (true) {
    const size_t bar = text.find('|');
    std::string_view piece = text.substr(0, bar);
    while (!piece.empty() && piece.front() == ' ') piece.remove_prefix(1);
    while (!piece.empty() && piece.back() == ' ') piece.remove_suffix(1);
    if (!piece.empty()) names.emplace_back(piece);
    if (bar == std::string_view::npos) break;
    text.remove_prefix(bar + 1);
  }
  return names;
}

bool AddException(std::string_view name, bool useInstallDirectory) {
  std::lock_guard lock(ProcessStateMutex());
  std::string path;
  if (useInstallDirectory) {
    const std::string directory = InstallDirectory(true);
    if (!directory.empty() && directory.size() + 1 + name.size() + 1 <= kPathBuffer) {
      path = directory + "/" + std::string(name);
    }
  }
  if (path.empty() && !SearchLibraryPath(name, &path)) return false;
  State().entries.push_back(CanonicalPath(path));
  return true;
}

bool LoadExceptionList() {
  std::lock_guard lock(ProcessStateMutex());
  ExceptionListState& state = State();
  if (state.loaded) return true;
  if (!state.entries.empty()) {
    state.loaded = true;
    return true;
  }
  const std::string directory = InstallDirectory(false);
  std::vector<std::vector<std::string>> lists;
  bool ok = ReadSignedList(directory + "/" + kExceptionListFile, &lists);
  if (ok) {
    ok = false;
    for (const auto& list : lists) ok = ok || !list.empty();
  }
  if (ok) {
    // The runtime (second string) is the product's own: the installation directory keeps
    // a link to it. The others are the system's, wherever the loader finds them.
    for (size_t i = 0; i < lists.size(); ++i) {
      for (const std::string& name : lists[i]) AddException(name, i == 1);
    }
  }
  state.loaded = ok;
  return ok;
}

std::vector<std::string> ExceptionListEntries() {
  std::lock_guard lock(ProcessStateMutex());
  return State().entries;
}

void ResetExceptionListForTests() {
  std::lock_guard lock(ProcessStateMutex());
  State() = ExceptionListState();
}

}  // namespace lumora
