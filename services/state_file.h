// A service's data file under $LUMORA_HOME, shared by every process that uses the
// service. Readers take the file's advisory lock shared, writers exclusive; a rewrite
// goes to a temporary file that is synced and renamed over the old one, an append is
// one synced write. So no process ever sees half a change, and none is lost.
#ifndef LUMORA_SERVICES_STATE_FILE_H_
#define LUMORA_SERVICES_STATE_FILE_H_

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "json_line.h"
#include "lumora/automation.h"

namespace lumora::services {

class StateFile {
 public:
  explicit StateFile(std::string fileName) : m_fileName(std::move(fileName)) {}

  // The file's lines (none when it does not exist yet).
  HRESULT ReadLines(std::vector<std::string>* lines) const;
  // Reads the lines, lets `edit` change them and writes them back, all under the
  // exclusive lock. Nothing is written when `edit` fails; its result is returned.
  HRESULT Rewrite(const std::function<HRESULT(std::vector<std::string>&)>& edit) const;
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
