// create: makes one variable as the administrator: a privileged creation executed without
// a dialog (hwnd -1). This is how the product's own shared variables (the common
// sections, which no partner may claim) come into a store.
#include <cstdio>
#include <cstring>

#include "admin_command.h"
#include "lumora/values.h"
#include "privileged_objects.h"
#include "result_text.h"
#include "terminal_text.h"
#include "variable_access.h"

namespace lumora::admin {
namespace {

struct TypeName {
  const char* name;
  EProfileDataType type;
};
constexpr TypeName kTypes[] = {
    {"string", eTypeString}, {"int32", eTypeInt32},       {"boolean", eTypeBoolean},       {"date", eTypeDate},
    {"time", eTypeTime},     {"datetime", eTypeDateTime}, {"stringlist", eTypeStringList},
};

int Create(const Options& options) {
  const std::string& uki = options.arguments[0];
  const std::string& value = options.arguments[1];
  if (uki.empty()) return UsageMistake("create", "the uki is empty (section.key)");
  const std::string typeName = options.Value("--type", "string");
  const TypeName* type = nullptr;
  for (const TypeName& each : kTypes) {
    if (typeName == each.name) type = &each;
  }
  if (type == nullptr) {
    return UsageMistake("create", "'" + Printable(typeName) +
                                      "' is not a type: string, int32, boolean, date, time, datetime or stringlist");
  }
  const std::string field = options.Value("--field", uki.substr(uki.rfind('.') + 1));
  if (const int failed = RequireInstallation(options); failed != kExitOk) return failed;
  ComPtr<IPRProfileSuperUser> superUser;
  if (const int failed = OpenSuperUser(&superUser); failed != kExitOk) return failed;

  VariableDetails existing;
  HRESULT hr = ReadOneVariable(superUser.get(), uki, &existing);
  if (SUCCEEDED(hr)) {
    return Fail("the store holds " + Printable(uki) + " already (set changes its value; nothing was changed)");
  }
  if (hr != eErrorKeyNotFound) return FailCall("cannot read " + Printable(uki), hr);

  if (const std::string wanted = RawValueProblem(type->type, 0, value); !wanted.empty()) {
    return Fail("cannot create " + Printable(uki) + ": \"" + Printable(value) + "\" is not a raw value of type " +
                typeName + ": it must be " + wanted + "; nothing was changed");
  }
  const EPrivacy privacy = options.Has("--private") ? ePrivacyPrivate : ePrivacyShared;
  hr = superUser->AddCreateKeyRequest(Bstr::FromUtf8(uki).get(), type->type, Bstr::FromUtf8(value).get(),
                                      eVolatilityChangesRarely, privacy, Bstr::FromUtf8(field).get(), VARIANT_FALSE,
                                      nullptr);
  if (FAILED(hr)) return FailCall("cannot queue the creation of " + Printable(uki), hr);
  Bstr noMessage = Bstr::FromUtf8("");
  LONG executed = 0;
  const HRESULT written = superUser->ExecuteWriteRequests(-1, noMessage.get(), &executed);
  if (FAILED(written)) return FailCall("cannot create " + Printable(uki), written);
  VariableDetails after;
  hr = ReadOneVariable(superUser.get(), uki, &after);
  if (executed != 1 || FAILED(hr)) {
    return Fail("the creation of " + Printable(uki) + " did not execute (is the value a raw value of type " + typeName +
                "?)");
  }
  std::printf("%s: created (%s, %s, field name \"%s\")\n  value: %s\n", Printable(uki).c_str(), typeName.c_str(),
              privacy == ePrivacyShared ? "shared" : "private", Printable(field).c_str(),
              after.row.valueSet ? ("\"" + Printable(after.row.displayValue) + "\"").c_str() : "(not set)");
  return kExitOk;
}

constexpr OptionSpec kOptions[] = {
    {"--type", "TYPE", "string (default), int32, boolean, date, time, datetime or stringlist"},
    {"--field", "NAME", "the field name the consent dialogs show (default: the key)"},
    {"--private", nullptr, "mark it private (default: shared)"},
};

}  // namespace

const Command kCreateCommand = {
    "create",
    "make one variable as the administrator",
    "Makes the variable UKI with the raw value VALUE as the store's administrator, without a consent\n"
    "dialog. The raw value is the stored text of the type, the same in every locale: a number (\"42\"),\n"
    "a date or date-time as days since 30 December 1899 (\"36526.75\"), \"1\" or \"0\" for a boolean. It\n"
    "is how the shared variables of the common sections, which belong to the product, are made: a\n"
    "partner program that reads common.FirstName gets this one unless its own section holds a copy.\n"
    "A variable that exists already is left alone. A value that starts with '-' follows \"--\".",
    kOptions,
    &Create,
    "UKI VALUE",
    2,
    2,
};

}  // namespace lumora::admin
