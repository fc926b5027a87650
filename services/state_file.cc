// Locked, atomic storage of the services' files.
#include "state_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <set>

#include "fileio/atomic_file.h"
#include "fileio/file_lock.h"
#include "lumora/registry.h"
#include "lumora/trace.h"
#include "lumora/values.h"

namespace fs = std::filesystem;

namespace lumora::services {
namespace {

HRESULT FromErrno(int error) { return error == EACCES || error == EPERM || error == EROFS ? E_ACCESSDENIED : E_FAIL; }

HRESULT LockFile(const std::string& path, fileio::LockMode mode, fileio::FileLock* lock) {
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  const int error = lock->Lock(path + ".lock", mode);
  return error == 0 ? S_OK : FromErrno(error);
}

// An overlong line is reported once per file and process: every call reads the whole
// file, and one report says all there is to say.
void ReportOverlongLine(const std::string& path) {
  static std::mutex mutex;
  static std::set<std::string> reported;  // guarded by mutex; lives while the library is loaded
  std::lock_guard lock(mutex);
  if (reported.insert(path).second) {
    Trace("StateFile: skipped a line longer than %zu bytes in %s", kMaxLineLength, path.c_str());
  }
}

// Reads the file's non-empty lines. A line longer than kMaxLineLength is skipped without
// ever being held whole, so a huge line costs a pass over the file, not its size in memory.
HRESULT ReadAll(const std::string& path, std::vector<std::string>* lines) {
  lines->clear();
  fileio::FileDescriptor fd;
  const int error = fileio::OpenFile(path, O_RDONLY, &fd);
  if (error == ENOENT) return S_OK;
  if (error != 0) return FromErrno(error);
  std::string line;
  bool overlong = false;
  char buffer[64 * 1024];
  off_t offset = 0;
  for (;;) {
    size_t count = 0;
    const int readError = fileio::ReadAt(fd.get(), buffer, sizeof buffer, offset, &count);
    if (readError != 0) return FromErrno(readError);
    if (count == 0) break;
    offset += static_cast<off_t>(count);
    const char* chunk = buffer;
    const char* const chunkEnd = buffer + count;
    while (chunk < chunkEnd) {
      const char* newline = static_cast<const char*>(std::memchr(chunk, '\n', static_cast<size_t>(chunkEnd - chunk)));
      const char* pieceEnd = newline != nullptr ? newline : chunkEnd;
      if (!overlong) {
        if (line.size() + static_cast<size_t>(pieceEnd - chunk) > kMaxLineLength) {
          overlong = true;
          line.clear();
          line.shrink_to_fit();
        } else {
          line.append(chunk, pieceEnd);
        }
      }
      if (newline == nullptr) break;
      if (overlong) {
        ReportOverlongLine(path);
      } else if (!line.empty()) {
        lines->push_back(std::move(line));
      }
      line.clear();
      overlong = false;
      chunk = newline + 1;
    }
  }
  // A last line without its newline (torn by a crash) is still a line.
  if (overlong) {
    ReportOverlongLine(path);
  } else if (!line.empty()) {
    lines->push_back(std::move(line));
  }
  return S_OK;
}

HRESULT CheckLength(std::string_view line) { return line.size() > kMaxLineLength ? E_INVALIDARG : S_OK; }

}  // namespace

std::string StateFile::Path() const { return (fs::path(LumoraHome()) / m_fileName).string(); }

HRESULT StateFile::ReadLines(std::vector<std::string>* lines) const {
  const std::string path = Path();
  fileio::FileLock lock;
  const HRESULT locked = LockFile(path, fileio::LockMode::kShared, &lock);
  if (FAILED(locked)) return locked;
  return ReadAll(path, lines);
}

HRESULT StateFile::Rewrite(const std::function<HRESULT(std::vector<std::string>&)>& edit) const {
  const std::string path = Path();
  fileio::FileLock lock;
  HRESULT hr = LockFile(path, fileio::LockMode::kExclusive, &lock);
  if (FAILED(hr)) return hr;
  std::vector<std::string> lines;
  hr = ReadAll(path, &lines);
  if (FAILED(hr)) return hr;
  const HRESULT edited = edit(lines);
  if (FAILED(edited)) return edited;
  std::string data;
  for (const std::string& line : lines) {
    hr = CheckLength(line);
    if (FAILED(hr)) return hr;
    data += line;
    data += '\n';
  }
  const int error = fileio::ReplaceFile(path, data);
  return error == 0 ? edited : FromErrno(error);
}

HRESULT StateFile::AppendLine(std::string_view line) const {
  HRESULT hr = CheckLength(line);
  if (FAILED(hr)) return hr;
  const std::string path = Path();
  fileio::FileLock lock;
  hr = LockFile(path, fileio::LockMode::kExclusive, &lock);
  if (FAILED(hr)) return hr;
  fileio::FileDescriptor fd;
  bool created = false;
  int error = fileio::OpenFile(path, O_RDWR | O_CREAT | O_APPEND, &fd, &created);
  if (error != 0) return FromErrno(error);
  std::string record;
  // A writer that died mid-line left a fragment without its newline: end it first, so
  // that this record is a line of its own and not glued onto the fragment.
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return FromErrno(errno);
  if (info.st_size > 0) {
    char last = '\n';
    size_t count = 0;
    error = fileio::ReadAt(fd.get(), &last, 1, info.st_size - 1, &count);
    if (error != 0) return FromErrno(error);
    if (count == 1 && last != '\n') record.push_back('\n');
  }
  record.append(line);
  record.push_back('\n');
  error = fileio::WriteFully(fd.get(), record);
  if (error == 0) error = fileio::SyncFile(fd.get());
  if (error != 0) return FromErrno(error);
  // The record is in the file; syncing the folder of a file made just now only makes its
  // name survive a crash sooner, so its failure does not undo the append.
  if (created) fileio::SyncFolderOf(path);
  return S_OK;
}

HRESULT CountRecords(const StateFile& file, LONG* count) {
  if (count == nullptr) return E_POINTER;
  std::vector<std::string> lines;
  const HRESULT hr = file.ReadLines(&lines);
  if (FAILED(hr)) return hr;
  *count = static_cast<LONG>(lines.size());
  return S_OK;
}

HRESULT ReadRecord(const StateFile& file, LONG index, JsonObject* record) {
  std::vector<std::string> lines;
  const HRESULT hr = file.ReadLines(&lines);
  if (FAILED(hr)) return hr;
  if (index < 0 || static_cast<size_t>(index) >= lines.size()) return DISP_E_BADINDEX;
  if (!ParseJsonLine(lines[static_cast<size_t>(index)], record)) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
  return S_OK;
}

HRESULT TextOut(const std::string& text, BSTR* out) {
  if (out == nullptr) return E_POINTER;
  Bstr result = Bstr::FromUtf8(text);
  if (!result) return E_OUTOFMEMORY;
  *out = result.detach();
  return S_OK;
}

DATE NowAsDate() {
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  return 25569.0 + (static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9) / 86400.0;
}

std::string DateToIsoText(DATE date) {
  const auto seconds = static_cast<time_t>(std::llround((date - 25569.0) * 86400.0));
  struct tm tm {};
  gmtime_r(&seconds, &tm);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buffer;
}

DATE IsoTextToDate(const std::string& text) {
  struct tm tm {};
  if (strptime(text.c_str(), "%Y-%m-%dT%H:%M:%SZ", &tm) == nullptr) return 0.0;
  return 25569.0 + static_cast<double>(timegm(&tm)) / 86400.0;
}

}  // namespace lumora::services
