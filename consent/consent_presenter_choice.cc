// The machine's consent presenter. Until a person can be asked through a dialog of its
// own, the presenters here are the unattended ones: "script:PATH" answers from a file of
// answers, everything else refuses (nobody can answer, which counts as Deny).
//
// script:PATH: PATH holds one JSON object per line, one line per dialog shown:
//   {"answer":"allow"}   {"answer":"deny"}   {"answer":"close"}
//   {"actions":[{"select":[0,2],"press":"private"},{"select":[1],"press":"shared"}],"answer":"allow"}
// The n-th dialog recorded in PATH.shown takes the n-th line; a dialog with no line left,
// or with a line that cannot be read, is answered Deny. The actions are applied through
// the write dialog's own logic before the answer. Every dialog shown is appended to
// PATH.shown as one JSON line (kind, caption, texts, columns, the rows as they are after
// the actions, the answer and the answer line used). PATH.shown is counted and appended
// under an advisory lock, so several processes may share one script.
#include "consent_presenter_choice.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/settings_client.h"

namespace lumora {
namespace {

// --- A small JSON reader for the answer lines --------------------------------------------

struct JsonValue {
  enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
  double number = 0;
  std::string text;
  std::vector<JsonValue> items;
  // An object's members, names and values side by side (a vector of pairs would need
  // the type complete).
  std::vector<std::string> memberNames;
  std::vector<JsonValue> memberValues;

  const JsonValue* Member(std::string_view name) const {
    for (size_t i = 0; i < memberNames.size(); ++i) {
      if (memberNames[i] == name) return &memberValues[i];
    }
    return nullptr;
  }
};

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : m_text(text) {}

  std::optional<JsonValue> ReadDocument() {
    std::optional<JsonValue> value = ReadValue(0);
    SkipSpace();
    if (!value || m_at != m_text.size()) return std::nullopt;
    return value;
  }

 private:
  static constexpr int kMaxDepth = 32;

  void SkipSpace() {
    while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\t' || m_text[m_at] == '\r')) ++m_at;
  }
  bool Take(char c) {
    SkipSpace();
    if (m_at < m_text.size() && m_text[m_at] == c) {
      ++m_at;
      return true;
    }
    return false;
  }
  bool TakeWord(std::string_view word) {
    if (m_text.substr(m_at, word.size()) != word) return false;
    m_at += word.size();
    return true;
  }

  std::optional<std::string> ReadString() {
    if (!Take('"')) return std::nullopt;
    std::string out;
    while (m_at < m_text.size()) {
      const char c = m_text[m_at++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (m_at >= m_text.size()) return std::nullopt;
      const char escaped = m_text[m_at++];
      switch (escaped) {
        case '"':
        case '\\':
        case '/':
          out.push_back(escaped);
          break;
        case 'n':
          out.push_back('\n');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 'b':
          out.push_back('\b');
          break;
        case 'f':
          out.push_back('\f');
          break;
        case 'u': {
          if (m_at + 4 > m_text.size()) return std::nullopt;
          unsigned code = 0;
          for (int i = 0; i < 4; ++i) {
            const char h = m_text[m_at++];
            code <<= 4;
            if (h >= '0' && h <= '9') {
              code |= static_cast<unsigned>(h - '0');
            } else if (h >= 'a' && h <= 'f') {
              code |= static_cast<unsigned>(h - 'a' + 10);
            } else if (h >= 'A' && h <= 'F') {
              code |= static_cast<unsigned>(h - 'A' + 10);
            } else {
              return std::nullopt;
            }
          }
          // Answers need only ASCII; anything else is kept as a replacement character.
          if (code < 0x80) {
            out.push_back(static_cast<char>(code));
          } else {
            out += "\xEF\xBF\xBD";
          }
          break;
        }
        default:
          return std::nullopt;
      }
    }
    return std::nullopt;
  }

  std::optional<JsonValue> ReadValue(int depth) {
    if (depth > kMaxDepth) return std::nullopt;
    SkipSpace();
    if (m_at >= m_text.size()) return std::nullopt;
    JsonValue value;
    const char c = m_text[m_at];
    if (c == '"') {
      std::optional<std::string> text = ReadString();
      if (!text) return std::nullopt;
      value.kind = JsonValue::kString;
      value.text = std::move(*text);
      return value;
    }
    if (c == '[') {
      ++m_at;
      value.kind = JsonValue::kArray;
      if (Take(']')) return value;
      do {
        std::optional<JsonValue> item = ReadValue(depth + 1);
        if (!item) return std::nullopt;
        value.items.push_back(std::move(*item));
      } while (Take(','));
      if (!Take(']')) return std::nullopt;
      return value;
    }
    if (c == '{') {
      ++m_at;
      value.kind = JsonValue::kObject;
      if (Take('}')) return value;
      do {
        SkipSpace();
        std::optional<std::string> key = ReadString();
        if (!key || !Take(':')) return std::nullopt;
        std::optional<JsonValue> member = ReadValue(depth + 1);
        if (!member) return std::nullopt;
        value.memberNames.push_back(std::move(*key));
        value.memberValues.push_back(std::move(*member));
      } while (Take(','));
      if (!Take('}')) return std::nullopt;
      return value;
    }
    if (TakeWord("true") || TakeWord("false")) {
      value.kind = JsonValue::kBool;
      return value;
    }
    if (TakeWord("null")) return value;
    const size_t start = m_at;
    while (m_at < m_text.size() &&
           (std::isdigit(static_cast<unsigned char>(m_text[m_at])) || m_text[m_at] == '-' || m_text[m_at] == '+' ||
            m_text[m_at] == '.' || m_text[m_at] == 'e' || m_text[m_at] == 'E')) {
      ++m_at;
    }
    if (m_at == start) return std::nullopt;
    const std::string digits(m_text.substr(start, m_at - start));
    char* end = nullptr;
    value.number = std::strtod(digits.c_str(), &end);
    if (end != digits.c_str() + digits.size()) return std::nullopt;
    value.kind = JsonValue::kNumber;
    return value;
  }

  std::string_view m_text;
  size_t m_at = 0;
};

// --- Writing the record of a dialog shown -------------------------------------------------

void AppendJsonString(std::string& out, std::string_view text) {
  out.push_back('"');
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
          out += escaped;
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
}

void AppendRows(std::string& out, const std::vector<std::vector<std::string>>& rows) {
  out.push_back('[');
  for (size_t r = 0; r < rows.size(); ++r) {
    if (r > 0) out.push_back(',');
    out.push_back('[');
    for (size_t c = 0; c < rows[r].size(); ++c) {
      if (c > 0) out.push_back(',');
      AppendJsonString(out, rows[r][c]);
    }
    out.push_back(']');
  }
  out.push_back(']');
}

std::string ShownRecord(const ConsentDialogModel& model, const ConsentDialogActions* actions, const char* answer,
                        size_t answerLine) {
  std::string out = "{\"kind\":";
  AppendJsonString(out, model.kind == ConsentKind::kWrite ? "write" : "read");
  out += ",\"caption\":";
  AppendJsonString(out, model.caption);
  out += ",\"texts\":{";
  for (size_t i = 0; i < model.texts.size(); ++i) {
    if (i > 0) out.push_back(',');
    AppendJsonString(out, std::to_string(model.texts[i].first));
    out.push_back(':');
    AppendJsonString(out, model.texts[i].second);
  }
  out += "},\"columns\":[";
  for (size_t i = 0; i < model.columns.size(); ++i) {
    if (i > 0) out.push_back(',');
    out += "{\"header\":";
    AppendJsonString(out, model.columns[i].header);
    out += ",\"width\":" + std::to_string(model.columns[i].width) + "}";
  }
  out += "],\"rows\":";
  AppendRows(out, actions != nullptr ? actions->CurrentRows() : model.rows);
  out += ",\"answer\":";
  AppendJsonString(out, answer);
  if (answerLine > 0) out += ",\"answerLine\":" + std::to_string(answerLine);
  out += "}\n";
  return out;
}

// --- The presenters -------------------------------------------------------------------------

class DenyPresenter final : public ConsentPresenter {
 public:
  ConsentAnswer Present(const ConsentDialogModel&, ConsentDialogActions*) override { return ConsentAnswer::kDeny; }
};

// Holds an advisory lock on a file descriptor for a scope.
class FileLock {
 public:
  explicit FileLock(int fd) : m_fd(fd) {
    while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~FileLock() { ::flock(m_fd, LOCK_UN); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int m_fd;
};

class ScriptPresenter final : public ConsentPresenter {
 public:
  explicit ScriptPresenter(std::string path) : m_path(std::move(path)) {}

  ConsentAnswer Present(const ConsentDialogModel& model, ConsentDialogActions* actions) override {
    if (model.rows.empty()) return ConsentAnswer::kAllow;  // nothing to ask: neither shown nor recorded
    const int fd = ::open((m_path + ".shown").c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0660);
    if (fd < 0) return ConsentAnswer::kDeny;
    ConsentAnswer answer = ConsentAnswer::kDeny;
    {
      FileLock lock(fd);
      std::string shown;
      char buffer[8192];
      ssize_t got = 0;
      off_t offset = 0;
      while ((got = ::pread(fd, buffer, sizeof buffer, offset)) > 0) {
        shown.append(buffer, static_cast<size_t>(got));
        offset += got;
      }
      size_t dialogsShown = 0;
      for (const char c : shown) dialogsShown += c == '\n' ? 1 : 0;
      if (!shown.empty() && shown.back() != '\n') ++dialogsShown;  // a torn last record still counts
      std::optional<JsonValue> line = AnswerLine(dialogsShown);
      const char* answerText = "deny";
      if (line) {
        if (actions != nullptr) ApplyActions(*line, *actions);
        const JsonValue* given = line->Member("answer");
        if (given != nullptr && given->kind == JsonValue::kString) {
          if (given->text == "allow") {
            answer = ConsentAnswer::kAllow;
            answerText = "allow";
          } else if (given->text == "close") {
            answer = ConsentAnswer::kClose;
            answerText = "close";
          }
        }
      }
      std::string record = ShownRecord(model, actions, answerText, line ? dialogsShown + 1 : 0);
      if (!shown.empty() && shown.back() != '\n') record.insert(record.begin(), '\n');
      // One write: a process killed meanwhile leaves the record whole or absent.
      const ssize_t written = ::write(fd, record.data(), record.size());
      (void)written;
    }
    ::close(fd);
    return answer;
  }

 private:
  std::optional<JsonValue> AnswerLine(size_t index) const {
    std::ifstream in(m_path);
    size_t seen = 0;
    for (std::string line; std::getline(in, line);) {
      if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
      if (seen++ == index) {
        std::optional<JsonValue> value = JsonReader(line).ReadDocument();
        if (!value || value->kind != JsonValue::kObject) return std::nullopt;
        return value;
      }
    }
    return std::nullopt;
  }

  static void ApplyActions(const JsonValue& line, ConsentDialogActions& actions) {
    const JsonValue* list = line.Member("actions");
    if (list == nullptr || list->kind != JsonValue::kArray) return;
    for (const JsonValue& action : list->items) {
      const JsonValue* select = action.Member("select");
      const JsonValue* press = action.Member("press");
      if (select == nullptr || select->kind != JsonValue::kArray || press == nullptr ||
          press->kind != JsonValue::kString || (press->text != "shared" && press->text != "private")) {
        continue;
      }
      std::vector<size_t> rows;
      for (const JsonValue& index : select->items) {
        if (index.kind == JsonValue::kNumber && index.number >= 0 && index.number < 1e9) {
          rows.push_back(static_cast<size_t>(index.number));
        }
      }
      actions.PressShareButton(rows, press->text == "shared");
    }
  }

  std::string m_path;
};

// Reads setting 20 for each dialog, so that the machine's choice takes effect at once.
class MachinePresenter final : public ConsentPresenter {
 public:
  ConsentAnswer Present(const ConsentDialogModel& model, ConsentDialogActions* actions) override {
    std::string choice;
    ReadSetting(kSettingConsentPresenter, &choice);
    constexpr std::string_view kScript = "script:";
    if (choice.compare(0, kScript.size(), kScript) == 0 && choice.size() > kScript.size()) {
      ScriptPresenter script(choice.substr(kScript.size()));
      return script.Present(model, actions);
    }
    DenyPresenter nobody;
    return nobody.Present(model, actions);
  }
};

std::mutex& TestPresenterMutex() {
  static std::mutex mutex;
  return mutex;
}
ConsentPresenter*& TestPresenter() {
  static ConsentPresenter* presenter = nullptr;  // guarded by TestPresenterMutex
  return presenter;
}

}  // namespace

ConsentPresenter& MachineConsentPresenter() {
  {
    std::lock_guard lock(TestPresenterMutex());
    if (TestPresenter() != nullptr) return *TestPresenter();
  }
  static MachinePresenter machine;  // stateless; lives as long as the component
  return machine;
}

void SetConsentPresenterForTests(ConsentPresenter* presenter) {
  std::lock_guard lock(TestPresenterMutex());
  TestPresenter() = presenter;
}

}  // namespace lumora
