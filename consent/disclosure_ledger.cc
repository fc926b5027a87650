// The disclosure ledger: one JSON line per consent decision.
#include "disclosure_ledger.h"

#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "fileio/file_descriptor.h"
#include "lumora/registry.h"
#include "platform/ui/consent_json.h"

namespace lumora {
namespace {

JsonValue Strings(const std::vector<std::string>& texts, size_t count) {
  JsonValue array = JsonValue::Array();
  for (size_t i = 0; i < count && i < texts.size(); ++i) array.Append(JsonValue::String(texts[i]));
  return array;
}

JsonValue LedgerObject(const LedgerEntry& entry, size_t fieldCount) {
  JsonValue object = JsonValue::Object();
  object.Add("time", JsonValue::String(entry.time));
  object.Add("kind", JsonValue::String(ConsentKindName(entry.kind)));
  object.Add("company", JsonValue::String(entry.company));
  object.Add("section", JsonValue::String(entry.section));
  object.Add("fields", Strings(entry.fields, fieldCount));
  if (entry.kind == ConsentKind::kWrite) object.Add("shares", Strings(entry.shares, fieldCount));
  const size_t omitted = entry.omitted + (entry.fields.size() - std::min(fieldCount, entry.fields.size()));
  if (omitted > 0) object.Add("omitted", JsonValue::Integer(static_cast<int64_t>(omitted)));
  object.Add("answer", JsonValue::String(ConsentAnswerName(entry.answer)));
  return object;
}

std::optional<std::vector<std::string>> StringArray(const JsonValue* value) {
  if (value == nullptr || !value->IsArray()) return std::nullopt;
  std::vector<std::string> texts;
  for (const JsonValue& item : value->items()) {
    if (!item.IsString()) return std::nullopt;
    texts.push_back(item.text());
  }
  return texts;
}

// Locks the open ledger for this writer alone, waiting as long as it takes.
int LockExclusive(int fd) {
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

// 0 for a regular file; the ledger is never a pipe, a device or a folder.
int RegularFile(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return errno;
  if (S_ISDIR(info.st_mode)) return EISDIR;
  return S_ISREG(info.st_mode) ? 0 : EINVAL;
}

}  // namespace

std::string LedgerPath() { return LumoraHome() + "/" + kLedgerFileName; }

std::string LedgerTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string LedgerLine(const LedgerEntry& entry) {
  size_t count = entry.fields.size();
  std::string line = WriteJson(LedgerObject(entry, count));
  // Halving the fields kept until the line fits: a dialog of many long names still
  // leaves a record of the decision, its company and how much it listed.
  while (line.size() > kMaxConsentLineLength && count > 0) {
    count /= 2;
    line = WriteJson(LedgerObject(entry, count));
  }
  return line;
}

std::optional<LedgerEntry> ParseLedgerLine(std::string_view line) {
  if (line.size() > kMaxConsentLineLength) return std::nullopt;
  const std::optional<JsonValue> value = ParseJson(line);
  if (!value || !value->IsObject()) return std::nullopt;
  LedgerEntry entry;
  const JsonValue* time = value->Find("time");
  const JsonValue* kind = value->Find("kind");
  const JsonValue* company = value->Find("company");
  const JsonValue* section = value->Find("section");
  const JsonValue* answer = value->Find("answer");
  for (const JsonValue* text : {time, kind, company, section, answer}) {
    if (text == nullptr || !text->IsString()) return std::nullopt;
  }
  entry.time = time->text();
  if (kind->text() == "read") {
    entry.kind = ConsentKind::kRead;
  } else if (kind->text() == "write") {
    entry.kind = ConsentKind::kWrite;
  } else {
    return std::nullopt;
  }
  entry.company = company->text();
  entry.section = section->text();
  if (answer->text() == "allow") {
    entry.answer = ConsentAnswer::kAllow;
  } else if (answer->text() == "deny") {
    entry.answer = ConsentAnswer::kDeny;
  } else if (answer->text() == "close") {
    entry.answer = ConsentAnswer::kClose;
  } else {
    return std::nullopt;
  }
  std::optional<std::vector<std::string>> fields = StringArray(value->Find("fields"));
  if (!fields) return std::nullopt;
  entry.fields = std::move(*fields);
  if (entry.kind == ConsentKind::kWrite) {
    std::optional<std::vector<std::string>> shares = StringArray(value->Find("shares"));
    if (!shares || shares->size() != entry.fields.size()) return std::nullopt;
    entry.shares = std::move(*shares);
  }
  if (const JsonValue* omitted = value->Find("omitted")) {
    if (!omitted->IsInteger() || omitted->integer() < 0) return std::nullopt;
    entry.omitted = static_cast<size_t>(omitted->integer());
  }
  return entry;
}

int AppendLedgerEntry(const std::string& path, const LedgerEntry& entry) {
  fileio::FileDescriptor fd;
  bool created = false;
  int error = fileio::OpenFile(path, O_RDWR | O_CREAT | O_APPEND | O_NONBLOCK, &fd, &created);
  if (error != 0) return error;
  if ((error = RegularFile(fd.get())) != 0) return error;
  if ((error = LockExclusive(fd.get())) != 0) return error;
  std::string record;
  // A writer that died mid-line left a fragment: end it, so this record stands alone.
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return errno;
  if (info.st_size > 0) {
    char last = '\n';
    size_t count = 0;
    if ((error = fileio::ReadAt(fd.get(), &last, 1, info.st_size - 1, &count)) != 0) return error;
    if (count == 1 && last != '\n') record.push_back('\n');
  }
  record += LedgerLine(entry);
  record.push_back('\n');
  // One write of the whole record on a descriptor opened to append: it lands whole at
  // the end, even beside a writer that does not take the lock.
  if ((error = fileio::WriteFully(fd.get(), record)) != 0) return error;
  if ((error = fileio::SyncFile(fd.get())) != 0) return error;
  if (created) fileio::SyncFolderOf(path);
  return 0;
}

bool ReadLedger(const std::string& path, std::vector<LedgerEntry>* entries, std::vector<size_t>* damaged,
                std::string* error) {
  fileio::FileDescriptor fd;
  // Not blocking: a named pipe put in the ledger's place would wait for a writer.
  int opened = fileio::OpenFile(path, O_RDONLY | O_NONBLOCK, &fd);
  if (opened == ENOENT) return true;
  if (opened == 0) opened = RegularFile(fd.get());
  if (opened != 0) {
    *error = "cannot open " + path + ": " + std::strerror(opened);
    return false;
  }
  // Line by line, never more than one record's worth held: a line longer than any record
  // (a file grown by hand, or one of gigabytes of zeros) is skipped as it streams past.
  std::string line;
  bool overlong = false;
  size_t number = 0;
  const auto endLine = [&] {
    ++number;
    if (overlong) {
      damaged->push_back(number);
    } else if (line.find_first_not_of(" \t\r") != std::string::npos) {
      if (std::optional<LedgerEntry> entry = ParseLedgerLine(line)) {
        entries->push_back(std::move(*entry));
      } else {
        damaged->push_back(number);
      }
    }
    line.clear();
    overlong = false;
  };
  char buffer[65536];
  for (off_t offset = 0;;) {
    size_t got = 0;
    const int failed = fileio::ReadAt(fd.get(), buffer, sizeof buffer, offset, &got);
    if (failed != 0) {
      *error = "cannot read " + path + ": " + std::strerror(failed);
      return false;
    }
    if (got == 0) break;
    offset += static_cast<off_t>(got);
    for (std::string_view rest(buffer, got); !rest.empty();) {
      const size_t end = rest.find('\n');
      const std::string_view piece = rest.substr(0, end);
      if (!overlong) line.append(piece);
      if (line.size() > kMaxConsentLineLength) {
        overlong = true;
        line.clear();
      }
      if (end == std::string_view::npos) break;
      endLine();
      rest.remove_prefix(end + 1);
    }
  }
  if (!line.empty() || overlong) endLine();
  return true;
}

ConsentAnswer RecordConsentDecision(const ConsentDialogModel& model, const std::vector<std::vector<std::string>>& rows,
                                    ConsentAnswer answer) {
  LedgerEntry entry;
  entry.time = LedgerTimeNow();
  entry.kind = model.kind;
  entry.company = model.company;
  entry.section = model.section;
  for (size_t row = 0; row < rows.size(); ++row) {
    entry.fields.push_back(rows[row].empty() ? std::string() : rows[row][0]);
    if (model.kind != ConsentKind::kWrite) continue;
    const bool switchable = row < model.switchable.size() && model.switchable[row];
    const size_t column = static_cast<size_t>(model.shareColumn);
    const std::string shown = model.shareColumn >= 0 && column < rows[row].size() ? rows[row][column] : std::string();
    entry.shares.push_back(!switchable ? "" : shown == model.sharedText ? "shared" : "private");
  }
  entry.answer = answer;
  const int error = AppendLedgerEntry(LedgerPath(), entry);
  if (error != 0 && answer == ConsentAnswer::kAllow) return ConsentAnswer::kDeny;
  return answer;
}

}  // namespace lumora
