// Read benchmarks, against baselines measured in the same run:
//   ExecuteReadRequests of 1,000 variables (queued with AddReadRequest, the consent rows
//   built, the presenter answering Allow) in a store of 1,000 rows and in one of 100,000
//   rows with real protected values, against the raw floor of the same reads: one
//   prepared SQLCipher query per variable on the same connection plus one RC2-CBC
//   decryption each with nettle directly (targets: at most 1.5x), and the large store
//   against the small one (target: at most 1.3x: a read must not grow with the store).
#define SQLITE_HAS_CODEC 1
#include <nettle/arctwo.h>
#include <nettle/cbc.h>
#include <nettle/md5.h>
#include <sqlcipher/sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <memory>

#include "bench/bench_main.h"
#include "bench/raw_floor.h"
#include "common/settings_client.h"
#include "consent/consent_presenter_choice.h"
#include "lumora/registry.h"
#include "lumora/values.h"
#include "session/profile.h"
#include "store/array_set.h"
#include "store/enum_set.h"
#include "store/key_set.h"
#include "store/profile_database.h"
#include "store/store_context.h"
#include "store/uki.h"
#include "store/value_protection.h"
#include "tools/lumora-admin/store_schema.h"

namespace {

using namespace lumora;

constexpr int kReadVariables = 1000;

// The user who is asked: allows, as a script would.
class AllowPresenter : public ConsentPresenter {
 public:
  ConsentAnswer Present(const ConsentDialogModel&, ConsentDialogActions*) override { return ConsentAnswer::kAllow; }
};

std::string TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "lumora-read-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  return pattern;
}

// One installation whose store holds `rows` variables: the 1,000 the benchmark reads
// (section "bench": strings, numbers, dates, flags, enumerations, links to common
// variables, arrays) spread evenly among the rest (other sections' strings).
class ReadStore {
 public:
  // The store is filled by a process of its own, as in life another program filled it:
  // the measuring process starts with the heap of a program that only reads.
  explicit ReadStore(int rows) : m_folder(TempFolder()), m_rows(rows) {
    Enter();
    const std::string path = m_folder + "/profile.db";
    std::string error;
    if (!admin::CreateProfileDatabase(path, &error)) std::abort();
    WriteSetting(kSettingDatabasePath, path);
    const pid_t filler = fork();
    if (filler == 0) {
      Open();
      Seed(true);
      Leave();
      _exit(0);
    }
    int status = 0;
    if (filler < 0 || waitpid(filler, &status, 0) != filler || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::abort();
    }
    Open();
    Seed(false);
  }
  ~ReadStore() { std::filesystem::remove_all(m_folder); }

  // Makes this store the process's store, with a session that keeps it open.
  void Enter() {
    setenv("LUMORA_HOME", m_folder.c_str(), 1);
    RegisterServerLibrary(LUMORA_SERVICES_LIBRARY);
  }
  void Open() {
    if (AcquireCryptProvider() != 0 || OpenProfileDatabase() != S_OK) std::abort();
    m_session = MakeObject<PRProfile>();
    m_session->m_section = "bench";
    m_session->m_callerName = "Bench Partner Ltd";
    char password[32] = {};
    GetDatabasePassword(password, sizeof password);
    m_password = password;
  }
  void Leave() {
    m_session.reset();
    CloseProfileDatabase();
    ReleaseCryptProvider();
    ForgetDatabasePath();
    ForgetKeptPasswordForTests();
  }

  PRProfile* session() const { return m_session.get(); }
  const std::vector<std::string>& ukis() const { return m_ukis; }
  const std::string& password() const { return m_password; }

 private:
  // Writes the rows when `write`; finds the ukis to read in either case.
  void Seed(bool write) {
    CDaoDatabase* db = ProfileDatabase();
    if (write) db->m_pWorkspace->BeginTrans();
    CKeySet set(db, dbOpenDynaset);
    set.m_strFilter = "SECTION = 'ShouldNeverExist'";
    set.Open();
    auto add = [&](const std::string& section, const std::string& key, const std::string& raw, SHORT type,
                   bool linked) {
      if (!write) return;
      set.AddNew();
      set.m_Section = section;
      set.m_Key = key;
      set.m_Value = linked ? std::string() : ProtectValue(raw);
      set.m_FieldName = "Field " + key;
      set.m_Type = type;
      set.m_Privacy = ePrivacyShared;
      set.m_IsLinked = linked ? TRUE : FALSE;
      set.Update();
    };
    CArraySet elements(db);
    elements.Open(dbOpenDynaset);
    CEnumSet labels(db);
    labels.Open(dbOpenDynaset);
    for (int c = 0; c < 50; ++c)
      add("common", "shared" + std::to_string(c), "Shared value " + std::to_string(c), 5, false);
    const int spacing = std::max(1, m_rows / kReadVariables);
    int read = 0;
    for (int row = 0; row < std::max(m_rows - 50, kReadVariables); ++row) {
      if (row % spacing != 0 || read >= kReadVariables) {
        add("s" + std::to_string(row % 97), "k" + std::to_string(row),
            "Another company's value number " + std::to_string(row), 5, false);
        continue;
      }
      const std::string key = "v" + std::to_string(read);
      switch (read % 20) {
        case 0:
          add("bench", key, std::to_string(read * 37), 1, false);
          break;
        case 1:
          add("bench", key, "36526.750000", 2, false);
          break;
        case 2:
          add("bench", key, "T", 6, false);
          break;
        case 3:
          add("bench", key, "2", 9, false);
          for (int e = 0; e < 3 && write; ++e) {
            labels.AddNew();
            labels.m_uki = "bench." + key;
            labels.m_enumIndex = e + 1;
            labels.m_Label = "Option " + std::to_string(e + 1);
            labels.Update();
          }
          break;
        case 4:
          // The section's link to a common variable, queued as a client queues it.
          add("bench", "common.shared" + std::to_string(read / 20), "", 5, true);
          m_ukis.push_back("common.shared" + std::to_string(read / 20));
          ++read;
          continue;
        case 5:
          add("bench", key, "", 8, false);
          for (int e = 0; e < 3 && write; ++e) {
            elements.AddNew();
            elements.m_uki = "bench." + key;
            elements.m_key = std::to_string(e);
            elements.m_value = ProtectValue("element " + std::to_string(e));
            elements.Update();
          }
          break;
        default:
          add("bench", key, "A realistic text value for variable " + key + ", of some length", 5, false);
          break;
      }
      m_ukis.push_back("bench." + key);
      ++read;
    }
    set.Close();
    if (write) db->m_pWorkspace->CommitTrans();
  }

  std::string m_folder;
  int m_rows;
  std::vector<std::string> m_ukis;  // as a client queues them
  std::string m_password;
  ComPtr<PRProfile> m_session;
};

std::map<int, std::unique_ptr<ReadStore>> g_stores;  // made once per size, kept for the run
ReadStore* g_current = nullptr;                      // the process's store now

// Leaves the store in use and removes every store, before the component's own state goes.
void RemoveStores() {
  if (g_current != nullptr) g_current->Leave();
  g_current = nullptr;
  g_stores.clear();
}

ReadStore& UseStore(int rows) {
  static AllowPresenter allow;
  SetConsentPresenterForTests(&allow);
  ReadStore*& current = g_current;
  std::unique_ptr<ReadStore>& store = g_stores[rows];
  if (current == store.get() && current != nullptr) return *current;
  if (current != nullptr) current->Leave();
  if (store) {
    store->Enter();
    store->Open();
  } else {
    store = std::make_unique<ReadStore>(rows);
  }
  current = store.get();
  return *current;
}

void BM_ExecuteReadRequests(benchmark::State& state) {
  ReadStore& store = UseStore(static_cast<int>(state.range(0)));
  std::vector<Bstr> ukis;
  for (const std::string& uki : store.ukis()) ukis.push_back(Bstr::FromUtf8(uki));
  Bstr message = Bstr::FromUtf8("Bench Partner would like to read your settings");
  for (auto _ : state) {
    for (const Bstr& uki : ukis) store.session()->AddReadRequest(uki.get());
    ComPtr<IPRKeyAttrsCollection> collection;
    if (store.session()->ExecuteReadRequests(0, message.get(), collection.put()) != S_OK) {
      state.SkipWithError("the read failed");
      break;
    }
    LONG count = 0;
    collection->get_Count(&count);
    if (count != kReadVariables) state.SkipWithError("not every variable was read");
  }
}

// The floor: the same rows found through the index one prepared query each, and their
// values decrypted with nettle (key from MD5 of the password, set once).
void BM_RawFloor(benchmark::State& state) {
  ReadStore& store = UseStore(static_cast<int>(state.range(0)));
  sqlite3* db = ProfileDatabase()->Handle();
  std::vector<std::pair<std::string, std::string>> keys;
  for (const std::string& uki : store.ukis()) keys.emplace_back(SectionOfUki(uki), KeyOfUki(uki));
  sqlite3_stmt* find = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT Value FROM Main WHERE Section = ? AND Key = ?", -1, &find, nullptr) != SQLITE_OK) {
    state.SkipWithError("prepare");
    return;
  }
  const bench::RawKeyDigest digest = bench::DigestOfPassword(store.password());
  for (auto _ : state) {
    arctwo_ctx key;
    bench::SetRawKey(&key, digest);
    size_t found = 0;
    for (const auto& [section, name] : keys) {
      sqlite3_bind_text(find, 1, section.data(), static_cast<int>(section.size()), SQLITE_STATIC);
      sqlite3_bind_text(find, 2, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
      if (sqlite3_step(find) == SQLITE_ROW) {
        ++found;
        bench::DecryptStored(key, reinterpret_cast<const char*>(sqlite3_column_text(find, 0)),
                             static_cast<size_t>(sqlite3_column_bytes(find, 0)));
      }
      sqlite3_reset(find);
    }
    if (found != keys.size()) state.SkipWithError("not every variable was found");
  }
  sqlite3_finalize(find);
}

BENCHMARK(BM_ExecuteReadRequests)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawFloor)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExecuteReadRequests)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawFloor)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  const int result =
      lumora::bench::RunWithRatios(argc, argv,
                                   {{"BM_ExecuteReadRequests/1000", "BM_RawFloor/1000", 1.5},
                                    {"BM_ExecuteReadRequests/100000", "BM_RawFloor/100000", 1.5},
                                    {"BM_ExecuteReadRequests/100000", "BM_ExecuteReadRequests/1000", 1.3}},
                                   // Medians of repetitions: one run of each case says little on a
                                   // machine that others share. Not interleaved: each case
                                   // switches the store, and would then time its first reads.
                                   {"--benchmark_repetitions=5", "--benchmark_report_aggregates_only=true"});
  RemoveStores();
  SetConsentPresenterForTests(nullptr);
  return result;
}
