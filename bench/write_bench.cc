// Write benchmarks, each against a baseline measured in the same run:
//   (a) ExecuteWriteRequests of 1000 modifications in one batch, the presenter answering
//       Allow, in a store of 1,000 rows with real protected values, against the raw floor
//       on the same file: 1000 prepared UPDATEs in one transaction plus one RC2-CBC
//       encryption each with nettle directly (target: at most 1.5x);
//   (b) the same batch in a store of 100,000 rows against the store of 1,000 rows (target:
//       at most 1.3x: each item finds its variable through the indexes, never by a walk).
#define SQLITE_HAS_CODEC 1
#include <nettle/arctwo.h>
#include <nettle/cbc.h>
#include <nettle/md5.h>
#include <sqlcipher/sqlite3.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>

#include "bench/bench_main.h"
#include "common/settings_client.h"
#include "consent/consent_presenter_choice.h"
#include "lumora/object.h"
#include "lumora/registry.h"
#include "lumora/services.h"
#include "lumora/values.h"
#include "session/profile.h"
#include "store/key_set.h"
#include "store/profile_database.h"
#include "store/store_context.h"
#include "store/value_protection.h"
#include "tests/support/failing_factory.h"
#include "tools/lumora-admin/store_schema.h"

namespace {

using namespace lumora;

constexpr int kBatch = 1000;
constexpr char kSection[] = "bench";

std::string TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "lumora-write-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  return pattern;
}

std::string Key(int i) { return "key" + std::to_string(i); }

// A value as a partner stores it: about 60 characters of text.
std::string ValueText(int i, int round) {
  return "Value " + std::to_string(round) + " of variable " + std::to_string(i) + ", as a partner program writes it";
}

class AllowEverything final : public ConsentPresenter {
 public:
  ConsentAnswer Present(const ConsentDialogModel&, ConsentDialogActions*) override { return ConsentAnswer::kAllow; }
};

// An installation whose store holds `rows` variables of one section with protected
// values, made once per size and kept for the run. The process-wide store follows the
// last one made.
class BenchStore {
 public:
  explicit BenchStore(int rows) : m_rows(rows), m_folder(TempFolder()) {
    Use();
    const std::string path = m_folder + "/profile.db";
    std::string error;
    if (!admin::CreateProfileDatabase(path, &error)) std::abort();
    WriteSetting(kSettingDatabasePath, path);
    AcquireCryptProvider();
    if (FAILED(OpenProfileDatabase())) std::abort();  // makes and sets the password
    CDaoDatabase& db = *ProfileDatabase();
    db.m_pWorkspace->BeginTrans();
    {
      CKeySet fill(&db, dbOpenDynaset);
      fill.m_strFilter = "SECTION = 'ShouldNeverExist'";
      fill.Open();
      for (int i = 0; i < rows; ++i) {
        fill.AddNew();
        // The benchmarked section among others, as in a shared installation.
        fill.m_Section = i < kBatch ? kSection : "other" + std::to_string(i % 50);
        fill.m_Key = Key(i);
        fill.m_Value = ProtectValue(ValueText(i, 0));
        fill.m_FieldName = "Field " + std::to_string(i);
        fill.m_Type = eTypeString;
        fill.Update();
      }
    }
    db.m_pWorkspace->CommitTrans();
    char password[12] = {};
    GetDatabasePassword(password, sizeof password);
    m_password = password;
    m_path = path;
  }
  ~BenchStore() { std::filesystem::remove_all(m_folder); }

  // Points the process-wide store at this installation.
  void Use() {
    CloseProfileDatabase();
    ForgetDatabasePath();
    ForgetKeptPasswordForTests();
    setenv("LUMORA_HOME", m_folder.c_str(), 1);
    RegisterServerLibrary(LUMORA_SERVICES_LIBRARY);
  }

  int rows() const { return m_rows; }
  const std::string& path() const { return m_path; }
  const std::string& password() const { return m_password; }

 private:
  int m_rows;
  std::string m_folder;
  std::string m_path;
  std::string m_password;
};

BenchStore& StoreOf(int rows) {
  static std::map<int, std::unique_ptr<BenchStore>> stores;  // kept for the whole run
  std::unique_ptr<BenchStore>& store = stores[rows];
  if (!store) store = std::make_unique<BenchStore>(rows);
  store->Use();
  return *store;
}

void ExecuteWriteRequestsBatches(benchmark::State& state) {
  StoreOf(static_cast<int>(state.range(0)));
  AllowEverything user;
  SetConsentPresenterForTests(&user);
  ComPtr<PRProfile> session = MakeObject<PRProfile>();
  session->m_section = kSection;
  session->m_callerName = "Bench Ltd";
  Bstr message = Bstr::FromUtf8("Please confirm");
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ++round;
    for (int i = 0; i < kBatch; ++i) {
      Bstr uki = Bstr::FromUtf8(std::string(kSection) + "." + Key(i));
      Bstr value = Bstr::FromUtf8(ValueText(i, round));
      if (session->AddModifyRawValueRequest(uki.get(), value.get()) != S_OK) state.SkipWithError("not queued");
    }
    state.ResumeTiming();
    LONG executed = 0;
    const HRESULT hr = session->ExecuteWriteRequests(1, message.get(), &executed);
    if (hr != S_OK || executed != kBatch) state.SkipWithError("the batch failed");
  }
  session.reset();
  SetConsentPresenterForTests(nullptr);
}

void BM_ExecuteWriteRequests(benchmark::State& state) { ExecuteWriteRequestsBatches(state); }
BENCHMARK(BM_ExecuteWriteRequests)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same without a change notification sink: the component's own part.
void BM_ExecuteWriteRequestsWithoutSink(benchmark::State& state) {
  // A change notification sink that cannot be created, to tell the component's own cost
  // from the companion service's (which writes each batch through to its file).
  testing::FailingFactory factory(REGDB_E_CLASSNOTREG);
  DWORD cookie = 0;
  CoRegisterClassObject(CLSID_LumoraChangeSink, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
  ExecuteWriteRequestsBatches(state);
  CoRevokeClassObject(cookie);
}
BENCHMARK(BM_ExecuteWriteRequestsWithoutSink)->Arg(1000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The floor: what any implementation must do for the same batch on the same file.
void BM_RawUpdateFloor(benchmark::State& state) {
  BenchStore& store = StoreOf(static_cast<int>(state.range(0)));
  CloseProfileDatabase();
  sqlite3* db = nullptr;
  sqlite3_open_v2(store.path().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  sqlite3_key(db, store.password().data(), static_cast<int>(store.password().size()));
  sqlite3_exec(db,
               "PRAGMA kdf_iter = 64000; PRAGMA cipher_page_size = 1024; PRAGMA cipher_use_hmac = ON; "
               "PRAGMA cipher_hmac_algorithm = HMAC_SHA1; PRAGMA cipher_kdf_algorithm = PBKDF2_HMAC_SHA1; "
               "SELECT count(*) FROM sqlite_master; "
               "PRAGMA journal_mode = WAL; PRAGMA cache_size = -32768;",
               nullptr, nullptr, nullptr);
  sqlite3_stmt* update = nullptr;
  if (sqlite3_prepare_v2(db, "UPDATE Main SET Value = ? WHERE Section = ? AND Key = ?", -1, &update, nullptr) !=
      SQLITE_OK) {
    state.SkipWithError(sqlite3_errmsg(db));
  }
  // The key of the value protection: RC2 under MD5 of the password, set up once.
  uint8_t digest[MD5_DIGEST_SIZE];
  md5_ctx md5;
  md5_init(&md5);
  md5_update(&md5, store.password().size(), reinterpret_cast<const uint8_t*>(store.password().data()));
  md5_digest(&md5, sizeof digest, digest);
  arctwo_ctx key;
  arctwo_set_key_ekb(&key, sizeof digest, digest, 128);
  std::mt19937 random(7);
  int round = 0;
  for (auto _ : state) {
    ++round;
    sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    for (int i = 0; i < kBatch; ++i) {
      const std::string value = ValueText(i, round);
      uint8_t block[16 + 1008] = {};
      for (int b = 0; b < 16; ++b) block[b] = static_cast<uint8_t>(random());
      const size_t padded = (value.size() + 1 + 8) / 8 * 8;
      std::memcpy(block + 16, value.c_str(), value.size() + 1);
      std::memset(block + 16 + value.size() + 1, static_cast<int>(padded - value.size() - 1),
                  padded - value.size() - 1);
      uint8_t iv[8];
      std::memcpy(iv, block, 8);
      cbc_encrypt(&key, reinterpret_cast<nettle_cipher_func*>(&arctwo_encrypt), 8, iv, padded, block + 16, block + 16);
      const std::string stored = BytesToHex(block, 16 + padded);
      const std::string keyText = Key(i);
      sqlite3_bind_text(update, 1, stored.c_str(), static_cast<int>(stored.size()), SQLITE_TRANSIENT);
      sqlite3_bind_text(update, 2, kSection, -1, SQLITE_STATIC);
      sqlite3_bind_text(update, 3, keyText.c_str(), static_cast<int>(keyText.size()), SQLITE_TRANSIENT);
      if (sqlite3_step(update) != SQLITE_DONE || sqlite3_changes(db) != 1) state.SkipWithError("update failed");
      sqlite3_reset(update);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  }
  sqlite3_finalize(update);
  sqlite3_close(db);
}
BENCHMARK(BM_RawUpdateFloor)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  return lumora::bench::RunWithRatios(
      argc, argv,
      {{"BM_ExecuteWriteRequests/1000/min_time:2.000", "BM_RawUpdateFloor/1000/min_time:2.000", 1.5},
       {"BM_ExecuteWriteRequests/100000/min_time:2.000", "BM_ExecuteWriteRequests/1000/min_time:2.000", 1.3},
       {"BM_ExecuteWriteRequestsWithoutSink/1000/min_time:2.000", "BM_RawUpdateFloor/1000/min_time:2.000", 0},
       {"BM_ExecuteWriteRequests/100000/min_time:2.000", "BM_RawUpdateFloor/100000/min_time:2.000", 0},
       {"BM_RawUpdateFloor/100000/min_time:2.000", "BM_RawUpdateFloor/1000/min_time:2.000", 0}});
}
