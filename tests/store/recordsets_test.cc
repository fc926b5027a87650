// The five recordsets on a real SQLCipher file: open types, filters, moving, finding,
// editing, deleting, transactions, passwords and locks, and the packing of Certs.Usage.
#define SQLITE_HAS_CODEC 1
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include "store/array_set.h"
#include "store/cert_set.h"
#include "store/enum_set.h"
#include "store/key_set.h"
#include "store/query_filters.h"
#include "store/scratch_set.h"
#include "tests/support/temp_home.h"
#include "tools/lumora-admin/store_schema.h"
#include "trust/section_access.h"

namespace lumora {
namespace {

class RecordsetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_home = std::make_unique<testing::TempHome>();
    m_path = m_home->path() + "/profile.db";
    std::string error;
    ASSERT_TRUE(admin::CreateProfileDatabase(m_path, &error)) << error;
    m_db.Open(m_path);
  }

  void AddKey(const std::string& section, const std::string& key, const std::string& value = "v") {
    CKeySet set(&m_db, dbOpenDynaset);
    set.m_strFilter = "SECTION = 'ShouldNeverExist'";
    set.Open();
    set.AddNew();
    set.m_Section = section;
    set.m_Key = key;
    set.m_Value = value;
    set.m_Type = 5;
    set.Update();
  }

  std::vector<std::string> Keys(const std::string& filter, int type = dbOpenSnapshot) {
    CKeySet set(&m_db, type);
    set.m_strFilter = filter;
    set.Open();
    std::vector<std::string> keys;
    while (!set.IsEOF()) {
      keys.push_back(set.m_Key);
      set.MoveNext();
    }
    return keys;
  }

  // Edits the table's first row through another connection, as another program would.
  static void EditFirstRow(CDaoDatabase& other, const std::function<void(CKeySet&)>& edit) {
    CKeySet theirs(&other, dbOpenDynaset);
    theirs.Open();
    theirs.Edit();
    edit(theirs);
    theirs.Update();
  }

  static SCODE CodeOf(const std::function<void()>& action) {
    try {
      action();
    } catch (const CDaoException& e) {
      return e.m_scode;
    }
    return S_OK;
  }

  std::unique_ptr<testing::TempHome> m_home;
  std::string m_path;
  CDaoDatabase m_db;
};

using Strings = std::vector<std::string>;

TEST_F(RecordsetTest, ColumnsBindInOrderAndRoundTrip) {
  CKeySet keys(&m_db, dbOpenDynaset);
  keys.Open();
  keys.AddNew();
  keys.m_Section = "com.example";
  keys.m_Key = "birthday";
  keys.m_Value = "\x02\x02";
  keys.m_FieldName = "Birthday";
  keys.m_Privacy = 1;
  keys.m_Type = 3;
  keys.m_Volatility = 2;
  keys.m_IsReadOnly = TRUE;
  keys.m_IsLinked = FALSE;
  keys.m_LastShared = 36526.25;
  keys.Update();
  EXPECT_EQ(keys.m_nFields, 10);
  EXPECT_STREQ(keys.GetRuntimeClassName(), "CKeySet");
  EXPECT_EQ(keys.GetDefaultSQL(), "[Main]");

  CKeySet read(&m_db, dbOpenSnapshot);
  read.Open();
  ASSERT_FALSE(read.IsEOF());
  EXPECT_EQ(read.m_Section, "com.example");
  EXPECT_EQ(read.m_Value, "\x02\x02");
  EXPECT_EQ(read.m_FieldName, "Birthday");
  EXPECT_EQ(read.m_Privacy, 1);
  EXPECT_EQ(read.m_Type, 3);
  EXPECT_EQ(read.m_Volatility, 2);
  EXPECT_EQ(read.m_IsReadOnly, TRUE);
  EXPECT_EQ(read.m_IsLinked, FALSE);
  EXPECT_DOUBLE_EQ(read.m_LastShared, 36526.25);

  CCertSet certs(&m_db);
  certs.Open();
  certs.AddNew();
  certs.m_Section = "com.example";
  certs.m_Usage = 60000;
  certs.m_Cert = "Example Ltd";
  certs.m_CertData = {0x30, 0x82, 0x00, 0x00, 0xFF};
  certs.Update();
  CCertSet readCerts(&m_db);
  readCerts.Open();
  EXPECT_EQ(readCerts.m_CertData, (std::vector<BYTE>{0x30, 0x82, 0x00, 0x00, 0xFF})) << "bytes with zeros survive";
  EXPECT_EQ(readCerts.UsageClass(), 1);
  EXPECT_EQ(readCerts.SequenceNumber(), 1);

  std::vector<std::unique_ptr<CDaoRecordset>> others;
  others.push_back(std::make_unique<CArraySet>(&m_db));
  others.push_back(std::make_unique<CEnumSet>(&m_db));
  others.push_back(std::make_unique<CScratchSet>(&m_db));
  for (const auto& set : others) {
    set->Open();
    EXPECT_EQ(set->m_nFields, 3) << set->GetRuntimeClassName();
    EXPECT_TRUE(set->IsEOF() && set->IsBOF()) << "an empty table is at both ends";
  }
}

TEST_F(RecordsetTest, SnapshotsCopyDynasetsReadLiveRows) {
  AddKey("S", "a", "one");
  CKeySet snapshot(&m_db, dbOpenSnapshot);
  snapshot.Open();
  CKeySet dynaset(&m_db, dbOpenDynaset);
  dynaset.Open();
  {
    CKeySet writer(&m_db, dbOpenDynaset);
    writer.Open();
    writer.Edit();
    writer.m_Value = "two";
    writer.Update();
  }
  AddKey("S", "b");
  snapshot.MoveFirst();
  dynaset.MoveFirst();
  EXPECT_EQ(snapshot.m_Value, "one") << "a snapshot keeps the copies it took";
  EXPECT_EQ(dynaset.m_Value, "two") << "a dynaset reads the live row";
  EXPECT_EQ(snapshot.GetRecordCount(), 1);
  EXPECT_EQ(dynaset.GetRecordCount(), 1) << "rows added by others after open are not members";
  EXPECT_EQ(CodeOf([&] { snapshot.Edit(); }), CDaoException::ScodeOf(kJetReadOnly));
}

TEST_F(RecordsetTest, ApostrophesAndLetterCaseInFilters) {
  AddKey("S", "o'neil");
  AddKey("S", "o");
  AddKey("S", "neil");
  AddKey("S", "O'NEIL'S");
  EXPECT_EQ(Keys("SECTION = 'S' AND KEY = 'o''neil'"), Strings{"o'neil"});
  EXPECT_EQ(Keys("SECTION = 's' AND KEY = 'O''Neil'", dbOpenDynaset), Strings{"o'neil"}) << "case ignored";
  EXPECT_EQ(Keys("KEY = 'o''neil''s'"), Strings{"O'NEIL'S"});
  EXPECT_EQ(Keys("SECTION = 'ShouldNeverExist'"), Strings{});
  EXPECT_EQ(Keys("SECTION = 'S' AND KEY = 'o' OR KEY = 'neil'"), (Strings{"o", "neil"})) << "insertion order";
  for (int type : {dbOpenSnapshot, dbOpenDynaset}) {
    EXPECT_EQ(Keys("SECTION = 's'", type), (Strings{"o'neil", "o", "neil", "O'NEIL'S"}))
        << "rows found through an index come in insertion order, not the index's";
  }
  CKeySet bad(&m_db, dbOpenSnapshot);
  bad.m_strFilter = "SECTION = 'S' OR 1=1";
  EXPECT_EQ(CodeOf([&] { bad.Open(); }), CDaoException::ScodeOf(kJetFilterSyntax));
  EXPECT_FALSE(bad.IsOpen());
}

TEST_F(RecordsetTest, HugeFiltersAreEvaluatedWithoutTheEngine) {
  std::string filter;
  for (int i = 0; i < 700; ++i) {
    if (i > 0) filter += " OR ";
    filter += "(SECTION = 'S' AND KEY = 'k" + std::to_string(i) + "')";
  }
  AddKey("S", "k3");
  AddKey("S", "other");
  AddKey("S", "k699");
  EXPECT_EQ(Keys(filter), (Strings{"k3", "k699"}));
  EXPECT_EQ(Keys(filter, dbOpenDynaset), (Strings{"k3", "k699"}));
}

// A row's values are read without asking each column's type; a NULL must still be told
// from a zero and an empty text where a filter looks at the row (these long filters are
// evaluated on the rows read, not by the engine), and an empty blob still reads.
TEST_F(RecordsetTest, NullsAreToldFromZerosAndEmptyValues) {
  m_db.Execute(
      "INSERT INTO Main (Section, Key, Value, Type, LastShared) VALUES "
      "('S', 'nulls', NULL, NULL, NULL), ('S', 'zeros', '', 0, 0.0), ('S', 'blob', x'', 5, 1.5), "
      "('S', 'ones', 'x', 1, 1.0)");
  std::string filler = " AND (KEY = 'zeros' OR KEY = 'nulls'";
  for (int i = 0; i < 700; ++i) filler += " OR KEY = 'k" + std::to_string(i) + "'";
  filler += ")";
  for (const int type : {dbOpenSnapshot, dbOpenDynaset}) {
    EXPECT_EQ(Keys("TYPE = 0" + filler, type), (Strings{"zeros"}));
    EXPECT_EQ(Keys("VALUE = ''" + filler, type), (Strings{"zeros"}));
    EXPECT_EQ(Keys("LASTSHARED = 0" + filler, type), (Strings{"zeros"}));
    EXPECT_EQ(Keys("SECTION = 'S'", type), (Strings{"nulls", "zeros", "blob", "ones"}));
  }
  CKeySet set(&m_db, dbOpenSnapshot);
  set.m_strFilter = "KEY = 'nulls'";
  set.Open();
  ASSERT_FALSE(set.IsEOF());
  EXPECT_EQ(set.m_Value, "");
  EXPECT_EQ(set.m_Type, 0);
  EXPECT_EQ(set.m_LastShared, 0.0);
  set.Close();
  set.m_strFilter = "KEY = 'blob'";
  set.Open();
  ASSERT_FALSE(set.IsEOF());
  EXPECT_EQ(set.m_Value, "") << "an empty blob reads as the empty text";
}

// A collection keeps a snapshot's rows by taking them: each row reaches the members
// once, in the set's order, with what a walk would have loaded (a NULL as the default),
// and the set is closed after, also when the taker gives up.
TEST_F(RecordsetTest, TakingASnapshotsRowsGivesWhatAWalkGives) {
  AddKey("S", "b", "second");
  AddKey("other", "x");
  AddKey("s", "A", std::string(300, 'v'));
  m_db.Execute("INSERT INTO Main (Section, Key, Value, Type) VALUES ('S', 'nulls', NULL, NULL)");
  CKeySet set(&m_db, dbOpenSnapshot);
  set.m_strFilter = "SECTION = 'S'";
  set.Open();
  std::vector<std::string> taken;
  set.TakeEachRow([&] {
    taken.push_back(set.m_Section + "." + set.m_Key + "=" + set.m_Value + "/" + std::to_string(set.m_Type));
    set.m_Value = "scribbled";  // the members are the taker's to spend
  });
  EXPECT_EQ(taken, (Strings{"S.b=second/5", "s.A=" + std::string(300, 'v') + "/5", "S.nulls=/0"}));
  EXPECT_FALSE(set.IsOpen());

  set.Open();
  EXPECT_THROW(set.TakeEachRow([] { throw std::runtime_error("the taker gives up"); }), std::runtime_error);
  EXPECT_FALSE(set.IsOpen());
  CKeySet live(&m_db, dbOpenDynaset);
  live.Open();
  EXPECT_EQ(CodeOf([&] { live.TakeEachRow([] {}); }), CDaoException::ScodeOf(kJetReadOnly));
  EXPECT_TRUE(live.IsOpen()) << "a dynaset's rows are not the taker's";
}

TEST_F(RecordsetTest, FindFirstAndFindNextWalkInOrder) {
  for (const char* key : {"x", "y", "x", "z", "x"}) AddKey("S", key, key);
  for (int type : {dbOpenDynaset, dbOpenSnapshot}) {
    CKeySet set(&m_db, type);
    set.Open();
    std::vector<long> found;
    for (BOOL hit = set.FindFirst("KEY = 'X'"); hit; hit = set.FindNext("KEY = 'X'")) {
      found.push_back(static_cast<long>(found.size()));
      EXPECT_EQ(set.m_Key, "x");
    }
    EXPECT_EQ(found.size(), 3u) << type;
    set.MoveFirst();
    ASSERT_TRUE(set.FindFirst("KEY = 'z'"));
    EXPECT_FALSE(set.FindNext("KEY = 'y'")) << "FindNext searches forward only";
    EXPECT_EQ(set.m_Key, "z") << "a failed find leaves the position";
    EXPECT_FALSE(set.FindFirst("KEY = 'none'"));
    EXPECT_EQ(CodeOf([&] { set.FindFirst("KEY ~ 'x'"); }), CDaoException::ScodeOf(kJetFilterSyntax));
  }
  CKeySet filtered(&m_db, dbOpenDynaset);
  filtered.m_strFilter = "KEY <> 'z'";
  filtered.Open();
  EXPECT_FALSE(filtered.FindFirst("KEY = 'z'")) << "a find stays within the set";
}

TEST_F(RecordsetTest, MovingEditingAndDeleting) {
  for (const char* key : {"a", "b", "c"}) AddKey("S", key);
  CKeySet set(&m_db, dbOpenDynaset);
  set.Open();
  EXPECT_FALSE(set.IsBOF());
  set.MoveLast();
  EXPECT_EQ(set.GetRecordCount(), 3);
  EXPECT_EQ(set.m_Key, "c");
  set.MoveFirst();
  set.MoveNext();
  set.Delete();
  EXPECT_TRUE(set.IsDeleted());
  EXPECT_EQ(CodeOf([&] { set.Edit(); }), static_cast<SCODE>(0x800A0BCD)) << "no current record after Delete";
  set.MoveNext();
  EXPECT_EQ(set.m_Key, "c") << "MoveNext goes on after the deleted row";
  EXPECT_EQ(set.GetRecordCount(), 2);
  set.MovePrev();
  EXPECT_EQ(set.m_Key, "a") << "deleted rows are skipped both ways";
  set.MoveNext();
  set.MoveNext();
  EXPECT_TRUE(set.IsEOF());
  EXPECT_EQ(CodeOf([&] { set.MoveNext(); }), static_cast<SCODE>(0x800A0BCD));
  EXPECT_EQ(CodeOf([&] { set.Update(); }), CDaoException::ScodeOf(kJetUpdateWithoutEdit));
  EXPECT_EQ(Keys(""), (Strings{"a", "c"}));

  set.MoveFirst();
  set.Edit();
  set.m_Value = "changed";
  set.CancelUpdate();
  EXPECT_EQ(set.m_Value, "v") << "a cancelled edit restores the row";
  set.AddNew();
  EXPECT_EQ(set.m_Key, "") << "AddNew starts from empty members";
  set.m_Section = "T";
  set.m_Key = "d";
  set.Update();
  EXPECT_EQ(set.m_Key, "a") << "the record current before AddNew stays current";
  set.MoveLast();
  EXPECT_EQ(set.m_Key, "d") << "a dynaset shows the rows it added";

  CKeySet empty(&m_db, dbOpenSnapshot);
  empty.m_strFilter = "SECTION = 'ShouldNeverExist'";
  empty.Open();
  EXPECT_TRUE(empty.IsBOF() && empty.IsEOF());
  EXPECT_EQ(CodeOf([&] { empty.MoveFirst(); }), static_cast<SCODE>(0x800A0BCD));
  EXPECT_EQ(CodeOf([&] { empty.MoveLast(); }), static_cast<SCODE>(0x800A0BCD));
}

TEST_F(RecordsetTest, TransactionsCommitForOtherConnections) {
  CDaoDatabase other;
  other.Open(m_path);
  m_db.m_pWorkspace->BeginTrans();
  AddKey("S", "in transaction");
  m_db.m_pWorkspace->BeginTrans();  // nested
  AddKey("S", "nested");
  m_db.m_pWorkspace->CommitTrans();
  m_db.m_pWorkspace->CommitTrans();
  CKeySet set(&other, dbOpenSnapshot);
  set.Open();
  EXPECT_EQ(set.GetRecordCount(), 2);
  EXPECT_EQ(CodeOf([&] { m_db.m_pWorkspace->CommitTrans(); }), CDaoException::ScodeOf(kJetUnexpected));
}

TEST_F(RecordsetTest, OpeningReportsMissingWrongLockedAndDamagedFiles) {
  CDaoDatabase db;
  EXPECT_EQ(CodeOf([&] { db.Open(m_home->path() + "/missing.db"); }), static_cast<SCODE>(0x800A0BD0));
  EXPECT_EQ(CodeOf([&] { db.Open(""); }), static_cast<SCODE>(0x800A0BD0));
  EXPECT_EQ(CodeOf([&] { db.Open(m_path, true); }), static_cast<SCODE>(0x800A0BE5))
      << "an exclusive open fails while another user has the file open";
  {
    std::ofstream garbage(m_home->path() + "/garbage.db");
    garbage << "this is not a database at all";
  }
  EXPECT_EQ(CodeOf([&] { db.Open(m_home->path() + "/garbage.db"); }), static_cast<SCODE>(0x800A0BE9));
  EXPECT_EQ(CodeOf([&] { db.Open(m_path, false, false, "pwd=x"); }), CDaoException::ScodeOf(kJetUnexpected));

  m_db.Close();
  CDaoDatabase exclusive;
  exclusive.Open(m_path, true);
  EXPECT_EQ(CodeOf([&] { exclusive.NewPassword("wrong", "new"); }), static_cast<SCODE>(0x800A0BD7));
  exclusive.NewPassword("", "S3cr3t'pw");
  exclusive.Close();
  EXPECT_EQ(CodeOf([&] { db.Open(m_path); }), static_cast<SCODE>(0x800A0BD7)) << "no password for a protected file";
  EXPECT_EQ(CodeOf([&] { db.Open(m_path, false, false, ";pwd=wrong"); }), static_cast<SCODE>(0x800A0BD7));
  db.Open(m_path, false, false, ";pwd=S3cr3t'pw");
  EXPECT_EQ(CodeOf([&] { db.NewPassword("S3cr3t'pw", ""); }), static_cast<SCODE>(0x800A0BE5))
      << "a password is changed only under an exclusive open";
  CKeySet set(&db, dbOpenSnapshot);
  set.Open();
  EXPECT_TRUE(set.IsEOF()) << "the tables came through the change";
  set.Close();
  db.Close();
  exclusive.Open(m_path, true, false, ";pwd=S3cr3t'pw");
  exclusive.NewPassword("S3cr3t'pw", "");
  exclusive.Close();
  std::ifstream file(m_path, std::ios::binary);
  char header[16] = {};
  file.read(header, 16);
  EXPECT_EQ(std::string(header, 15), "SQLite format 3") << "without a password the file is plain again";
  db.Open(m_path);
}

// The keys of a set, walked from its first row.
Strings Walk(CKeySet& set) {
  Strings keys;
  if (set.IsBOF() && set.IsEOF()) return keys;
  for (set.MoveFirst(); !set.IsEOF(); set.MoveNext()) keys.push_back(set.m_Key);
  return keys;
}

TEST_F(RecordsetTest, AFailingOpenOrFindLeavesNoStatementBehind) {
  AddKey("S", "a");
  AddKey("S", "b");
  // Past 400 comparisons a filter is evaluated in memory, row by row; only the row "a"
  // reaches the comparison that names no column.
  std::string filter;
  for (int i = 0; i < 500; ++i) filter += "KEY = 'k" + std::to_string(i) + "' OR ";
  filter += "(KEY = 'a' AND NOSUCH = 'x')";
  for (int type : {dbOpenSnapshot, dbOpenDynaset}) {
    CKeySet set(&m_db, type);
    set.m_strFilter = filter;
    EXPECT_EQ(CodeOf([&] { set.Open(); }), CDaoException::ScodeOf(kJetFilterSyntax)) << type;
    EXPECT_FALSE(set.IsOpen());
    EXPECT_EQ(sqlite3_next_stmt(m_db.Handle(), nullptr), nullptr) << "a statement outlived the failed open " << type;
    set.m_strFilter = "KEY = 'b'";
    set.Open();
    EXPECT_EQ(CodeOf([&] { set.FindFirst(filter.c_str()); }), CDaoException::ScodeOf(kJetFilterSyntax)) << type;
    EXPECT_EQ(CodeOf([&] { set.FindFirst("NOSUCH = 'x' OR KEY = 'b'"); }), CDaoException::ScodeOf(kJetFilterSyntax));
    EXPECT_EQ(set.m_Key, "b") << "a failed find leaves the position";
    set.Close();
    EXPECT_EQ(sqlite3_next_stmt(m_db.Handle(), nullptr), nullptr) << type;
  }
}

TEST_F(RecordsetTest, AWholeTableDynasetTakesEveryRowThereAtOpenAndItsOwn) {
  for (const char* key : {"a", "b", "c"}) AddKey("S", key);
  CKeySet set(&m_db, dbOpenDynaset);
  set.Open();
  EXPECT_EQ(set.m_Key, "a");
  {
    CDaoDatabase other;
    other.Open(m_path);
    CKeySet theirs(&other, dbOpenDynaset);
    theirs.Open();
    ASSERT_TRUE(theirs.FindFirst("KEY = 'b'"));
    theirs.Delete();
    theirs.AddNew();
    theirs.m_Section = "S";
    theirs.m_Key = "theirs";
    theirs.Update();
  }
  EXPECT_FALSE(set.FindFirst("KEY = 'theirs'")) << "a row added by another user after the open is no member";
  EXPECT_FALSE(set.FindFirst("KEY = 'b'"));
  set.MoveNext();
  EXPECT_EQ(set.m_Key, "c") << "a row deleted by another user is passed over";
  EXPECT_EQ(set.GetRecordCount(), 2);

  // The last row deleted, then a row added: the engine would give the new row the row id
  // of the deleted one, which this set must not take for the deleted row.
  set.Delete();
  set.AddNew();
  set.m_Section = "S";
  set.m_Key = "mine";
  set.Update();
  EXPECT_TRUE(set.IsDeleted()) << "the deleted row stays current";
  EXPECT_EQ(Walk(set), (Strings{"a", "mine"}));
  EXPECT_EQ(set.GetRecordCount(), 2);
  ASSERT_TRUE(set.FindFirst("KEY = 'MINE'"));
  set.MovePrev();
  EXPECT_EQ(set.m_Key, "a");
  EXPECT_EQ(Keys("SECTION = 'S'"), (Strings{"a", "theirs", "mine"})) << "rows come in insertion order";

  set.MoveFirst();
  set.Delete();
  EXPECT_FALSE(set.IsBOF() || set.IsEOF()) << "a row is left";
  set.MoveNext();
  set.Delete();
  EXPECT_TRUE(set.IsBOF() && set.IsEOF()) << "a set whose rows are all deleted is at both ends";
  EXPECT_EQ(set.GetRecordCount(), 0);
  EXPECT_EQ(CodeOf([&] { set.MoveFirst(); }), CDaoException::ScodeOf(kJetNoCurrentRecord));
  set.AddNew();
  set.m_Key = "again";
  set.Update();
  EXPECT_EQ(Walk(set), Strings{"again"});
}

// Eight writers, each on its own connection, add rows through whole-table dynasets at
// once and delete their own last row, so that the engine would hand its row id out again.
// Every writer sees exactly the rows there at its open and its own, and no two rows ever
// ask for one row id.
TEST_F(RecordsetTest, EightWritersAddAndDeleteAtOnce) {
  for (const char* key : {"a", "b"}) AddKey("S", key);
  constexpr int kWriters = 8;
  constexpr int kRows = 20;
  std::atomic<int> failures{0};
  std::vector<std::thread> writers;
  writers.reserve(8);
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      try {
        CDaoDatabase db;
        db.Open(m_path);
        CKeySet set(&db, dbOpenDynaset);
        set.Open();
        const std::string mine = "w" + std::to_string(w) + "-";
        for (int i = 0; i < kRows; ++i) {
          set.AddNew();
          set.m_Section = "W";
          set.m_Key = mine + std::to_string(i);
          set.Update();
          if (i % 5 == 4) {
            set.MoveLast();
            set.Delete();
          }
        }
        // Its members: "a" and "b" (and perhaps rows other writers added before it
        // opened), then its own rows in the order it added them.
        Strings own;
        for (set.MoveFirst(); !set.IsEOF(); set.MoveNext()) {
          if (set.m_Key.rfind(mine, 0) == 0) own.push_back(set.m_Key);
        }
        Strings expected;
        for (int i = 0; i < kRows; ++i) {
          if (i % 5 != 4) expected.push_back(mine + std::to_string(i));
        }
        if (own != expected) ++failures;
      } catch (const CDaoException& e) {
        ADD_FAILURE() << "writer " << w << ": " << e.m_description;
        ++failures;
      }
    });
  }
  for (std::thread& writer : writers) writer.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(Keys("SECTION = 'W'").size(), static_cast<size_t>(kWriters * (kRows - kRows / 5)));
}

// A file written by something else may hold any row ids: negative ones, and the largest
// there is, after which the engine can hand out no larger one.
TEST_F(RecordsetTest, RowIdsAtTheEdgesOfTheRange) {
  m_db.Execute("INSERT INTO Main (rowid, Section, Key) VALUES (-9223372036854775808, 'S', 'lowest')");
  m_db.Execute("INSERT INTO Main (rowid, Section, Key) VALUES (-5, 'S', 'negative')");
  CKeySet set(&m_db, dbOpenDynaset);
  set.Open();
  EXPECT_EQ(set.m_Key, "lowest");
  set.AddNew();
  set.m_Section = "S";
  set.m_Key = "added";
  set.Update();
  EXPECT_EQ(Walk(set), (Strings{"lowest", "negative", "added"}));
  set.MoveLast();
  set.MovePrev();
  set.MovePrev();
  EXPECT_EQ(set.m_Key, "lowest");
  set.MovePrev();
  EXPECT_TRUE(set.IsBOF());
  EXPECT_EQ(set.GetRecordCount(), 3);
  set.Close();

  m_db.Execute("INSERT INTO Main (rowid, Section, Key) VALUES (9223372036854775807, 'S', 'highest')");
  set.Open();
  set.MoveLast();
  EXPECT_EQ(set.m_Key, "highest");
  set.MoveNext();
  EXPECT_TRUE(set.IsEOF());
  set.AddNew();
  set.m_Key = "no room";
  EXPECT_NE(CodeOf([&] { set.Update(); }), S_OK) << "no row id is left above the last";
  EXPECT_EQ(set.GetRecordCount(), 4) << "nothing was added, nothing lost";
  ASSERT_TRUE(set.FindFirst("KEY = 'negative'"));
  set.Delete();
  EXPECT_EQ(Walk(set), (Strings{"lowest", "added", "highest"}));
  set.MoveLast();
  ASSERT_TRUE(set.FindFirst("KEY = 'lowest'"));
  EXPECT_FALSE(set.FindNext("KEY = 'lowest'"));
  ASSERT_TRUE(set.FindNext("KEY = 'highest'"));
  EXPECT_FALSE(set.FindNext("SECTION = 'S'")) << "nothing lies after the largest row id";
  EXPECT_EQ(Keys("SECTION = 'S'"), (Strings{"lowest", "added", "highest"}));
  EXPECT_EQ(Keys("SECTION = 'S'", dbOpenDynaset), (Strings{"lowest", "added", "highest"}));
}

TEST_F(RecordsetTest, AFindByNamesFindsWhatTheSameFilterFinds) {
  AddKey("S", "o'neil");
  AddKey("S", "x");
  AddKey("T", "x");
  AddKey("s", "X");  // the same names in other letters: the first one in row order wins
  m_db.Execute("INSERT INTO Main (Section, Key) VALUES ('S', NULL)");
  const std::vector<std::pair<std::string, std::string>> probes = {
      {"S", "o'neil"}, {"s", "O'NEIL"}, {"T", "X"}, {"S", "x"}, {"S", ""}, {"", "x"}, {"S", "o"}, {"S", "o'neil "}};
  for (int type : {dbOpenDynaset, dbOpenSnapshot}) {
    CKeySet byFilter(&m_db, type);
    CKeySet byNames(&m_db, type);
    byFilter.Open();
    byNames.Open();
    for (const auto& [section, key] : probes) {
      const std::string filter =
          "SECTION = '" + QuoteFilterText(section) + "' AND KEY = '" + QuoteFilterText(key) + "'";
      const BOOL expected = byFilter.FindFirst(filter.c_str());
      ASSERT_EQ(byNames.FindFirstEqual({{"Section", section}, {"KEY", key}}), expected) << section << "/" << key;
      if (expected) {
        EXPECT_EQ(byNames.GetBookmark(), byFilter.GetBookmark()) << section << "/" << key;
        EXPECT_EQ(byNames.m_Section + "/" + byNames.m_Key, byFilter.m_Section + "/" + byFilter.m_Key);
      }
    }
    EXPECT_EQ(CodeOf([&] { byNames.FindFirstEqual({{"Nope", "x"}}); }), CDaoException::ScodeOf(kJetFilterSyntax));
    EXPECT_EQ(CodeOf([&] { byNames.FindFirstEqual({{"Type", "5"}}); }), CDaoException::ScodeOf(kJetTypeMismatch));
  }

  // Only the set's members: not a row another connection adds after the open, nor one
  // outside the set's filter.
  CKeySet open(&m_db, dbOpenDynaset);
  open.Open();
  AddKey("S", "late");
  EXPECT_FALSE(open.FindFirstEqual({{"Section", "S"}, {"Key", "late"}}));
  EXPECT_EQ(open.m_Key, "o'neil") << "a failed find leaves the position";
  CKeySet filtered(&m_db, dbOpenDynaset);
  filtered.m_strFilter = "SECTION <> 'T'";
  filtered.Open();
  EXPECT_FALSE(filtered.FindFirstEqual({{"Section", "T"}, {"Key", "x"}}));
}

TEST_F(RecordsetTest, AListOfNamesSelectsWhatTheSameFilterSelects) {
  AddKey("S", "o'neil");
  AddKey("T", "x");
  AddKey("S", "x");
  AddKey("s", "X");  // the same names in other letters: both rows are selected
  AddKey("S", "b");
  const std::vector<std::vector<std::string>> lists = {
      {}, {"S.x"}, {"T.x", "S.b", "s.O'NEIL"}, {"S.b", "S.b", "S.missing"}, {"S.x", "T.x", "S.o'neil", "S.b"}};
  for (int type : {dbOpenSnapshot, dbOpenDynaset}) {
    for (const auto& ukis : lists) {
      CKeySet named(&m_db, type);
      named.m_equalAny = KeyListNames(ukis);
      named.Open();
      Strings byNames;
      for (; !named.IsEOF(); named.MoveNext()) byNames.push_back(named.m_Section + "." + named.m_Key);
      CKeySet filtered(&m_db, type);
      filtered.m_strFilter = KeyListFilter(ukis);
      filtered.Open();
      Strings byFilter;
      for (; !filtered.IsEOF(); filtered.MoveNext()) byFilter.push_back(filtered.m_Section + "." + filtered.m_Key);
      EXPECT_EQ(byNames, byFilter) << ukis.size() << " names, type " << type;
      EXPECT_EQ(named.GetRecordCount(), static_cast<long>(byFilter.size()));
    }
  }
  CKeySet both(&m_db, dbOpenSnapshot);
  both.m_equalAny = KeyListNames({"S.x"});
  both.m_strFilter = "KEY = 'x'";
  EXPECT_EQ(CodeOf([&] { both.Open(); }), CDaoException::ScodeOf(kJetFilterSyntax));
  CKeySet numeric(&m_db, dbOpenSnapshot);
  numeric.m_equalAny = CDaoRecordset::EqualAny{{"Type"}, {{"5"}}};
  EXPECT_EQ(CodeOf([&] { numeric.Open(); }), CDaoException::ScodeOf(kJetTypeMismatch));
  CKeySet uneven(&m_db, dbOpenSnapshot);
  uneven.m_equalAny = CDaoRecordset::EqualAny{{"Section", "Key"}, {{"S"}}};
  EXPECT_EQ(CodeOf([&] { uneven.Open(); }), CDaoException::ScodeOf(kJetFilterSyntax));
  EXPECT_FALSE(uneven.IsOpen());
}

// A text may hold zero bytes (another program can store them); a find by names compares
// every byte as a filter's comparison does, whether the set reads its rows itself or asks
// the engine, and an empty text is a text, however it was made.
TEST_F(RecordsetTest, AFindByNamesComparesWholeTextsPastZeroBytes) {
  const std::string stored("a\0c", 3);
  AddKey("S", stored);
  AddKey("S", "");
  const std::string_view other("a\0b", 3);
  const std::string_view upper("A\0c", 3);
  for (const char* filter : {"", "SECTION = 'S'"}) {
    for (int type : {dbOpenDynaset, dbOpenSnapshot}) {
      SCOPED_TRACE(std::string("filter '") + filter + "', type " + std::to_string(type));
      CKeySet set(&m_db, type);
      set.m_strFilter = filter;
      set.Open();
      EXPECT_FALSE(set.FindFirstEqual({{"Section", "S"}, {"Key", other}})) << "the bytes after the zero differ";
      ASSERT_TRUE(set.FindFirstEqual({{"Section", "S"}, {"Key", upper}}));
      EXPECT_EQ(set.m_Key, stored);
      ASSERT_TRUE(set.FindFirstEqual({{"Section", "S"}, {"Key", std::string_view()}})) << "as KEY = ''";
      EXPECT_EQ(set.m_Key, "");
    }
  }
  for (int type : {dbOpenDynaset, dbOpenSnapshot}) {
    CKeySet named(&m_db, type);
    named.m_equalAny = CDaoRecordset::EqualAny{{"Section", "Key"}, {{"S", std::string(other)}}};
    named.Open();
    EXPECT_TRUE(named.IsEOF()) << "type " << type;
    EXPECT_EQ(named.GetRecordCount(), 0) << "type " << type;
    named.Close();
    named.m_equalAny =
        CDaoRecordset::EqualAny{{"Section", "Key"}, {{"S", std::string(other)}, {"s", std::string(upper)}}};
    named.Open();
    ASSERT_FALSE(named.IsEOF());
    EXPECT_EQ(named.m_Key, stored);
    EXPECT_EQ(named.GetRecordCount(), 1) << "type " << type;
  }
}

// A read ends with the connection it began on. The transactions of the workspace are
// their owners' to end: one open before the read, or one begun on a connection made
// again while the read was held (whose handle may be at the old one's address).
TEST_F(RecordsetTest, AReadEndsOnlyItsOwnTransaction) {
  {
    CDaoReadTransaction read(&m_db);
    EXPECT_EQ(sqlite3_get_autocommit(m_db.Handle()), 0);
  }
  EXPECT_NE(sqlite3_get_autocommit(m_db.Handle()), 0) << "the read is over";

  m_db.m_pWorkspace->BeginTrans();
  {
    CDaoReadTransaction inner(&m_db);
    AddKey("S", "written");
  }
  EXPECT_EQ(sqlite3_get_autocommit(m_db.Handle()), 0) << "the workspace's transaction is still open";
  m_db.m_pWorkspace->CommitTrans();

  for (int round = 0; round < 8; ++round) {
    {
      CDaoReadTransaction read(&m_db);
      m_db.Close();
      m_db.Open(m_path);
      m_db.m_pWorkspace->BeginTrans();
      AddKey("S", "in the new connection's transaction");
    }
    ASSERT_EQ(sqlite3_get_autocommit(m_db.Handle()), 0) << "round " << round;
    ASSERT_EQ(CodeOf([&] { m_db.m_pWorkspace->CommitTrans(); }), S_OK) << "round " << round;
  }
  {
    CDaoReadTransaction read(&m_db);
    m_db.Close();
  }
  EXPECT_FALSE(m_db.IsOpen()) << "and the read's end touched no closed connection";
}

TEST_F(RecordsetTest, ABookmarkReturnsToItsRowWhileTheRowIsAMember) {
  AddKey("S", "a", "one");
  AddKey("S", "b", "two");
  AddKey("S", "c", "three");  // the highest row id stays taken, so no later row takes b's
  CKeySet set(&m_db, dbOpenDynaset);
  set.Open();
  const int64_t first = set.GetBookmark();
  set.MoveNext();
  const int64_t second = set.GetBookmark();
  EXPECT_NE(first, second);
  CDaoDatabase other;
  other.Open(m_path);
  EditFirstRow(other, [](CKeySet& theirs) { theirs.m_Value = "changed"; });
  ASSERT_TRUE(set.MoveToBookmark(first));
  EXPECT_EQ(set.m_Key, "a");
  EXPECT_EQ(set.m_Value, "changed") << "a dynaset reads the row as it is now";
  CKeySet copy(&m_db, dbOpenSnapshot);
  copy.Open();
  ASSERT_TRUE(copy.MoveToBookmark(second));
  EXPECT_EQ(copy.m_Value, "two");
  {
    CKeySet theirs(&other, dbOpenDynaset);
    theirs.Open();
    theirs.MoveNext();
    theirs.Delete();
  }
  EXPECT_FALSE(set.MoveToBookmark(second)) << "gone";
  EXPECT_EQ(set.m_Key, "a") << "a failed move leaves the position";
  AddKey("S", "late");
  CKeySet latest(&m_db, dbOpenSnapshot);
  latest.m_strFilter = "KEY = 'late'";
  latest.Open();
  EXPECT_FALSE(set.MoveToBookmark(latest.GetBookmark())) << "added by another set after the open";
  EXPECT_FALSE(copy.MoveToBookmark(latest.GetBookmark()));
  EXPECT_FALSE(set.MoveToBookmark(INT64_MIN));
  EXPECT_FALSE(set.MoveToBookmark(INT64_MAX));
  CKeySet none(&m_db, dbOpenSnapshot);
  none.m_strFilter = "KEY = 'none'";
  none.Open();
  EXPECT_EQ(CodeOf([&] { none.GetBookmark(); }), CDaoException::ScodeOf(kJetNoCurrentRecord));
}

TEST_F(RecordsetTest, AnUpdateWritesTheColumnsItChangedAndFindsARowDeletedMeanwhile) {
  AddKey("S", "a", "old");
  CKeySet mine(&m_db, dbOpenDynaset);
  mine.Open();
  CDaoDatabase other;
  other.Open(m_path);
  EditFirstRow(other, [](CKeySet& theirs) { theirs.m_FieldName = "Theirs"; });
  mine.Edit();
  mine.m_Value = "mine";
  mine.Update();
  CKeySet read(&m_db, dbOpenSnapshot);
  read.Open();
  EXPECT_EQ(read.m_Value, "mine");
  EXPECT_EQ(read.m_FieldName, "Theirs") << "a column this set did not change keeps the other user's change";
  {
    CKeySet theirs(&other, dbOpenDynaset);
    theirs.Open();
    theirs.Delete();
  }
  mine.Edit();
  EXPECT_EQ(CodeOf([&] { mine.Update(); }), CDaoException::ScodeOf(kJetNoCurrentRecord))
      << "an edit that changes nothing still notices the row is gone";
  EXPECT_TRUE(mine.IsDeleted());
  EXPECT_EQ(mine.GetRecordCount(), 0);
}

TEST(UsagePackingTest, BoundariesDecodeAndEncode) {
  struct Case {
    LONG stored;
    int usageClass;
    LONG sequence;
  };
  const Case cases[] = {{0, 0, 0},          {1, 1, 0},       {99, 2, -1}, {100, 0, 1}, {59999, 0, 59900}, {60000, 1, 1},
                        {119999, 1, 60000}, {120000, 2, -1}, {-1, 2, -1}, {2, 2, -1},  {-60000, 2, -1}};
  for (const Case& c : cases) {
    const CertUsage usage = DecodeUsage(c.stored);
    EXPECT_EQ(usage.usageClass, c.usageClass) << c.stored;
    EXPECT_EQ(usage.sequenceNumber, c.sequence) << c.stored;
    if (c.usageClass < 2) {
      EXPECT_EQ(EncodeUsage(c.usageClass, c.sequence), c.stored) << c.stored;
    }
  }
  EXPECT_EQ(EncodeUsage(1, 0), 1) << "sequence 0 in class 1 stores 1";
  EXPECT_EQ(EncodeUsage(0, 0), 0);
  EXPECT_EQ(EncodeUsage(2, 7), 2) << "no class stays no class";
  CCertSet row(nullptr);
  row.m_Usage = 60005;
  row.SetSequenceNumber(0);
  EXPECT_EQ(row.m_Usage, 1);
  row.m_Usage = 150;
  row.SetSequenceNumber(12);
  EXPECT_EQ(row.m_Usage, 111);
}

// A number is looked for in its own class only: numbers beyond a class's range would
// otherwise pack into another class's values (class 0 number 59901 is stored 60000, class 1
// number 1) or overflow.
TEST_F(RecordsetTest, ACertificateNumberIsFoundInItsOwnClassOnly) {
  const std::vector<BYTE> record = {1, 2, 3};
  {
    CCertSet set(&m_db);
    set.Open();
    for (int usageClass : {0, 0, 1, 1}) ASSERT_EQ(AddCertRow(set, "Acme", "acme", usageClass, record), S_OK);
  }
  CCertSet set(&m_db);
  set.Open();
  EXPECT_TRUE(FindSectionUsage(set, "acme", 0, 1));
  EXPECT_EQ(set.m_Usage, 100);
  EXPECT_TRUE(FindSectionUsage(set, "acme", 1, 1));
  EXPECT_EQ(set.m_Usage, 60000);
  const struct {
    int usageClass;
    LONG number;
  } outside[] = {{0, 59901},  {0, -98},   {0, -99},        {0, -1},         {1, -59999},
                 {1, -59998}, {1, 60001}, {0, 0x7FFFFFFF}, {1, 0x7FFFFFFF}, {0, -0x7FFFFFFF - 1},
                 {2, 0}};
  for (const auto& c : outside) {
    EXPECT_FALSE(FindSectionUsage(set, "acme", c.usageClass, c.number)) << c.usageClass << " " << c.number;
  }
}

TEST_F(RecordsetTest, ClosingTheDatabaseClosesItsRecordsetsFirst) {
  AddKey("S", "a");
  auto database = std::make_unique<CDaoDatabase>();
  database->Open(m_path);
  CKeySet whole(database.get(), dbOpenDynaset);
  whole.Open();
  CKeySet filtered(database.get(), dbOpenSnapshot);
  filtered.m_strFilter = "SECTION = 'S'";
  filtered.Open();
  CScratchSet empty(database.get());
  empty.Open();
  whole.EnumSet();  // a recordset the key set opened on its own
  database->Close();
  EXPECT_FALSE(whole.IsOpen());
  EXPECT_FALSE(filtered.IsOpen());
  EXPECT_FALSE(empty.IsOpen());
  EXPECT_EQ(CodeOf([&] { whole.MoveFirst(); }), CDaoException::ScodeOf(kJetObjectClosed));
  // The database goes before its recordsets: they never reach back into it.
  database.reset();
  whole.Close();
  EXPECT_FALSE(filtered.IsOpen());
  // An exclusive open succeeds: nothing holds the file any more.
  m_db.Close();
  CDaoDatabase exclusive;
  EXPECT_EQ(CodeOf([&] { exclusive.Open(m_path, true); }), S_OK);
}

TEST_F(RecordsetTest, AWalkThatDeletesEveryRowEndsAtTheEnd) {
  // Rows the set added itself, then rows it found at open: the framework's own pattern
  // (delete, move next, until the end) must end quietly after the last one.
  CScratchSet set(&m_db);
  set.m_strFilter = "SECTION = 'x'";
  set.Open();
  for (const char* key : {"b", "c"}) {
    set.AddNew();
    set.m_section = "x";
    set.m_key = key;
    set.m_value = "v";
    set.Update();
  }
  for (int pass = 0; pass < 2; ++pass) {
    set.MoveFirst();
    int deleted = 0;
    while (!set.IsEOF()) {
      set.Delete();
      ++deleted;
      EXPECT_EQ(CodeOf([&] { set.MoveNext(); }), S_OK) << deleted;
    }
    EXPECT_EQ(deleted, 2);
    EXPECT_EQ(set.GetRecordCount(), 0);
    EXPECT_EQ(CodeOf([&] { set.MoveNext(); }), CDaoException::ScodeOf(kJetNoCurrentRecord)) << "past the end";
    if (pass == 0) {
      set.Close();
      for (const char* key : {"d", "e"}) {
        CScratchSet adder(&m_db);
        adder.Open();
        adder.AddNew();
        adder.m_section = "x";
        adder.m_key = key;
        adder.Update();
      }
      set.Open();
    }
  }
}

}  // namespace
}  // namespace lumora
