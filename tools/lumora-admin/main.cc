// lumora-admin: provisioning and examination of an installation's state folder. The
// commands are listed in kCommands, each in a file of its own; options may come before
// or after the command, as "--name VALUE" or "--name=VALUE".
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "admin_command.h"

namespace fs = std::filesystem;
using namespace lumora::admin;

namespace {

const Command* const kCommands[] = {
    &kInitCommand,     &kCheckCommand,   &kRecoverCommand, &kTrustCommand,         &kConsentCommand,
    &kSectionsCommand, &kShowCommand,    &kGetCommand,     &kSetCommand,           &kCreateCommand,
    &kCertsCommand,    &kScratchCommand, &kNoticesCommand, &kResetPasswordCommand, &kLedgerCommand,
};

constexpr OptionSpec kGlobalOptions[] = {
    {"--home", "DIR", "the state folder (default: $LUMORA_HOME, else /var/lib/lumora)"},
    {"--help", nullptr, "show this help, or a command's own with the command"},
    {"--version", nullptr, "show the program's version"},
};

const Command* FindCommand(std::string_view name) {
  for (const Command* command : kCommands) {
    if (name == command->name) return command;
  }
  return nullptr;
}

const OptionSpec* FindIn(std::span<const OptionSpec> options, std::string_view name) {
  for (const OptionSpec& option : options) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

// The option `name` among the global ones and the command's; before the command is
// known, among every command's (their names never clash).
const OptionSpec* FindOption(std::string_view name, const Command* command) {
  if (const OptionSpec* global = FindIn(kGlobalOptions, name)) return global;
  if (command != nullptr) return FindIn(command->options, name);
  for (const Command* each : kCommands) {
    if (const OptionSpec* option = FindIn(each->options, name)) return option;
  }
  return nullptr;
}

void PrintOptions(FILE* out, std::span<const OptionSpec> options) {
  for (const OptionSpec& option : options) {
    std::string left = option.name;
    if (option.valueName != nullptr) left += std::string(" ") + option.valueName;
    std::fprintf(out, "  %-18s %s\n", left.c_str(), option.help);
  }
}

void Overview(FILE* out) {
  std::fprintf(out, "usage: lumora-admin COMMAND [OPTIONS]\n\ncommands:\n");
  for (const Command* command : kCommands) std::fprintf(out, "  %-15s %s\n", command->name, command->summary);
  std::fprintf(out, "\noptions of every command:\n");
  PrintOptions(out, kGlobalOptions);
  std::fprintf(out, "\n'lumora-admin COMMAND --help' describes a command and its own options.\n");
}

void CommandHelp(const Command& command) {
  std::printf("usage: lumora-admin %s%s%s [OPTIONS]\n\n%s\n", command.name, *command.arguments != '\0' ? " " : "",
              command.arguments, command.description);
  if (!command.options.empty()) {
    std::printf("\noptions:\n");
    PrintOptions(stdout, command.options);
  }
  std::printf("\noptions of every command:\n");
  PrintOptions(stdout, kGlobalOptions);
}

int UsageError(const std::string& message, const Command* command) {
  std::fprintf(stderr, "lumora-admin: %s\n", message.c_str());
  if (command != nullptr) {
    std::fprintf(stderr, "'lumora-admin %s --help' lists its options.\n", command->name);
  } else {
    std::fprintf(stderr, "'lumora-admin --help' lists the commands and options.\n");
  }
  return kExitUsage;
}

bool LooksLikeOption(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

}  // namespace

int main(int argc, char** argv) {
  // Display values follow the user's locale, as the component shows them to the user;
  // raw values and everything the tool writes itself are the same in every locale.
  std::setlocale(LC_ALL, "");
  const std::vector<std::string> args(argv + 1, argv + argc);
  const Command* command = nullptr;
  std::vector<std::pair<const OptionSpec*, std::string>> given;
  std::vector<std::string> words;
  bool optionsEnded = false;  // after "--", everything is a word (a value may start with '-')
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--" && !optionsEnded) {
      optionsEnded = true;
      continue;
    }
    if (optionsEnded || !LooksLikeOption(arg)) {
      if (command == nullptr) {
        command = FindCommand(arg);
        if (command == nullptr) return UsageError("unknown command '" + arg + "'", nullptr);
        continue;
      }
      if (words.size() >= command->maxArguments) {
        return UsageError(
            command->maxArguments == 0 ? "unexpected argument '" + arg + "'" : "too many arguments ('" + arg + "')",
            command);
      }
      words.push_back(arg);
      continue;
    }
    std::string name = arg == "-h" ? "--help" : arg;
    std::string value;
    const size_t equals = name.find('=');
    const bool inlineValue = name.compare(0, 2, "--") == 0 && equals != std::string::npos;
    if (inlineValue) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    const OptionSpec* option = FindOption(name, command);
    if (option == nullptr && command != nullptr && FindOption(name, nullptr) != nullptr) {
      return UsageError("option " + name + " is not an option of " + command->name, command);
    }
    if (option == nullptr) return UsageError("unknown option '" + name + "'", command);
    if (option->valueName == nullptr) {
      if (inlineValue) return UsageError("option " + name + " takes no value", command);
    } else if (!inlineValue) {
      if (i + 1 >= args.size() || LooksLikeOption(args[i + 1])) {
        return UsageError("option " + name + " needs a value (" + option->valueName + ")", command);
      }
      value = args[++i];
    }
    if (option->valueName != nullptr && value.empty()) {
      return UsageError("option " + name + " needs a value (" + option->valueName + ")", command);
    }
    given.emplace_back(option, value);
  }

  Options options;
  for (const auto& [option, value] : given) {
    if (command != nullptr && FindIn(kGlobalOptions, option->name) == nullptr &&
        FindIn(command->options, option->name) == nullptr) {
      return UsageError(std::string("option ") + option->name + " is not an option of " + command->name, command);
    }
    if (option->valueName != nullptr) {
      options.values[option->name] = value;
    } else {
      options.flags.insert(option->name);
    }
  }
  if (options.Has("--version")) {
    std::printf("lumora-admin %s\n", LUMORA_VERSION);
    return kExitOk;
  }
  if (options.Has("--help")) {
    if (command != nullptr) {
      CommandHelp(*command);
    } else {
      Overview(stdout);
    }
    return kExitOk;
  }
  if (command == nullptr) {
    Overview(stderr);
    return kExitUsage;
  }
  if (words.size() < command->minArguments) {
    return UsageError(std::string("missing arguments: lumora-admin ") + command->name + " " + command->arguments,
                      command);
  }
  options.arguments = std::move(words);
  const char* environment = std::getenv("LUMORA_HOME");
  std::string home =
      options.Value("--home", environment != nullptr && *environment != '\0' ? environment : "/var/lib/lumora");
  std::error_code ec;
  const fs::path absolute = fs::absolute(home, ec);
  options.home = (ec ? fs::path(home) : absolute).lexically_normal().string();
  if (options.home.size() > 1 && options.home.back() == '/') options.home.pop_back();
  setenv("LUMORA_HOME", options.home.c_str(), 1);
  return command->run(options);
}

namespace lumora::admin {

int Fail(const std::string& message) {
  std::fprintf(stderr, "lumora-admin: %s\n", message.c_str());
  return kExitFailure;
}

int UsageMistake(const char* command, const std::string& message) {
  std::fprintf(stderr, "lumora-admin: %s\n'lumora-admin %s --help' describes it.\n", message.c_str(), command);
  return kExitUsage;
}

bool Confirmed(const Options& options) {
  if (options.Has("--yes")) return true;
  std::printf("Type 'yes' to go on: ");
  std::fflush(stdout);
  std::string answer;
  if (!std::getline(std::cin, answer)) answer.clear();
  if (!isatty(STDIN_FILENO)) std::printf("\n");
  return answer == "yes";
}

std::string Code(HRESULT hr) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(hr));
  return buffer;
}

}  // namespace lumora::admin
