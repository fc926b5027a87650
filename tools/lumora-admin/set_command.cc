// set: changes one variable's raw value as the administrator: a privileged modification
// executed without a dialog (hwnd -1). The variable must exist; its type decides which
// raw values it takes.
#include <cstdio>

#include "admin_command.h"
#include "lumora/values.h"
#include "privileged_objects.h"
#include "result_text.h"
#include "terminal_text.h"
#include "variable_access.h"

namespace lumora::admin {
namespace {

int Set(const Options& options) {
  const std::string& uki = options.arguments[0];
  const std::string& value = options.arguments[1];
  if (uki.empty()) return UsageMistake("set", "the uki is empty (section.key, optionally followed by [array key])");
  if (const int failed = RequireInstallation(options); failed != kExitOk) return failed;
  ComPtr<IPRProfileSuperUser> superUser;
  if (const int failed = OpenSuperUser(&superUser); failed != kExitOk) return failed;

  // What it holds now: a variable that does not exist is named before anything is queued.
  VariableDetails before;
  HRESULT hr = ReadOneVariable(superUser.get(), uki, &before);
  if (hr == eErrorKeyNotFound) {
    return Fail("the store holds no variable " + Printable(uki) + " (set changes existing variables only)");
  }
  if (FAILED(hr)) return FailCall("cannot read " + Printable(uki), hr);

  if (const std::string wanted = RawValueProblem(before.row.type, before.options.size(), value); !wanted.empty()) {
    return Fail("cannot change " + Printable(uki) + ": " + Explained(eErrorProfileTypeMismatch) + " (" +
                TypeName(before.row.type) + "): " + Quoted(value) + " is not " + wanted + "; nothing changed");
  }

  Bstr name = Bstr::FromUtf8(uki);
  Bstr raw = Bstr::FromUtf8(value);
  hr = superUser->AddModifyRawValueRequest(name.get(), raw.get());
  if (FAILED(hr)) return FailCall("cannot queue the change of " + Printable(uki), hr);
  Bstr noMessage = Bstr::FromUtf8("");
  LONG executed = 0;
  const HRESULT written = superUser->ExecuteWriteRequests(-1, noMessage.get(), &executed);
  if (FAILED(written)) return FailCall("cannot change " + Printable(uki), written);

  const bool unchanged = written == eWarningValueUnchanged || (before.row.valueSet && before.row.rawValue == value);
  if (unchanged) {
    std::printf("%s: unchanged (%s): it already holds %s\n", Printable(uki).c_str(),
                Explained(eWarningValueUnchanged).c_str(), Quoted(value).c_str());
    return kExitOk;
  }
  VariableDetails after;
  hr = ReadOneVariable(superUser.get(), uki, &after);
  if (FAILED(hr)) return FailCall("changed " + Printable(uki) + ", but cannot read it back", hr);
  std::printf("%s: %s\n", Printable(uki).c_str(), Explained(written).c_str());
  std::printf("  was: %s\n", before.row.valueSet ? Quoted(before.row.displayValue).c_str() : "(not set)");
  std::printf("  now: %s\n", after.row.valueSet ? Quoted(after.row.displayValue).c_str() : "(not set)");
  return kExitOk;
}

}  // namespace

const Command kSetCommand = {
    "set",
    "change one variable's raw value as the administrator",
    "Changes the raw value of the existing variable UKI to VALUE as the store's administrator,\n"
    "without a consent dialog, and shows its display value before and after. The raw value is the\n"
    "stored text of the variable's type, the same in every locale: a number (\"42\"), a date-time as\n"
    "days since 30 December 1899 (\"36526.750000\"), \"1\" or \"0\" for a boolean, the number of an\n"
    "enumeration's label (\"2\"); at most 1006 characters. Setting the value a variable already\n"
    "holds is no error: it is reported as unchanged. A number, date or enumeration value must be that\n"
    "form whole (\"36526,75\" or \"12 apples\" are refused, as is an option number the enumeration does\n"
    "not have). A value that starts with '-' follows \"--\".",
    {},
    &Set,
    "UKI VALUE",
    2,
    2,
};

}  // namespace lumora::admin
