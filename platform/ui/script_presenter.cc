// The scripted presenter: count the dialogs recorded, take the matching answer line,
// apply its actions through the dialog's own logic, record the dialog, answer.
#include "script_presenter.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string_view>
#include <vector>

#include "consent_json.h"

namespace lumora {
namespace {

// Owns one file descriptor.
class ScopedFd {
 public:
  explicit ScopedFd(int fd) : m_fd(fd) {}
  ~ScopedFd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  int get() const { return m_fd; }

 private:
  int m_fd;
};

// The whole content of an open file, read from its start.
bool ReadAll(int fd, std::string* out) {
  out->clear();
  char buffer[65536];
  for (off_t offset = 0;;) {
    const ssize_t got = ::pread(fd, buffer, sizeof buffer, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    out->append(buffer, static_cast<size_t>(got));
    offset += got;
  }
}

// The lines of `text` that hold more than blanks, in order; a last line without its
// newline counts as well.
std::vector<std::string_view> AnswerLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (line.find_first_not_of(" \t\r") != std::string_view::npos) lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// The answer line for dialog `index`, or nothing (with the reason) when the file cannot
// be read or holds no such line.
std::optional<std::string> AnswerLine(const std::string& path, size_t index, std::string* error) {
  ScopedFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  std::string text;
  if (file.get() < 0 || !ReadAll(file.get(), &text)) {
    *error = "the answer file cannot be read";
    return std::nullopt;
  }
  const std::vector<std::string_view> lines = AnswerLines(text);
  if (index >= lines.size()) {
    *error = "no answer line left";
    return std::nullopt;
  }
  return std::string(lines[index]);
}

// Writes all of `bytes` at the end of the file; the descriptor was opened to append, so
// each write lands at the end whoever else appends.
bool AppendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t put = ::write(fd, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(put));
  }
  return true;
}

}  // namespace

ConsentAnswer ScriptConsentPresenter::Present(const ConsentDialogModel& model, ConsentDialogActions* actions) {
  if (model.rows.empty()) return ConsentAnswer::kAllow;
  // A dialog that cannot be recorded is not answered for the user.
  ScopedFd shown(::open((m_path + ".shown").c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0660));
  if (shown.get() < 0) return ConsentAnswer::kDeny;
  int locked = 0;
  while ((locked = ::flock(shown.get(), LOCK_EX)) != 0 && errno == EINTR) {
  }
  if (locked != 0) return ConsentAnswer::kDeny;

  // Dialogs recorded so far, a torn last record (its writer died) included: it was
  // answered, so its answer line is used up.
  std::string recorded;
  if (!ReadAll(shown.get(), &recorded)) return ConsentAnswer::kDeny;
  const bool torn = !recorded.empty() && recorded.back() != '\n';
  const size_t index = static_cast<size_t>(std::count(recorded.begin(), recorded.end(), '\n')) + (torn ? 1 : 0);

  std::string error;
  ConsentReply reply;
  const std::optional<std::string> line = AnswerLine(m_path, index, &error);
  if (line) {
    if (std::optional<ConsentReply> applied = ApplyConsentReply(*line, model, actions, &error)) reply = *applied;
  }
  JsonValue record = ConsentDialogToJson(model, actions != nullptr ? actions->CurrentRows() : model.rows);
  record.Add("answer", JsonValue::String(ConsentAnswerName(reply.answer)));
  if (line) record.Add("answerLine", JsonValue::Integer(static_cast<int64_t>(index) + 1));
  if (!error.empty()) record.Add("error", JsonValue::String(error));
  std::string text = WriteJson(record);
  if (text.size() > kMaxConsentLineLength) {
    // Too long for one line: what identifies the dialog is kept, and it is refused,
    // since what it showed cannot be kept.
    reply.answer = ConsentAnswer::kDeny;
    JsonValue brief = JsonValue::Object();
    brief.Add("kind", JsonValue::String(ConsentKindName(model.kind)));
    brief.Add("caption", JsonValue::String(model.caption.substr(0, 256)));
    brief.Add("answer", JsonValue::String(ConsentAnswerName(reply.answer)));
    brief.Add("error", JsonValue::String("the dialog is longer than a line may be"));
    text = WriteJson(brief);
  }
  // A torn last record is ended first, so this one is never glued onto it.
  std::string bytes = torn ? "\n" : "";
  bytes += text;
  bytes += '\n';
  if (!AppendAll(shown.get(), bytes)) return ConsentAnswer::kDeny;
  return reply.answer;
}

}  // namespace lumora
