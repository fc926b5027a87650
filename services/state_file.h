// A service's data file under $LUMORA_HOME, shared by every process that uses the
// service. Readers take the file's advisory lock shared, writers exclusive; a rewrite
// goes to a temporary file that is synced and renamed over the old one, an append is
// one synced write. So no process ever sees half a change, and none is lost. Files are
// made readable and writable by owner and group only. A line is at most kMaxLineLength
// bytes: longer ones are refused on write and skipped on read.
#ifndef LUMORA_SERVICES_STATE_FILE_H_
#define LUMORA_SERVICES_STATE_FILE_H_

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "json_line.h"
#include "lumora/automation.h"

namespace lumora::services {

// The longest line a state file holds (1 MiB), without its newline.
inline constexpr size_t kMaxLineLength = size_t{1024} * 1024;

class StateFile {
 public:
  explicit StateFile(std::string fileName) : m_fileName(std::move(fileName)) {}

  // The file's non-empty lines (none when it does not exist yet); a last line cut short
  // by a crash counts as a line, an overlong line is skipped (and traced once).
  HRESULT ReadLines(std::vector<std::string>* lines) const;
  // Reads the lines, lets `edit` change them and writes them back, all under the
  // exclusive lock. Nothing is written when `edit` fails (its result is returned) or
  // when a line would be too long (E_INVALIDARG).
  HRESULT Rewrite(const std::function<HRESULT(std::vector<std::string>&)>& edit) const;
  // Appends one line (E_INVALIDARG when too long). A torn last line is ended first.
  HRESULT AppendLine(std::string_view line) const;

  std::string Path() const;

 private:
  std::string m_fileName;
};

// Records read back by position (0 first): the count, one parsed record
// (DISP_E_BADINDEX out of range), and a text handed out as a fresh BSTR.
HRESULT CountRecords(const StateFile& file, LONG* count);
HRESULT ReadRecord(const StateFile& file, LONG index, JsonObject* record);
HRESULT TextOut(const std::string& text, BSTR* out);

// The current time as a DATE (UTC) and as ISO 8601 text, for records.
DATE NowAsDate();
std::string DateToIsoText(DATE date);
DATE IsoTextToDate(const std::string& text);

}  // namespace lumora::services

#endif  // LUMORA_SERVICES_STATE_FILE_H_
