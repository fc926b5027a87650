// notices: what the store told the user through the notification service: its notices
// (a company that could not be verified, a certificate deleted or revoked) and its change
// records (a variable made shared or private, and by whom), in one list, newest last.
#include <algorithm>
#include <cstdio>

#include "admin_command.h"
#include "lumora/values.h"
#include "privileged_objects.h"
#include "terminal_text.h"

namespace lumora::admin {
namespace {

// The service keeps its times in universal time, to the second.
std::string TimeText(DATE when) { return FormatDateTime(when) + " UTC"; }

struct Entry {
  DATE when = 0;
  bool notice = true;
  std::string title;  // a notice's title, a change's field name
  std::string text;   // a notice's text
  LONG change = 0;
  LONG requester = 0;
};

std::string ChangeText(LONG change) {
  switch (change) {
    case 1:
      return "made shared";
    case 2:
      return "made private";
    default:
      return "changed (kind " + std::to_string(change) + ")";
  }
}

std::string RequesterText(LONG requester) {
  switch (requester) {
    case 0:
      return "a privileged tool";
    case 1:
      return "an ordinary program";
    case 2:
      return "the administrator";
    default:
      return "requester " + std::to_string(requester);
  }
}

HRESULT ReadEntries(ILumoraNotification* service, std::vector<Entry>* entries) {
  LONG notices = 0;
  HRESULT hr = service->GetNoticeCount(&notices);
  for (LONG i = 0; SUCCEEDED(hr) && i < notices; ++i) {
    Entry entry;
    Bstr title;
    Bstr text;
    if (SUCCEEDED(hr = service->GetNoticeTitle(i, title.put())) &&
        SUCCEEDED(hr = service->GetNoticeText(i, text.put())) &&
        SUCCEEDED(hr = service->GetNoticeTime(i, &entry.when))) {
      entry.title = title.ToUtf8();
      entry.text = text.ToUtf8();
      entries->push_back(std::move(entry));
    }
  }
  LONG changes = 0;
  if (SUCCEEDED(hr)) hr = service->GetChangeCount(&changes);
  for (LONG i = 0; SUCCEEDED(hr) && i < changes; ++i) {
    Entry entry;
    entry.notice = false;
    Bstr field;
    if (SUCCEEDED(hr = service->GetChangeFieldName(i, field.put())) &&
        SUCCEEDED(hr = service->GetChangeKind(i, &entry.change)) &&
        SUCCEEDED(hr = service->GetChangeRequester(i, &entry.requester)) &&
        SUCCEEDED(hr = service->GetChangeTime(i, &entry.when))) {
      entry.title = field.ToUtf8();
      entries->push_back(std::move(entry));
    }
  }
  // Each list is kept in order; together they go by time, newest last (within one second
  // the service keeps no order between a notice and a change record: notices first).
  std::stable_sort(entries->begin(), entries->end(), [](const Entry& a, const Entry& b) { return a.when < b.when; });
  return hr;
}

int Notices(const Options& options) {
  if (const int failed = RequireInstallation(options, false); failed != kExitOk) return failed;
  ComPtr<ILumoraNotification> service;
  if (const int failed = OpenNotification(&service); failed != kExitOk) return failed;
  std::vector<Entry> entries;
  const HRESULT hr = ReadEntries(service.get(), &entries);
  if (FAILED(hr)) return FailCall("cannot read the notices", hr);
  if (options.Has("--json")) {
    JsonValue list = JsonValue::Array();
    for (const Entry& entry : entries) {
      JsonValue item = JsonValue::Object();
      item.Add("time", JsonValue::String(TimeText(entry.when)));
      item.Add("kind", JsonValue::String(entry.notice ? "notice" : "change"));
      if (entry.notice) {
        item.Add("title", JsonValue::String(entry.title));
        item.Add("text", JsonValue::String(entry.text));
      } else {
        item.Add("fieldName", JsonValue::String(entry.title));
        item.Add("change", JsonValue::String(ChangeText(entry.change)));
        item.Add("changeCode", JsonValue::Integer(entry.change));
        item.Add("by", JsonValue::String(RequesterText(entry.requester)));
        item.Add("requester", JsonValue::Integer(entry.requester));
      }
      list.Append(std::move(item));
    }
    std::printf("%s\n", WriteSafeJson(list).c_str());
    return kExitOk;
  }
  for (const Entry& entry : entries) {
    if (entry.notice) {
      std::printf("%s  notice  %s: %s\n", TimeText(entry.when).c_str(), Printable(entry.title).c_str(),
                  Printable(entry.text).c_str());
    } else {
      std::printf("%s  change  \"%s\" %s by %s\n", TimeText(entry.when).c_str(), Printable(entry.title).c_str(),
                  ChangeText(entry.change).c_str(), RequesterText(entry.requester).c_str());
    }
  }
  if (entries.empty()) std::printf("no notices and no change records\n");
  return kExitOk;
}

constexpr OptionSpec kOptions[] = {
    {"--json", nullptr, "print the notices and change records as one JSON array"},
};

}  // namespace

const Command kNoticesCommand = {
    "notices",
    "the notices and change records the store gave the user",
    "Lists, newest last, what the store handed the notification service: notices (a calling program\n"
    "that could not be verified, a signing certificate deleted or revoked) and change records (a\n"
    "variable, by its field name, made shared or private, and whether by an ordinary program, the\n"
    "administrator or a privileged tool). Control characters are shown escaped.",
    kOptions,
    &Notices,
};

}  // namespace lumora::admin
