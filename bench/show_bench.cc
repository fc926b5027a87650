// `lumora-admin show` of a section of 10,000 variables, in a store that holds 100,000 rows
// with real protected values, against the floor of the same work measured in the same run:
// one prepared statement that reads the section's rows and a decryption of each value
// with nettle directly.
//   BM_ShowCommand   the command's own code (the super user created by program identifier,
//                    ExecuteReadAllKeysInSection, every item read, the text printed), in
//                    this process, which carries the product signature as the tool does;
//                    a profile object keeps the store open, as the floor keeps its
//                    connection (target: at most 2x BM_RawFloor)
//   BM_ShowProcess   the real tool, in a process of its own, printing to /dev/null: it also
//                    starts, checks its own signature and opens the store with its key
//                    derivation (reported against BM_RawFloorWithOpen, which opens its own
//                    connection with the same key derivation)
#define SQLITE_HAS_CODEC 1
#include <fcntl.h>
#include <nettle/arctwo.h>
#include <nettle/cbc.h>
#include <nettle/md5.h>
#include <sqlcipher/sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench/bench_main.h"
#include "bench/raw_floor.h"
#include "lumora/profile_private.h"
#include "lumora/values.h"
#include "store/array_set.h"
#include "store/enum_set.h"
#include "store/key_set.h"
#include "store/profile_database.h"
#include "store/store_context.h"
#include "store/value_protection.h"
#include "tools/lumora-admin/variable_listing.h"

namespace {

using namespace lumora;

constexpr int kSectionVariables = 10000;
constexpr int kStoreRows = 100000;
constexpr char kSection[] = "bench";

int RunQuietly(const std::vector<std::string>& argv) {
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The installation, made by the real tool, and filled by a process of its own as programs
// would have filled it: the section read (strings of some length, numbers, dates, flags,
// enumerations, links to common variables, arrays, variables without a value, some of them
// shared before) among 90,000 rows of other sections.
struct Installation {
  std::string home;
  std::string database;
  std::string password;
  ComPtr<IPRProfile> holder;  // keeps the component's store open between iterations
  bool ok = false;
};

void Fill() {
  if (AcquireCryptProvider() != 0 || OpenProfileDatabase() != S_OK) _exit(1);
  CDaoDatabase* db = ProfileDatabase();
  db->m_pWorkspace->BeginTrans();
  {
    CKeySet set(db, dbOpenDynaset);
    set.m_strFilter = "SECTION = 'ShouldNeverExist'";
    set.Open();
    CArraySet elements(db);
    elements.Open(dbOpenDynaset);
    CEnumSet labels(db);
    labels.Open(dbOpenDynaset);
    auto add = [&](const std::string& section, const std::string& key, const std::string& raw, SHORT type, bool linked,
                   DATE lastShared) {
      set.AddNew();
      set.m_Section = section;
      set.m_Key = key;
      set.m_Value = linked ? std::string() : raw == kNotSetRawValue ? raw : ProtectValue(raw);
      set.m_FieldName = "Field " + key;
      set.m_Type = type;
      set.m_Privacy = key.size() % 2 == 0 ? ePrivacyShared : ePrivacyPrivate;
      set.m_Volatility = eVolatilityChangesRarely;
      set.m_IsLinked = linked ? TRUE : FALSE;
      set.m_LastShared = lastShared;
      set.Update();
    };
    for (int c = 0; c < 50; ++c)
      add("common", "shared" + std::to_string(c), "Shared value " + std::to_string(c), 5, false, 0);
    for (int i = 0; i < kSectionVariables; ++i) {
      const std::string key = "v" + std::to_string(i);
      const DATE shared = i % 7 == 0 ? 45000.25 + i : 0;
      switch (i % 20) {
        case 0:
          add(kSection, key, std::to_string(i * 37), 1, false, shared);
          break;
        case 1:
          add(kSection, key, std::to_string(36526 + i) + ".750000", 2, false, shared);
          break;
        case 2:
          add(kSection, key, i % 3 == 0 ? "1" : "0", 6, false, shared);
          break;
        case 3:
          add(kSection, key, "2", 9, false, shared);
          for (int e = 1; e <= 3; ++e) {
            labels.AddNew();
            labels.m_uki = std::string(kSection) + "." + key;
            labels.m_enumIndex = e;
            labels.m_Label = "Option " + std::to_string(e);
            labels.Update();
          }
          break;
        case 4:
          add(kSection, "common.shared" + std::to_string(i % 50), "", 5, true, shared);
          break;
        case 5:
          add(kSection, key, "", 8, false, shared);
          for (int e = 0; e < 3; ++e) {
            elements.AddNew();
            elements.m_uki = std::string(kSection) + "." + key;
            elements.m_key = std::to_string(e);
            elements.m_value = ProtectValue("element " + std::to_string(e));
            elements.Update();
          }
          break;
        case 6:
          add(kSection, key, kNotSetRawValue, 5, false, 0);
          break;
        default:
          add(kSection, key, "A realistic text value for variable " + key + ", of some length", 5, false, shared);
      }
    }
    for (int row = 0; row < kStoreRows - kSectionVariables - 50; ++row) {
      add("s" + std::to_string(row % 97), "k" + std::to_string(row),
          "Another company's value number " + std::to_string(row), 5, false, 0);
    }
  }
  db->m_pWorkspace->CommitTrans();
  CloseProfileDatabase();
  ReleaseCryptProvider();
}

Installation& Setup() {
  static Installation installation = [] {
    Installation made;
    char folder[] = "/tmp/lumora-show-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) return made;
    made.home = folder;
    made.database = made.home + "/profile.db";
    setenv("LUMORA_HOME", folder, 1);
    if (RunQuietly({LUMORA_ADMIN, "--home", made.home, "init"}) != 0) return made;
    const pid_t filler = fork();
    if (filler == 0) {
      Fill();
      _exit(0);
    }
    int status = 0;
    if (filler < 0 || waitpid(filler, &status, 0) != filler || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      return made;
    }
    if (ReadPasswordPieces(&made.password) != PasswordPieces::kFound) return made;
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(u"PRProfile.PRProfile", &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPRProfile, made.holder.put_void()))) {
      return made;
    }
    made.ok = true;
    return made;
  }();
  return installation;
}

void BM_ShowCommand(benchmark::State& state) {
  Installation& installation = Setup();
  if (!installation.ok) return state.SkipWithError("the benchmark's installation could not be made");
  const bool json = state.range(0) != 0;
  FILE* out = std::fopen("/dev/null", "w");
  CLSID clsid{};
  CLSIDFromProgID(u"PRProfileSuperUser.PRProfileSuperUser", &clsid);
  for (auto _ : state) {
    ComPtr<IPRProfileSuperUser> superUser;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPRProfileSuperUser, superUser.put_void()))) {
      state.SkipWithError("the super user was refused");
      break;
    }
    if (admin::ShowSection(superUser.get(), kSection, json, out) != S_OK) {
      state.SkipWithError("show failed");
      break;
    }
  }
  std::fclose(out);
}

void BM_ShowProcess(benchmark::State& state) {
  Installation& installation = Setup();
  if (!installation.ok) return state.SkipWithError("the benchmark's installation could not be made");
  for (auto _ : state) {
    if (RunQuietly({LUMORA_ADMIN, "--home", installation.home, "show", kSection}) != 0) {
      state.SkipWithError("lumora-admin show failed");
      break;
    }
  }
}

// Opens the store as the engine needs it opened: the key, the pinned cipher settings.
sqlite3* OpenDirectly(const Installation& installation) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(installation.database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return nullptr;
  sqlite3_key_v2(db, "main", installation.password.data(), static_cast<int>(installation.password.size()));
  sqlite3_exec(db,
               "PRAGMA main.cipher_page_size = 1024; PRAGMA main.kdf_iter = 64000;"
               "PRAGMA main.cipher_kdf_algorithm = PBKDF2_HMAC_SHA1; PRAGMA main.cipher_use_hmac = ON;"
               "PRAGMA main.cipher_hmac_algorithm = HMAC_SHA1; PRAGMA cache_size = -32768;",
               nullptr, nullptr, nullptr);
  return db;
}

// The floor: the section's rows through one prepared statement, every column read and
// every value decrypted (key from MD5 of the password, set once per pass).
bool ReadDirectly(sqlite3* db, const std::string& password) {
  sqlite3_stmt* rows = nullptr;
  if (sqlite3_prepare_v2(db,
                         "SELECT Key, Value, FieldName, Type, Privacy, Volatility, IsReadOnly, IsLinked, LastShared "
                         "FROM Main WHERE Section = ?",
                         -1, &rows, nullptr) != SQLITE_OK) {
    return false;
  }
  arctwo_ctx key;
  bench::SetRawKey(&key, bench::DigestOfPassword(password));
  sqlite3_bind_text(rows, 1, kSection, -1, SQLITE_STATIC);
  int count = 0;
  while (sqlite3_step(rows) == SQLITE_ROW) {
    ++count;
    for (int column : {0, 2}) benchmark::DoNotOptimize(sqlite3_column_text(rows, column));
    for (int column = 3; column < 9; ++column) benchmark::DoNotOptimize(sqlite3_column_double(rows, column));
    bench::DecryptStored(key, reinterpret_cast<const char*>(sqlite3_column_text(rows, 1)),
                         static_cast<size_t>(sqlite3_column_bytes(rows, 1)));
  }
  sqlite3_finalize(rows);
  return count == kSectionVariables;
}

void BM_RawFloor(benchmark::State& state) {
  Installation& installation = Setup();
  if (!installation.ok) return state.SkipWithError("the benchmark's installation could not be made");
  sqlite3* db = OpenDirectly(installation);
  for (auto _ : state) {
    if (!ReadDirectly(db, installation.password)) {
      state.SkipWithError("the floor did not read the section");
      break;
    }
  }
  sqlite3_close(db);
}

void BM_RawFloorWithOpen(benchmark::State& state) {
  Installation& installation = Setup();
  if (!installation.ok) return state.SkipWithError("the benchmark's installation could not be made");
  for (auto _ : state) {
    sqlite3* db = OpenDirectly(installation);
    const bool read = db != nullptr && ReadDirectly(db, installation.password);
    sqlite3_close(db);
    if (!read) {
      state.SkipWithError("the floor did not read the section");
      break;
    }
  }
}

BENCHMARK(BM_ShowCommand)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowCommand)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowProcess)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawFloorWithOpen)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  const int result = bench::RunWithRatios(argc, argv,
                                          {{"BM_ShowCommand/0", "BM_RawFloor", 2.0},
                                           {"BM_ShowCommand/1", "BM_RawFloor", 0},
                                           {"BM_ShowProcess", "BM_RawFloorWithOpen", 0}},
                                          {"--benchmark_repetitions=3"});
  Installation& installation = Setup();
  installation.holder.reset();
  CoFreeUnusedLibraries();
  if (!installation.home.empty()) std::filesystem::remove_all(installation.home);
  return result;
}
