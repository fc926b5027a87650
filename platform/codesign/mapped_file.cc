// The mapping of a file under check, and the guard that keeps a file cut short under it
// from ending the process.
#include "mapped_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>

namespace {

// The mappings a SIGBUS may concern. The handler reads them without a lock: a range's end
// is published before its begin, and its begin withdrawn first.
struct GuardedRange {
  std::atomic<bool> taken{false};
  std::atomic<uintptr_t> begin{0};
  std::atomic<uintptr_t> end{0};  // rounded up to whole pages, as the mapping is
  std::atomic<bool> cutShort{false};
};
constexpr int kGuardedRanges = 64;
GuardedRange g_ranges[kGuardedRanges];

// The handler is in place while any range is guarded: the first guard installs it, the
// last puts back the one it replaced. All under the lock; the handler itself takes none.
std::mutex g_handlerLock;
int g_guards = 0;                  // guarded by g_handlerLock
struct sigaction g_replaced = {};  // written under g_handlerLock while no range is guarded
uintptr_t g_pageSize = 4096;

void OnBusError(int signal, siginfo_t* info, void* context) {
  const auto at = reinterpret_cast<uintptr_t>(info->si_addr);
  for (GuardedRange& range : g_ranges) {
    const uintptr_t begin = range.begin.load(std::memory_order_acquire);
    if (begin == 0 || at < begin) continue;
    const uintptr_t end = range.end.load(std::memory_order_acquire);
    if (at >= end) continue;
    // The file was cut short in place: the pages past its new end are gone. From the
    // faulting page on the mapping reads as zeros (mapped by the system call itself, which
    // a signal handler may make), and its owner learns that the file changed.
    const uintptr_t page = at & ~(g_pageSize - 1);
    if (::syscall(SYS_mmap, page, end - page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != -1) {
      range.cutShort.store(true, std::memory_order_release);
      return;
    }
    break;
  }
  // Not ours, or beyond mending: what would have happened without us.
  if ((g_replaced.sa_flags & SA_SIGINFO) != 0 && g_replaced.sa_sigaction != nullptr) {
    g_replaced.sa_sigaction(signal, info, context);
  } else if (g_replaced.sa_handler != SIG_DFL && g_replaced.sa_handler != SIG_IGN) {
    g_replaced.sa_handler(signal);
  } else {
    ::signal(SIGBUS, SIG_DFL);  // the faulting access repeats and ends the process
  }
}

int Guard(const BYTE* data, size_t size) {
  std::lock_guard lock(g_handlerLock);
  if (g_guards++ == 0) {
    g_pageSize = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    struct sigaction action = {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &g_replaced);
  }
  for (int i = 0; i < kGuardedRanges; ++i) {
    GuardedRange& range = g_ranges[i];
    if (range.taken.load()) continue;
    range.taken = true;
    range.cutShort = false;
    const auto begin = reinterpret_cast<uintptr_t>(data);
    range.end.store((begin + size + g_pageSize - 1) & ~(g_pageSize - 1), std::memory_order_release);
    range.begin.store(begin, std::memory_order_release);
    return i;
  }
  return -1;  // more checks at once than ranges: this one is not guarded
}

void Unguard(int slot) {
  std::lock_guard lock(g_handlerLock);
  if (slot >= 0) {
    GuardedRange& range = g_ranges[slot];
    range.begin.store(0, std::memory_order_release);
    range.end.store(0, std::memory_order_release);
    range.taken = false;
  }
  if (--g_guards > 0) return;
  // Put the replaced handler back, unless the host has installed one of its own meanwhile.
  struct sigaction current = {};
  ::sigaction(SIGBUS, nullptr, &current);
  if ((current.sa_flags & SA_SIGINFO) != 0 && current.sa_sigaction == OnBusError) {
    ::sigaction(SIGBUS, &g_replaced, nullptr);
  }
}

DWORD Win32ErrorOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    case EISDIR:
      return ERROR_DIRECTORY_NOT_SUPPORTED;
    default:
      return ERROR_INVALID_HANDLE;
  }
}

}  // namespace

MappedFile::MappedFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    m_error = Win32ErrorOf(errno);
    return;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    m_error = Win32ErrorOf(errno);
  } else if (S_ISDIR(info.st_mode)) {
    m_error = ERROR_DIRECTORY_NOT_SUPPORTED;
  } else if (!S_ISREG(info.st_mode)) {
    m_error = ERROR_BAD_EXE_FORMAT;
  } else if (info.st_size > 0) {
    m_identity = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
                  static_cast<uint64_t>(info.st_size),
                  static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
                  static_cast<int64_t>(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec};
    const auto size = static_cast<size_t>(info.st_size);
    void* data = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (data == MAP_FAILED) {
      m_error = Win32ErrorOf(errno);
    } else {
      m_data = static_cast<const BYTE*>(data);
      m_size = size;
      m_guard = Guard(m_data, m_size);
    }
  }
  ::close(fd);  // the mapping keeps the file itself
}

MappedFile::~MappedFile() {
  if (m_data == nullptr) return;
  Unguard(m_guard);
  ::munmap(const_cast<BYTE*>(m_data), m_size);
}

bool MappedFile::CutShort() const { return m_guard >= 0 && g_ranges[m_guard].cutShort.load(std::memory_order_acquire); }
