// check: looks at the store and says what it found, changing nothing. It never makes the
// password (init does) and never writes into the database, even one it finds damaged.
#include <cstdio>
#include <string>

#include "admin_command.h"
#include "services/json_line.h"
#include "store_checkup.h"

namespace lumora::admin {
namespace {

using services::JsonValue;

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : " ") + item;
  return text;
}

void PrintText(const StoreCheckup& report) {
  std::printf("state folder: %s\n", report.home.c_str());
  std::printf("settings: %s\n", report.settingsFile.c_str());
  if (!report.database.empty()) std::printf("database: %s (setting 2)\n", report.database.c_str());
  if (!report.password.empty()) std::printf("password: %s\n", report.password.c_str());
  if (!report.tables.empty()) std::printf("tables: %s\n", Joined(report.tables).c_str());
  if (!report.missingTables.empty()) std::printf("missing tables: %s\n", Joined(report.missingTables).c_str());
  // The engine's own lines, then one line that sums them up.
  if (report.integrity == std::vector<std::string>{"ok"}) {
    std::printf("integrity: ok\n");
  } else if (!report.integrity.empty()) {
    for (const std::string& line : report.integrity) std::printf("integrity: %s\n", line.c_str());
    // The engine stops listing at 100 problems.
    std::printf("integrity: %s%zu problem(s) reported by the engine\n",
                report.integrity.size() >= 100 ? "at least " : "", report.integrity.size());
  }
  for (const std::string& warning : report.warnings) std::printf("warning: %s\n", warning.c_str());
  if (report.verdict == StoreCheckup::Verdict::kHealthy) {
    std::printf("check: the store is healthy\n");
    return;
  }
  const std::string code = FAILED(report.code) ? " (" + Code(report.code) + ")" : std::string();
  std::printf("check: %s%s\n", report.problem.c_str(), code.c_str());
  if (!report.advice.empty()) std::printf("what to do: %s\n", report.advice.c_str());
}

void PrintJson(const StoreCheckup& report) {
  std::printf("%s\n", services::WriteJsonLine(
                          {
                              {"stateFolder", JsonValue::String(report.home)},
                              {"settings", JsonValue::String(report.settingsFile)},
                              {"database", JsonValue::String(report.database)},
                              {"databaseOutsideStateFolder", JsonValue::Integer(report.databaseOutsideHome ? 1 : 0)},
                              {"password", JsonValue::String(report.password)},
                              {"tables", JsonValue::Strings(report.tables)},
                              {"missingTables", JsonValue::Strings(report.missingTables)},
                              {"integrity", JsonValue::Strings(report.integrity)},
                              {"warnings", JsonValue::Strings(report.warnings)},
                              {"result", JsonValue::String(VerdictName(report.verdict))},
                              {"problem", JsonValue::String(report.problem)},
                              {"advice", JsonValue::String(report.advice)},
                              {"code", JsonValue::String(FAILED(report.code) ? Code(report.code) : std::string())},
                          })
                          .c_str());
}

int Check(const Options& options) {
  const StoreCheckup report = CheckUpStore(options.home);
  if (options.Has("--json")) {
    PrintJson(report);
  } else {
    PrintText(report);
  }
  return report.verdict == StoreCheckup::Verdict::kHealthy ? kExitOk : kExitFailure;
}

constexpr OptionSpec kOptions[] = {
    {"--json", nullptr, "print the findings as one JSON object"},
};

}  // namespace

const Command kCheckCommand = {
    "check",
    "look at the store and say what is wrong, changing nothing",
    "Looks at the store of the state folder without changing anything: the settings file and the database\n"
    "it names (setting 2), whether the two pieces of the database password are there and open it, its\n"
    "tables and the database engine's integrity check. When something is wrong it names the cause (not\n"
    "initialised, no permission, password lost, damaged) and what to do. It warns when the database lies\n"
    "outside the state folder. Exits 0 when the store is healthy, 1 otherwise.",
    kOptions,
    &Check,
};

}  // namespace lumora::admin
