// get: one variable as the administrator reads it: its type, display value and raw value
// (an array's elements, an enumeration's labels), without a consent dialog.
#include <cstdio>

#include "admin_command.h"
#include "privileged_objects.h"
#include "terminal_text.h"
#include "variable_access.h"

namespace lumora::admin {
namespace {

void PrintText(const std::string& uki, const VariableDetails& details) {
  const VariableRow& row = details.row;
  std::printf("%s (%s)\n", Printable(uki).c_str(), TypeName(row.type).c_str());
  std::printf("  display value: %s\n", row.valueSet ? Quoted(row.displayValue).c_str() : "(not set)");
  std::printf("  raw value:     %s\n", row.valueSet ? Quoted(row.rawValue).c_str() : "(not set)");
  for (const auto& [key, value] : details.elements) {
    std::printf("  element %s: %s\n", Quoted(key).c_str(), Quoted(value).c_str());
  }
  if (!details.options.empty()) {
    std::string labels;
    for (size_t i = 0; i < details.options.size(); ++i) {
      labels += (i == 0 ? "" : ", ") + std::to_string(i + 1) + " " + Quoted(details.options[i]);
    }
    std::printf("  options:       %s\n", labels.c_str());
  }
  if (row.linked) std::printf("  linked to:     %s\n", Printable(row.linkSource).c_str());
}

void PrintJson(const std::string& uki, const VariableDetails& details) {
  JsonValue variable = VariableJson(details.row);
  variable.Add("requested", JsonValue::String(uki));
  variable.Add("rawValue", JsonValue::String(details.row.rawValue));
  JsonValue elements = JsonValue::Array();
  for (const auto& [key, value] : details.elements) {
    JsonValue element = JsonValue::Object();
    element.Add("key", JsonValue::String(key));
    element.Add("value", JsonValue::String(value));
    elements.Append(std::move(element));
  }
  variable.Add("elements", std::move(elements));
  JsonValue options = JsonValue::Array();
  for (const std::string& label : details.options) options.Append(JsonValue::String(label));
  variable.Add("options", std::move(options));
  std::printf("%s\n", WriteSafeJson(variable).c_str());
}

int Get(const Options& options) {
  const std::string& uki = options.arguments[0];
  if (uki.empty()) return UsageMistake("get", "the uki is empty (section.key, optionally followed by [array key])");
  if (const int failed = RequireInstallation(options); failed != kExitOk) return failed;
  ComPtr<IPRProfileSuperUser> superUser;
  if (const int failed = OpenSuperUser(&superUser); failed != kExitOk) return failed;
  VariableDetails details;
  const HRESULT hr = ReadOneVariable(superUser.get(), uki, &details);
  if (hr == eErrorKeyNotFound) return Fail("the store holds no variable " + Printable(uki));
  if (FAILED(hr)) return FailCall("cannot read " + Printable(uki), hr);
  if (options.Has("--json")) {
    PrintJson(uki, details);
  } else {
    PrintText(uki, details);
  }
  return kExitOk;
}

constexpr OptionSpec kOptions[] = {
    {"--json", nullptr, "print the variable as one JSON object (the exact texts)"},
};

}  // namespace

const Command kGetCommand = {
    "get",
    "read one variable as the administrator",
    "Reads the variable UKI (section.key, or section.key[array key] for one element of an array) as the\n"
    "store's administrator, without a consent dialog, and shows its type, its display value (as the\n"
    "user is shown it, in the user's locale) and its raw value (as it is stored, the same in every\n"
    "locale); for an array its elements, for an enumeration its labels, for a link its source.\n"
    "Control characters are shown escaped; --json gives the exact texts.",
    kOptions,
    &Get,
    "UKI",
    1,
    1,
};

}  // namespace lumora::admin
