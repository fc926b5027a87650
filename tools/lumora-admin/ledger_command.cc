// ledger: what the disclosure ledger records, for the machine's administrator and its
// user: each consent decision (when, read or write, company, section, the field names
// listed, share statuses left, the answer), filtered by company and date, or summed up
// per company as what each has been allowed to read or change, and when last. Damaged
// lines are reported on standard error and skipped.
#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "admin_command.h"
#include "consent/disclosure_ledger.h"
#include "platform/ui/consent_json.h"
#include "platform/ui/json_value.h"
#include "platform/ui/terminal_presenter.h"

namespace lumora::admin {
namespace {

int DaysIn(int year, int month) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// A time as the ledger writes it, from "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS]" or
// "YYYY-MM-DDTHH:MM[:SS][Z]" (UTC); nothing for anything else.
std::optional<std::string> LedgerTimeOf(std::string text) {
  if (!text.empty() && text.back() == 'Z') text.pop_back();
  if (text.size() > 10 && text[10] == ' ') text[10] = 'T';
  const std::string pattern = "dddd-dd-ddTdd:dd:dd";
  if (text.size() != 10 && text.size() != 16 && text.size() != 19) return std::nullopt;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (pattern[i] == 'd' ? !digit : text[i] != pattern[i]) return std::nullopt;
  }
  const int year = std::stoi(text.substr(0, 4));
  const int month = std::stoi(text.substr(5, 2));
  const int day = std::stoi(text.substr(8, 2));
  if (month < 1 || month > 12 || day < 1 || day > DaysIn(year, month)) return std::nullopt;
  // A time of day that no clock shows would compare as text with the ledger's times and
  // quietly select something else.
  if (text.size() > 10 && (std::stoi(text.substr(11, 2)) > 23 || std::stoi(text.substr(14, 2)) > 59)) {
    return std::nullopt;
  }
  if (text.size() == 19 && std::stoi(text.substr(17, 2)) > 59) return std::nullopt;
  const std::string full = text + std::string("T00:00:00").substr(text.size() - 10);
  return full + "Z";
}

// A text from the ledger as it may be shown on a terminal: whoever called the component
// chose the company and field names.
std::string Shown(const std::string& text) { return TerminalSafeText(text, false); }

std::string Joined(const std::set<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + Shown(name);
  return text;
}

std::string ReadableTime(std::string time) {
  if (time.size() == 20) {
    time[10] = ' ';
    time.pop_back();
  }
  return Shown(time);
}

void PrintEntry(const LedgerEntry& entry) {
  std::string fields;
  for (size_t i = 0; i < entry.fields.size(); ++i) {
    fields += (i == 0 ? "" : ", ") + Shown(entry.fields[i]);
    if (entry.kind == ConsentKind::kWrite && i < entry.shares.size() && !entry.shares[i].empty()) {
      fields += " (" + Shown(entry.shares[i]) + ")";
    }
  }
  if (entry.omitted > 0) fields += " and " + std::to_string(entry.omitted) + " more";
  std::printf("%s  %-5s  %-5s  %s [%s]: %s\n", ReadableTime(entry.time).c_str(), ConsentKindName(entry.kind),
              ConsentAnswerName(entry.answer), Shown(entry.company).c_str(), Shown(entry.section).c_str(),
              fields.c_str());
}

// What one company has been allowed, and refused.
struct CompanySummary {
  std::set<std::string> sections;
  std::set<std::string> read;
  std::string lastRead;
  std::set<std::string> changed;
  std::string lastChange;
  size_t refused = 0;
  std::string lastRefused;
};

JsonValue Strings(const std::set<std::string>& texts) {
  JsonValue array = JsonValue::Array();
  for (const std::string& text : texts) array.Append(JsonValue::String(text));
  return array;
}

void PrintSummaries(const std::map<std::string, CompanySummary>& companies, bool json) {
  for (const auto& [company, summary] : companies) {
    if (json) {
      JsonValue line = JsonValue::Object();
      line.Add("company", JsonValue::String(company));
      line.Add("sections", Strings(summary.sections));
      line.Add("read", Strings(summary.read));
      line.Add("lastRead", JsonValue::String(summary.lastRead));
      line.Add("changed", Strings(summary.changed));
      line.Add("lastChange", JsonValue::String(summary.lastChange));
      line.Add("refused", JsonValue::Integer(static_cast<int64_t>(summary.refused)));
      line.Add("lastRefused", JsonValue::String(summary.lastRefused));
      std::printf("%s\n", WriteJson(line).c_str());
      continue;
    }
    std::printf("%s [%s]\n", Shown(company).c_str(), Joined(summary.sections).c_str());
    if (summary.read.empty()) {
      std::printf("  allowed to read:   nothing\n");
    } else {
      std::printf("  allowed to read:   %s (last %s)\n", Joined(summary.read).c_str(),
                  ReadableTime(summary.lastRead).c_str());
    }
    if (summary.changed.empty()) {
      std::printf("  allowed to change: nothing\n");
    } else {
      std::printf("  allowed to change: %s (last %s)\n", Joined(summary.changed).c_str(),
                  ReadableTime(summary.lastChange).c_str());
    }
    if (summary.refused > 0) {
      std::printf("  refused:           %zu time%s (last %s)\n", summary.refused, summary.refused == 1 ? "" : "s",
                  ReadableTime(summary.lastRefused).c_str());
    }
  }
}

int Ledger(const Options& options) {
  std::optional<std::string> since;
  if (options.Has("--since")) {
    since = LedgerTimeOf(options.Value("--since"));
    if (!since) {
      std::fprintf(stderr, "lumora-admin: --since takes a date, YYYY-MM-DD, or a UTC time, YYYY-MM-DDTHH:MM:SS\n");
      return kExitUsage;
    }
  }
  const std::string path = options.home + "/" + kLedgerFileName;
  std::vector<LedgerEntry> entries;
  std::vector<size_t> damaged;
  std::string error;
  if (!ReadLedger(path, &entries, &damaged, &error)) return Fail(error);
  for (const size_t line : damaged) {
    std::fprintf(stderr, "lumora-admin: %s line %zu is damaged; skipped\n", path.c_str(), line);
  }
  const bool json = options.Has("--json");
  const bool byCompany = options.Has("--by-company");
  std::map<std::string, CompanySummary> companies;
  size_t shown = 0;
  for (const LedgerEntry& entry : entries) {
    if (options.Has("--company") && entry.company != options.Value("--company")) continue;
    if (since && entry.time < *since) continue;
    ++shown;
    if (byCompany) {
      CompanySummary& summary = companies[entry.company];
      summary.sections.insert(entry.section);
      if (entry.answer != ConsentAnswer::kAllow) {
        ++summary.refused;
        summary.lastRefused = std::max(summary.lastRefused, entry.time);
      } else if (entry.kind == ConsentKind::kRead) {
        summary.read.insert(entry.fields.begin(), entry.fields.end());
        summary.lastRead = std::max(summary.lastRead, entry.time);
      } else {
        summary.changed.insert(entry.fields.begin(), entry.fields.end());
        summary.lastChange = std::max(summary.lastChange, entry.time);
      }
    } else if (json) {
      std::printf("%s\n", LedgerLine(entry).c_str());
    } else {
      PrintEntry(entry);
    }
  }
  if (byCompany) PrintSummaries(companies, json);
  if (shown == 0 && !json) std::printf("no consent decisions recorded%s\n", entries.empty() ? "" : " that match");
  return kExitOk;
}

constexpr OptionSpec kOptions[] = {
    {"--company", "NAME", "only the decisions on dialogs of company NAME (as the dialog named it)"},
    {"--since", "DATE", "only the decisions from DATE on (YYYY-MM-DD, or YYYY-MM-DDTHH:MM:SS, UTC)"},
    {"--json", nullptr, "one JSON object per line, as the ledger keeps them"},
    {"--by-company", nullptr, "what each company has been allowed to read or change, and when last"},
};

}  // namespace

const Command kLedgerCommand = {
    "ledger",
    "show the consent decisions: who was allowed to read or change what, and when",
    "Prints the disclosure ledger, DIR/ledger.jsonl: one line for each consent decision the\n"
    "profile component asked of the user, whatever answered it: the time (UTC), read or write, the\n"
    "company and section, the field names listed (never their values), for a write the share status\n"
    "each field was left with, and the answer. --by-company sums it up per company: the fields each\n"
    "has been allowed to read and to change, when last, and how often it was refused. Damaged lines\n"
    "are reported on standard error and skipped.",
    kOptions,
    &Ledger,
};

}  // namespace lumora::admin
