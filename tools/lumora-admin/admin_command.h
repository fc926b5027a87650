// lumora-admin's commands. Each command lives in a file of its own and describes itself
// with a Command (its name, help and options); main.cc lists them in one table and
// parses the command line for them, so a new command is one new file and one line in
// that table. Single-threaded, one command per process.
#ifndef LUMORA_TOOLS_LUMORA_ADMIN_ADMIN_COMMAND_H_
#define LUMORA_TOOLS_LUMORA_ADMIN_ADMIN_COMMAND_H_

#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "lumora/automation.h"

namespace lumora::admin {

// Exit codes of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the command ran and found or met a problem
inline constexpr int kExitUsage = 2;    // the command line was wrong

// One option a command accepts: "--name" alone, or "--name VALUE" / "--name=VALUE".
struct OptionSpec {
  const char* name;       // with its dashes: "--group"
  const char* valueName;  // "NAME"; nullptr for an option without a value
  const char* help;
};

// What the command line gave a command.
struct Options {
  std::string home;  // the state folder, absolute
  std::map<std::string, std::string> values;
  std::set<std::string> flags;
  std::vector<std::string> arguments;  // the words after the command that are no options

  bool Has(const std::string& name) const { return flags.count(name) > 0 || values.count(name) > 0; }
  std::string Value(const std::string& name, const std::string& otherwise = {}) const {
    const auto found = values.find(name);
    return found != values.end() ? found->second : otherwise;
  }
};

struct Command {
  const char* name;
  const char* summary;      // one line for the overview
  const char* description;  // what it does, for its own --help
  std::span<const OptionSpec> options;
  int (*run)(const Options& options);
  const char* arguments = "";  // the words it takes after its name, for the usage line ("add PEM | list")
  size_t minArguments = 0;
  size_t maxArguments = 0;  // kAnyNumber for no limit
};

inline constexpr size_t kAnyNumber = static_cast<size_t>(-1);

// The commands, one file each.
extern const Command kInitCommand;
extern const Command kCheckCommand;
extern const Command kRecoverCommand;
extern const Command kTrustCommand;
extern const Command kConsentCommand;
extern const Command kSectionsCommand;
extern const Command kShowCommand;
extern const Command kGetCommand;
extern const Command kSetCommand;
extern const Command kCreateCommand;
extern const Command kCertsCommand;
extern const Command kScratchCommand;
extern const Command kNoticesCommand;
extern const Command kResetPasswordCommand;
extern const Command kLedgerCommand;

// "lumora-admin: <message>" on standard error; returns kExitFailure.
int Fail(const std::string& message);
// "lumora-admin: <message>" and where the command's help is, on standard error;
// returns kExitUsage.
int UsageMistake(const char* command, const std::string& message);
// Whether the user wants a step that cannot be undone: --yes, or "yes" typed in answer to
// the question on standard input (anything else, or nothing, is no).
bool Confirmed(const Options& options);
// A result code as 0xXXXXXXXX.
std::string Code(HRESULT hr);

}  // namespace lumora::admin

#endif  // LUMORA_TOOLS_LUMORA_ADMIN_ADMIN_COMMAND_H_
