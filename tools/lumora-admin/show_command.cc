// show: every variable of one section with every column of its row, as the super user
// reads it (no consent dialog: the administrator reads the store, no company does).
#include <cstdio>

#include "admin_command.h"
#include "privileged_objects.h"
#include "terminal_text.h"
#include "variable_listing.h"

namespace lumora::admin {
namespace {

int Show(const Options& options) {
  const std::string& section = options.arguments[0];
  if (section.empty()) return UsageMistake("show", "the section name is empty");
  if (const int failed = RequireInstallation(options); failed != kExitOk) return failed;
  ComPtr<IPRProfileSuperUser> superUser;
  if (const int failed = OpenSuperUser(&superUser); failed != kExitOk) return failed;
  const HRESULT hr = ShowSection(superUser.get(), section, options.Has("--json"), stdout);
  if (FAILED(hr)) return FailCall("cannot read the section \"" + Printable(section) + "\"", hr);
  return kExitOk;
}

constexpr OptionSpec kOptions[] = {
    {"--json", nullptr, "print the section as one JSON object"},
};

}  // namespace

const Command kShowCommand = {
    "show",
    "every variable of a section, with all it holds",
    "Reads every variable of SECTION as the store's administrator (no consent dialog) and shows, for\n"
    "each: its uki, field name, type, privacy, volatility, whether it is read-only, whether it is a\n"
    "link and to which variable, its display value (quoted; \"(not set)\" when it has none) and when\n"
    "it was last shared (empty when never). Section names are compared as the store compares them,\n"
    "without regard to letter case. Control characters in what the store holds are shown escaped\n"
    "(\\n, \\e, \\x07, \\u202e ...); --json gives the exact texts.",
    kOptions,
    &Show,
    "SECTION",
    1,
    1,
};

}  // namespace lumora::admin
