// The per-process verdict cache.
#include "verdict_cache.h"

#include <sys/stat.h>

#include <chrono>
#include <deque>

#include "common/process_state.h"
#include "platform/codesign/system_library.h"

namespace lumora {
namespace {

// A verdict is kept this long: certificates expire, and revocation lists are re-read.
constexpr std::chrono::seconds kLifetime{300};
// Only files unchanged for this long are remembered (well above the file times' grain).
constexpr int64_t kSettledNs = 2'000'000'000;
constexpr size_t kMaxEntries = 64;

struct Entry {
  FileIdentity file;
  std::string anchors;
  CachedVerdict verdict;
  std::chrono::steady_clock::time_point made;
};

std::deque<Entry>& Entries() {
  static std::deque<Entry> entries;  // guarded by ProcessStateMutex; lives as long as the component
  return entries;
}

int64_t NowNs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace

std::string AnchorsKey(const std::string& anchorsPath) {
  if (anchorsPath.empty()) return "system";
  struct stat info {};
  if (::stat(anchorsPath.c_str(), &info) != 0) return anchorsPath + "|missing";
  return anchorsPath + "|" + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":" +
         std::to_string(info.st_size) + ":" + std::to_string(info.st_mtim.tv_sec) + "." +
         std::to_string(info.st_mtim.tv_nsec) + ":" + std::to_string(info.st_ctim.tv_sec) + "." +
         std::to_string(info.st_ctim.tv_nsec);
}

bool FindVerdict(const FileIdentity& file, const std::string& anchorsKey, CachedVerdict* verdict) {
  // A test that makes the signature libraries fail wants to see those failures.
  if (file.inode == 0 || codesign::FaultsInjected()) return false;
  ProcessStateLock lock;
  const auto now = std::chrono::steady_clock::now();
  for (const Entry& entry : Entries()) {
    if (entry.file == file && entry.anchors == anchorsKey && now - entry.made < kLifetime) {
      *verdict = entry.verdict;
      return true;
    }
  }
  return false;
}

void RememberVerdict(const FileIdentity& file, const std::string& anchorsKey, const CachedVerdict& verdict) {
  if (file.inode == 0 || codesign::FaultsInjected()) return;
  const int64_t now = NowNs();
  if (now - file.changedNs < kSettledNs || now - file.modifiedNs < kSettledNs) return;
  ProcessStateLock lock;
  std::deque<Entry>& entries = Entries();
  for (auto it = entries.begin(); it != entries.end();) {
    it = it->file == file && it->anchors == anchorsKey ? entries.erase(it) : it + 1;
  }
  entries.push_back({file, anchorsKey, verdict, std::chrono::steady_clock::now()});
  while (entries.size() > kMaxEntries) entries.pop_front();
}

void ForgetVerdicts() {
  ProcessStateLock lock;
  Entries().clear();
}

}  // namespace lumora
