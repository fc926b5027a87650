// Locked, atomic storage of the services' files.
#include "state_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "lumora/registry.h"
#include "lumora/values.h"

namespace fs = std::filesystem;

namespace lumora::services {
namespace {

HRESULT FromErrno(int error) { return error == EACCES || error == EPERM || error == EROFS ? E_ACCESSDENIED : E_FAIL; }

// Holds the advisory lock of one file for its lifetime.
class FileLock {
 public:
  FileLock(const std::string& path, int operation) {
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    m_fd = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd < 0) {
      m_error = FromErrno(errno);
      return;
    }
    while (::flock(m_fd, operation) != 0) {
      if (errno != EINTR) {
        m_error = FromErrno(errno);
        return;
      }
    }
  }
  ~FileLock() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  HRESULT status() const { return m_error; }

 private:
  int m_fd = -1;
  HRESULT m_error = S_OK;
};

void ReadAll(const std::string& path, std::vector<std::string>* lines) {
  lines->clear();
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty()) lines->push_back(line);
  }
}

bool WriteFully(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string StateFile::Path() const { return (fs::path(LumoraHome()) / m_fileName).string(); }

HRESULT StateFile::ReadLines(std::vector<std::string>* lines) const {
  const std::string path = Path();
  FileLock lock(path, LOCK_SH);
  if (FAILED(lock.status())) return lock.status();
  ReadAll(path, lines);
  return S_OK;
}

HRESULT StateFile::Rewrite(const std::function<HRESULT(std::vector<std::string>&)>& edit) const {
  const std::string path = Path();
  FileLock lock(path, LOCK_EX);
  if (FAILED(lock.status())) return lock.status();
  std::vector<std::string> lines;
  ReadAll(path, &lines);
  const HRESULT edited = edit(lines);
  if (FAILED(edited)) return edited;
  std::string data;
  for (const std::string& line : lines) data += line + "\n";
  const std::string temporary = path + ".tmp." + std::to_string(::getpid());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return FromErrno(errno);
  const bool written = WriteFully(fd, data) && ::fsync(fd) == 0;
  const int error = errno;
  ::close(fd);
  if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return FromErrno(written ? errno : error);
  }
  return edited;
}

HRESULT StateFile::AppendLine(std::string_view line) const {
  const std::string path = Path();
  FileLock lock(path, LOCK_EX);
  if (FAILED(lock.status())) return lock.status();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return FromErrno(errno);
  const bool written = WriteFully(fd, std::string(line) + "\n") && ::fsync(fd) == 0;
  const int error = errno;
  ::close(fd);
  return written ? S_OK : FromErrno(error);
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
