// Store benchmarks of the paths the product takes, each against a floor measured in the
// same run, on real encrypted profile databases whose Main rows hold real protected values
// (a 100-character value, stored as 240 hex digits):
//   FindKey        FindKey on a dynaset over the whole Main table, at 1,000,000 rows
//                  against 1,000 rows (target: at most 1.5x);
//   WriteBatch     a write batch as the write queue runs it (a dynaset over the whole
//                  Main table, one transaction, each item found with FindKey and written
//                  with ProtectValue through Edit/AddNew and Update), of 1 and of 1000
//                  items, on a store that already holds 100,000 rows, against the same
//                  work done with prepared statements of its own and the same
//                  encryption (target: at most 1.5x);
//   Protect        ProtectValue + UnprotectValue of a 100-character value, against a
//                  floor that does the same mandatory work: 16 random bytes, RC2-CBC with
//                  nettle under a key set up once, hex both ways (target: at most 1.5x).
// The database stays open across iterations on both sides of every pair; the recordset
// or the statements a batch uses are made and closed inside the clock on both sides.
// The stores are built once per run (the 1,000,000-row one takes a while). Every benchmark
// runs five times, in random order with the others, and the medians are compared:
//   build/default/bench/store_bench [--benchmark_filter=FindKey|WriteBatch|Protect]
#define SQLITE_HAS_CODEC 1
#include <nettle/arctwo.h>
#include <nettle/cbc.h>
#include <sqlcipher/sqlite3.h>
#include <stdlib.h>
#include <sys/random.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>

#include "bench/bench_main.h"
#include "common/settings_client.h"
#include "lumora/profile.h"
#include "lumora/registry.h"
#include "store/key_lookup.h"
#include "store/key_set.h"
#include "store/profile_database.h"
#include "store/store_context.h"
#include "store/value_protection.h"
#include "tools/lumora-admin/store_schema.h"

namespace {

using namespace lumora;

constexpr int kSections = 100;

std::string TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "lumora-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  return pattern;
}

std::string SectionOf(int i) { return "examplecompany" + std::to_string(i % kSections); }
std::string KeyOf(int i) { return "variable" + std::to_string(i); }
// A realistic 100-character raw value, different for every row and round.
std::string RawValueOf(int i, int round) {
  std::string value = "Hauptstrasse " + std::to_string(i) + ", round " + std::to_string(round) + ", ";
  value.resize(100, 'x');
  return value;
}

void Check(int rc, int expected, const char* what) {
  if (rc != expected) {
    std::fprintf(stderr, "%s failed: %d\n", what, rc);
    std::abort();
  }
}

// An installation with a real encrypted profile database of `rows` Main rows. The
// profile database and the store context are process-wide, so one store is in use at a
// time: Use() makes it the open one.
class Store {
 public:
  explicit Store(int rows) : m_folder(TempFolder()), m_rows(rows) {
    Use();
    sqlite3* db = ProfileDatabase()->Handle();
    Check(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK, "BEGIN");
    sqlite3_stmt* insert = nullptr;
    Check(sqlite3_prepare_v2(db,
                             "INSERT INTO Main (Section, Key, Value, FieldName, Privacy, Type, Volatility, IsReadOnly, "
                             "IsLinked, LastShared) VALUES (?, ?, ?, ?, 1, 5, 1, 0, 0, 0.0)",
                             -1, &insert, nullptr),
          SQLITE_OK, "prepare");
    for (int i = 0; i < rows; ++i) {
      const std::string section = SectionOf(i);
      const std::string key = KeyOf(i);
      const std::string value = ProtectValue(RawValueOf(i, 0));
      const std::string field = "Field " + key;
      sqlite3_bind_text(insert, 1, section.data(), static_cast<int>(section.size()), SQLITE_STATIC);
      sqlite3_bind_text(insert, 2, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
      sqlite3_bind_text(insert, 3, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
      sqlite3_bind_text(insert, 4, field.data(), static_cast<int>(field.size()), SQLITE_STATIC);
      Check(sqlite3_step(insert), SQLITE_DONE, "insert");
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK, "COMMIT");
    Check(sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr), SQLITE_OK,
          "checkpoint");
  }
  ~Store() { std::filesystem::remove_all(m_folder); }
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  // Makes this store's database the open profile database, with the provider held.
  void Use() {
    CloseProfileDatabase();
    while (CryptProviderUseCount() > 0) ReleaseCryptProvider();
    ForgetDatabasePath();
    ForgetKeptPasswordForTests();
    setenv("LUMORA_HOME", m_folder.c_str(), 1);
    RegisterServerLibrary(LUMORA_SERVICES_LIBRARY);
    const std::string path = m_folder + "/profile.db";
    if (!std::filesystem::exists(path)) {
      std::string error;
      if (!admin::CreateProfileDatabase(path, &error)) std::abort();
      WriteSetting(kSettingDatabasePath, path);
    }
    if (AcquireCryptProvider() != 0 || OpenProfileDatabase() != S_OK) std::abort();
  }
  int rows() const { return m_rows; }

 private:
  std::string m_folder;
  int m_rows;
};

Store& StoreOf(int rows) {
  static std::map<int, std::unique_ptr<Store>> stores;
  static Store* inUse = nullptr;
  std::unique_ptr<Store>& store = stores[rows];
  if (!store) {
    store = std::make_unique<Store>(rows);
  } else if (inUse != store.get()) {
    store->Use();
  }
  inUse = store.get();
  return *store;
}

// ---- FindKey ----

// Pages the engine had to read from the file (and decrypt) per find, from here on.
class PageMisses {
 public:
  PageMisses() { m_start = Count(); }
  double PerIteration(const benchmark::State& state) const {
    return static_cast<double>(Count() - m_start) / static_cast<double>(std::max<int64_t>(state.iterations(), 1));
  }

 private:
  static int Count() {
    int current = 0;
    int highwater = 0;
    sqlite3_db_status(ProfileDatabase()->Handle(), SQLITE_DBSTATUS_CACHE_MISS, &current, &highwater, 0);
    return current;
  }
  int m_start = 0;
};

void BM_FindKey(benchmark::State& state) {
  const Store& store = StoreOf(static_cast<int>(state.range(0)));
  CKeySet set(ProfileDatabase(), dbOpenDynaset);
  set.Open();
  std::mt19937 random(7);
  std::uniform_int_distribution<int> pick(0, store.rows() - 1);
  const PageMisses misses;
  for (auto _ : state) {
    const int i = pick(random);
    if (!FindKey(set, SectionOf(i) + "." + KeyOf(i))) state.SkipWithError("variable not found");
  }
  state.counters["page_reads"] = misses.PerIteration(state);
}
BENCHMARK(BM_FindKey)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// The engine's own part of a find: one prepared statement that reads the row by its
// section and key. Reported, to tell the growth that page reads bring from the growth
// of the product's path.
void BM_FindDirectly(benchmark::State& state) {
  const Store& store = StoreOf(static_cast<int>(state.range(0)));
  sqlite3_stmt* find = nullptr;
  Check(sqlite3_prepare_v2(ProfileDatabase()->Handle(),
                           "SELECT rowid, Section, Key, Value, FieldName, Privacy, Type, Volatility, IsReadOnly, "
                           "IsLinked, LastShared FROM Main WHERE Section = ? COLLATE NOCASE AND Key = ? COLLATE NOCASE "
                           "ORDER BY rowid LIMIT 1",
                           -1, &find, nullptr),
        SQLITE_OK, "prepare");
  std::mt19937 random(7);
  std::uniform_int_distribution<int> pick(0, store.rows() - 1);
  const PageMisses misses;
  for (auto _ : state) {
    const int i = pick(random);
    const std::string section = SectionOf(i);
    const std::string key = KeyOf(i);
    sqlite3_bind_text(find, 1, section.data(), static_cast<int>(section.size()), SQLITE_STATIC);
    sqlite3_bind_text(find, 2, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    if (sqlite3_step(find) != SQLITE_ROW) state.SkipWithError("variable not found");
    benchmark::DoNotOptimize(sqlite3_column_text(find, 3));
    sqlite3_reset(find);
  }
  state.counters["page_reads"] = misses.PerIteration(state);
  sqlite3_finalize(find);
}
BENCHMARK(BM_FindDirectly)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// ---- Write batches ----

constexpr int kBatchStoreRows = 100000;

// A batch's items: modifications of existing variables spread over the store and, for
// batches of more than one item, as many creations of new variables.
struct Item {
  int index;  // the variable (an index past the store's rows is a new one)
  bool create;
};

std::vector<Item> BatchItems(int count, int round) {
  std::vector<Item> items;
  items.reserve(static_cast<size_t>(count));
  const int modifications = count == 1 ? 1 : count / 2;
  std::mt19937 random(static_cast<unsigned>(round));
  std::uniform_int_distribution<int> pick(0, kBatchStoreRows - 1);
  for (int i = 0; i < modifications; ++i) items.push_back({pick(random), false});
  for (int i = modifications; i < count; ++i) items.push_back({kBatchStoreRows + 1000000 + round * count + i, true});
  return items;
}

// The batch as the write queue runs it on the product's recordset.
void RunBatchThroughDynaset(const std::vector<Item>& items, int round) {
  CDaoDatabase* db = ProfileDatabase();
  CKeySet keys(db, dbOpenDynaset);
  keys.Open();
  db->m_pWorkspace->BeginTrans();
  for (const Item& item : items) {
    const std::string raw = RawValueOf(item.index, round);
    if (FindKey(keys, SectionOf(item.index) + "." + KeyOf(item.index))) {
      if (UnprotectValue(keys.m_Value) == raw) continue;
      keys.Edit();
      keys.m_Value = ProtectValue(raw);
      keys.Update();
    } else {
      keys.AddNew();
      keys.m_Section = SectionOf(item.index);
      keys.m_Key = KeyOf(item.index);
      keys.m_FieldName = "Field " + keys.m_Key;
      keys.m_Privacy = 1;
      keys.m_Type = eTypeString;
      keys.m_Volatility = 1;
      keys.m_Value = ProtectValue(raw);
      keys.Update();
    }
  }
  db->m_pWorkspace->CommitTrans();
  keys.Close();
}

class Prepared {
 public:
  Prepared(sqlite3* db, const char* sql) { Check(sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr), 0, sql); }
  ~Prepared() { sqlite3_finalize(m_statement); }
  Prepared(const Prepared&) = delete;
  Prepared& operator=(const Prepared&) = delete;
  sqlite3_stmt* get() const { return m_statement; }

 private:
  sqlite3_stmt* m_statement = nullptr;
};

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
  sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// The same batch with statements of its own and the same encryption.
void RunBatchDirectly(const std::vector<Item>& items, int round) {
  sqlite3* db = ProfileDatabase()->Handle();
  Prepared find(db, "SELECT rowid, Value FROM Main WHERE Section = ? COLLATE NOCASE AND Key = ? COLLATE NOCASE");
  Prepared update(db, "UPDATE Main SET Value = ? WHERE rowid = ?");
  Prepared insert(db,
                  "INSERT INTO Main (Section, Key, Value, FieldName, Privacy, Type, Volatility, IsReadOnly, IsLinked, "
                  "LastShared) VALUES (?, ?, ?, ?, 1, 5, 1, 0, 0, 0.0)");
  Check(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK, "BEGIN");
  for (const Item& item : items) {
    const std::string raw = RawValueOf(item.index, round);
    const std::string section = SectionOf(item.index);
    const std::string key = KeyOf(item.index);
    BindText(find.get(), 1, section);
    BindText(find.get(), 2, key);
    if (sqlite3_step(find.get()) == SQLITE_ROW) {
      const int64_t rowid = sqlite3_column_int64(find.get(), 0);
      const std::string stored(reinterpret_cast<const char*>(sqlite3_column_text(find.get(), 1)),
                               static_cast<size_t>(sqlite3_column_bytes(find.get(), 1)));
      sqlite3_reset(find.get());
      if (UnprotectValue(stored) == raw) continue;
      BindText(update.get(), 1, ProtectValue(raw));
      sqlite3_bind_int64(update.get(), 2, rowid);
      Check(sqlite3_step(update.get()), SQLITE_DONE, "update");
      sqlite3_reset(update.get());
    } else {
      sqlite3_reset(find.get());
      BindText(insert.get(), 1, section);
      BindText(insert.get(), 2, key);
      BindText(insert.get(), 3, ProtectValue(raw));
      BindText(insert.get(), 4, "Field " + key);
      Check(sqlite3_step(insert.get()), SQLITE_DONE, "insert");
      sqlite3_reset(insert.get());
    }
  }
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK, "COMMIT");
}

// Removes the variables a batch created, outside the clock, so that every round finds
// the store as it was.
void RemoveCreated() {
  const std::string sql = "DELETE FROM Main WHERE rowid > (SELECT rowid FROM Main WHERE Section = '" +
                          SectionOf(kBatchStoreRows - 1) + "' AND Key = '" + KeyOf(kBatchStoreRows - 1) + "')";
  Check(sqlite3_exec(ProfileDatabase()->Handle(), sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK, "clean up");
}

// Shared by both sides, so that every round of either writes values the store does not
// hold yet.
int g_round = 0;

template <void (*Run)(const std::vector<Item>&, int)>
void BM_WriteBatch(benchmark::State& state) {
  StoreOf(kBatchStoreRows);
  const int count = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    const int round = ++g_round;
    const std::vector<Item> items = BatchItems(count, round);
    state.ResumeTiming();
    Run(items, round);
    state.PauseTiming();
    if (count > 1) RemoveCreated();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * count);
}
void BM_WriteBatchThroughDynaset(benchmark::State& state) { BM_WriteBatch<RunBatchThroughDynaset>(state); }
void BM_WriteBatchDirectly(benchmark::State& state) { BM_WriteBatch<RunBatchDirectly>(state); }
BENCHMARK(BM_WriteBatchThroughDynaset)->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteBatchDirectly)->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond);

// ---- Value protection ----

const std::string kValue = RawValueOf(42, 0);

void BM_ProtectAndUnprotect(benchmark::State& state) {
  StoreOf(1000);
  for (auto _ : state) {
    const std::string stored = ProtectValue(kValue);
    benchmark::DoNotOptimize(UnprotectValue(stored));
  }
}
BENCHMARK(BM_ProtectAndUnprotect)->Unit(benchmark::kMicrosecond);

constexpr char kDigits[] = "0123456789ABCDEF";
constexpr std::array<int, 256> kDigitValues = [] {
  std::array<int, 256> values{};
  for (int& value : values) value = -1;
  for (int i = 0; i < 16; ++i) values[static_cast<unsigned char>(kDigits[i])] = i;
  return values;
}();

// The same mandatory work with nothing around it: a random prefix, RC2-CBC of the value
// and its zero byte with PKCS#5 padding, upper-case hex; then hex back, RC2-CBC back,
// the padding checked and the text returned.
void BM_ProtectFloor(benchmark::State& state) {
  arctwo_ctx key;
  const uint8_t material[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  arctwo_set_key_ekb(&key, sizeof material, material, 128);
  for (auto _ : state) {
    uint8_t block[16 + 1008];
    if (getrandom(block, 16, 0) != 16) std::abort();
    const size_t plain = kValue.size() + 1;
    const size_t padded = (plain / 8 + 1) * 8;
    std::memcpy(block + 16, kValue.c_str(), plain);
    std::memset(block + 16 + plain, static_cast<int>(padded - plain), padded - plain);
    uint8_t iv[8];
    std::memcpy(iv, block, 8);
    cbc_encrypt(&key, reinterpret_cast<nettle_cipher_func*>(&arctwo_encrypt), 8, iv, padded, block + 16, block + 16);
    std::string stored(2 * (16 + padded), '\0');
    for (size_t i = 0; i < 16 + padded; ++i) {
      stored[2 * i] = kDigits[block[i] >> 4];
      stored[2 * i + 1] = kDigits[block[i] & 0xF];
    }
    benchmark::DoNotOptimize(stored.data());

    uint8_t back[16 + 4096];
    for (size_t i = 0; i < stored.size(); i += 2) {
      const int high = kDigitValues[static_cast<unsigned char>(stored[i])];
      const int low = kDigitValues[static_cast<unsigned char>(stored[i + 1])];
      if ((high | low) < 0) std::abort();
      back[i / 2] = static_cast<uint8_t>(high << 4 | low);
    }
    const size_t cipher = stored.size() / 2 - 16;
    std::memcpy(iv, back, 8);
    cbc_decrypt(&key, reinterpret_cast<nettle_cipher_func*>(&arctwo_decrypt), 8, iv, cipher, back + 16, back + 16);
    const uint8_t pad = back[16 + cipher - 1];
    if (pad == 0 || pad > 8) std::abort();
    const auto* text = reinterpret_cast<const char*>(back + 16);
    benchmark::DoNotOptimize(std::string(text, strnlen(text, cipher - pad)));
  }
}
BENCHMARK(BM_ProtectFloor)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return lumora::bench::RunWithRatios(argc, argv,
                                      {{"BM_FindKey/1000000", "BM_FindKey/1000", 1.5},
                                       {"BM_FindDirectly/1000000", "BM_FindDirectly/1000", 0},
                                       {"BM_FindKey/1000", "BM_FindDirectly/1000", 0},
                                       {"BM_FindKey/1000000", "BM_FindDirectly/1000000", 0},
                                       {"BM_WriteBatchThroughDynaset/1", "BM_WriteBatchDirectly/1", 1.5},
                                       {"BM_WriteBatchThroughDynaset/1000", "BM_WriteBatchDirectly/1000", 1.5},
                                       {"BM_ProtectAndUnprotect", "BM_ProtectFloor", 1.5}},
                                      // The disk's flushes make single runs of a batch vary: the medians of runs taken
                                      // in random order are compared.
                                      {"--benchmark_repetitions=5", "--benchmark_enable_random_interleaving=true",
                                       "--benchmark_report_aggregates_only=true"});
}
