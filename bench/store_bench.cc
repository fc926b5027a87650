// Store benchmarks, each against a baseline measured in the same run:
//   (a) 10,000 Main rows added in one transaction through CKeySet, against prepared
//       SQLCipher inserts of the same rows (target: at most 1.5x);
//   (b) FindFirst on Section+Key with 100,000 rows in Main, against 1,000 rows
//       (target: at most 1.3x);
//   (c) ProtectValue + UnprotectValue of a 100-character value, against nettle RC2-CBC of
//       the same bytes with its key set up once (reported; the per-value key is the design).
#define SQLITE_HAS_CODEC 1
#include <nettle/arctwo.h>
#include <nettle/cbc.h>
#include <sqlcipher/sqlite3.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <random>

#include "bench/bench_main.h"
#include "lumora/registry.h"
#include "common/settings_client.h"
#include "store/key_set.h"
#include "store/profile_database.h"
#include "store/store_context.h"
#include "store/value_protection.h"
#include "tools/lumora-admin/store_schema.h"

namespace {

using namespace lumora;

constexpr const char* kPassword = "0123456789";
constexpr int kRows = 10000;

std::string TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "lumora-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  return pattern;
}

// A new, password-protected, empty profile database.
std::string NewDatabase(const std::string& folder, const std::string& name) {
  const std::string path = folder + "/" + name;
  std::filesystem::remove(path);
  std::string error;
  if (!admin::CreateProfileDatabase(path, &error)) std::abort();
  CDaoDatabase db;
  db.Open(path, true);
  db.NewPassword("", kPassword);
  return path;
}

void BM_AddRowsThroughKeySet(benchmark::State& state) {
  const std::string folder = TempFolder();
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string path = NewDatabase(folder, "keyset" + std::to_string(round++) + ".db");
    CDaoDatabase db;
    db.Open(path, false, false, std::string(";pwd=") + kPassword);
    state.ResumeTiming();
    db.m_pWorkspace->BeginTrans();
    CKeySet set(&db, dbOpenDynaset);
    set.m_strFilter = "SECTION = 'ShouldNeverExist'";
    set.Open();
    for (int i = 0; i < kRows; ++i) {
      set.AddNew();
      set.m_Section = "com.example.bench";
      set.m_Key = "key" + std::to_string(i);
      set.m_Value = "00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF";
      set.m_FieldName = "Field";
      set.m_Type = 5;
      set.Update();
    }
    set.Close();
    db.m_pWorkspace->CommitTrans();
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_AddRowsThroughKeySet)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_AddRowsDirectly(benchmark::State& state) {
  const std::string folder = TempFolder();
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string path = NewDatabase(folder, "direct" + std::to_string(round++) + ".db");
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_key(db, kPassword, 10);
    sqlite3_exec(db, "PRAGMA kdf_iter = 64000; SELECT count(*) FROM sqlite_master; PRAGMA journal_mode = WAL;", nullptr,
                 nullptr, nullptr);
    state.ResumeTiming();
    sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO Main (Section, Key, Value, FieldName, Privacy, Type, Volatility, IsReadOnly, "
                       "IsLinked, LastShared) VALUES (?, ?, ?, ?, 0, 5, 0, 0, 0, 0.0)",
                       -1, &insert, nullptr);
    for (int i = 0; i < kRows; ++i) {
      const std::string key = "key" + std::to_string(i);
      sqlite3_bind_text(insert, 1, "com.example.bench", -1, SQLITE_STATIC);
      sqlite3_bind_text(insert, 2, key.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 3, "00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF", -1,
                        SQLITE_STATIC);
      sqlite3_bind_text(insert, 4, "Field", -1, SQLITE_STATIC);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    state.PauseTiming();
    sqlite3_close(db);
    state.ResumeTiming();
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_AddRowsDirectly)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FindFirstSectionAndKey(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  const std::string folder = TempFolder();
  const std::string path = NewDatabase(folder, "find.db");
  CDaoDatabase db;
  db.Open(path, false, false, std::string(";pwd=") + kPassword);
  {
    db.m_pWorkspace->BeginTrans();
    CKeySet fill(&db, dbOpenDynaset);
    fill.Open();
    for (int i = 0; i < rows; ++i) {
      fill.AddNew();
      fill.m_Section = "com.example.s" + std::to_string(i % 10);
      fill.m_Key = "key" + std::to_string(i);
      fill.Update();
    }
    fill.Close();
    db.m_pWorkspace->CommitTrans();
  }
  CKeySet set(&db, dbOpenDynaset);
  set.Open();
  std::mt19937 random(7);
  std::uniform_int_distribution<int> pick(0, rows - 1);
  for (auto _ : state) {
    const int i = pick(random);
    const std::string filter =
        "SECTION = 'com.example.s" + std::to_string(i % 10) + "' AND KEY = 'key" + std::to_string(i) + "'";
    if (!set.FindFirst(filter.c_str())) state.SkipWithError("row not found");
  }
  set.Close();
  db.Close();
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_FindFirstSectionAndKey)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// A store with its provider held and its password kept, for value protection.
class ProtectionStore {
 public:
  ProtectionStore() : m_folder(TempFolder()) {
    ForgetDatabasePath();
    ForgetKeptPasswordForTests();
    setenv("LUMORA_HOME", m_folder.c_str(), 1);
    RegisterServerLibrary(LUMORA_SERVICES_LIBRARY);
    const std::string path = m_folder + "/profile.db";
    std::string error;
    admin::CreateProfileDatabase(path, &error);
    WriteSetting(kSettingDatabasePath, path);
    AcquireCryptProvider();
    OpenProfileDatabase();
  }
  ~ProtectionStore() {
    CloseProfileDatabase();
    ReleaseCryptProvider();
    std::filesystem::remove_all(m_folder);
  }

 private:
  std::string m_folder;
};

const std::string kValue(100, 'v');

void BM_ProtectAndUnprotect(benchmark::State& state) {
  ProtectionStore store;
  for (auto _ : state) {
    const std::string stored = ProtectValue(kValue);
    benchmark::DoNotOptimize(UnprotectValue(stored));
  }
}
BENCHMARK(BM_ProtectAndUnprotect)->Unit(benchmark::kMicrosecond);

void BM_RawRc2Cbc(benchmark::State& state) {
  arctwo_ctx key;
  const uint8_t material[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  arctwo_set_key_ekb(&key, sizeof material, material, 128);
  uint8_t plain[104] = {};
  std::memcpy(plain, kValue.data(), kValue.size());
  std::memset(plain + 101, 3, 3);
  uint8_t cipher[104];
  uint8_t back[104];
  for (auto _ : state) {
    uint8_t iv[8] = {};
    cbc_encrypt(&key, reinterpret_cast<nettle_cipher_func*>(&arctwo_encrypt), 8, iv, sizeof plain, cipher, plain);
    uint8_t iv2[8] = {};
    cbc_decrypt(&key, reinterpret_cast<nettle_cipher_func*>(&arctwo_decrypt), 8, iv2, sizeof cipher, back, cipher);
    benchmark::DoNotOptimize(back);
  }
}
BENCHMARK(BM_RawRc2Cbc)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return lumora::bench::RunWithRatios(argc, argv,
                                      {{"BM_AddRowsThroughKeySet/iterations:5", "BM_AddRowsDirectly/iterations:5", 1.5},
                                       {"BM_FindFirstSectionAndKey/100000", "BM_FindFirstSectionAndKey/1000", 1.3},
                                       {"BM_ProtectAndUnprotect", "BM_RawRc2Cbc", 0}});
}
