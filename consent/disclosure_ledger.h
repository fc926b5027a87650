// The disclosure ledger: every consent decision, whatever presenter answered it, leaves
// one line in $LUMORA_HOME/ledger.jsonl saying when, which kind of dialog, which company
// and section, which fields were listed (never their values), for a write the share
// status each field was left with, and the answer. Lines are appended whole under an
// advisory lock by any number of processes; readers skip a damaged line and say so.
// Free functions; any thread.
#ifndef LUMORA_CONSENT_DISCLOSURE_LEDGER_H_
#define LUMORA_CONSENT_DISCLOSURE_LEDGER_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/consent_presenter.h"

namespace lumora {

inline constexpr char kLedgerFileName[] = "ledger.jsonl";

struct LedgerEntry {
  std::string time;  // UTC, "YYYY-MM-DDTHH:MM:SSZ"
  ConsentKind kind = ConsentKind::kRead;
  std::string company;
  std::string section;
  std::vector<std::string> fields;
  // Writes only, one per field: "shared", "private", or "" for an array element, whose
  // status is its variable's.
  std::vector<std::string> shares;
  // Fields the dialog listed that the line had no room for (only their number is kept).
  size_t omitted = 0;
  ConsentAnswer answer = ConsentAnswer::kDeny;
};

// $LUMORA_HOME/ledger.jsonl.
std::string LedgerPath();

// The entry as one line (no newline). Fields are dropped from the end, and counted in
// "omitted", when the line would be longer than a JSON-lines record may be.
std::string LedgerLine(const LedgerEntry& entry);
// The entry a line holds; nothing for a damaged or foreign line.
std::optional<LedgerEntry> ParseLedgerLine(std::string_view line);

// Appends one line to the ledger at `path` (made 0660 when missing); a torn last line,
// left by a writer that died, is ended first. 0 or an errno value.
int AppendLedgerEntry(const std::string& path, const LedgerEntry& entry);

// Every readable entry of the ledger at `path`, in file order; the numbers (from 1) of
// the lines that are damaged go to *damaged. A missing ledger is an empty one. False
// with *error when the file exists but cannot be read.
bool ReadLedger(const std::string& path, std::vector<LedgerEntry>* entries, std::vector<size_t>* damaged,
                std::string* error);

// Records the decision on a dialog (the rows as the user left them) in the machine's
// ledger and returns the answer to act on: an Allow that cannot be recorded is refused
// (kDeny), so that nothing is disclosed or changed that the ledger does not show.
ConsentAnswer RecordConsentDecision(const ConsentDialogModel& model, const std::vector<std::vector<std::string>>& rows,
                                    ConsentAnswer answer);

// The current time as the ledger writes it.
std::string LedgerTimeNow();

}  // namespace lumora

#endif  // LUMORA_CONSENT_DISCLOSURE_LEDGER_H_
