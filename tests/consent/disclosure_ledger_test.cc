// The disclosure ledger on a real file: lines whole under eight writers at once, a torn
// or damaged line skipped and numbered, a decision that cannot be recorded never
// allowed, and the share statuses taken from the rows as the user left them.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "consent/disclosure_ledger.h"
#include "platform/ui/consent_json.h"
#include "tests/support/temp_home.h"

namespace lumora {
namespace {

LedgerEntry Entry(const std::string& company, ConsentKind kind) {
  LedgerEntry entry;
  entry.time = "2026-12-05T22:10:03Z";
  entry.kind = kind;
  entry.company = company;
  entry.section = "com.acme";
  entry.fields = {"Name", "Shoe \"size\" & width", "Città"};
  if (kind == ConsentKind::kWrite) entry.shares = {"shared", "private", ""};
  entry.answer = ConsentAnswer::kAllow;
  return entry;
}

bool operator==(const LedgerEntry& a, const LedgerEntry& b) {
  return a.time == b.time && a.kind == b.kind && a.company == b.company && a.section == b.section &&
         a.fields == b.fields && a.shares == b.shares && a.answer == b.answer;
}

class DisclosureLedgerTest : public ::testing::Test {
 protected:
  std::string Path() const { return m_home.path() + "/" + kLedgerFileName; }
  std::vector<LedgerEntry> Read(std::vector<size_t>* damaged) {
    std::vector<LedgerEntry> entries;
    std::string error;
    EXPECT_TRUE(ReadLedger(Path(), &entries, damaged, &error)) << error;
    return entries;
  }
  testing::TempHome m_home;
};

TEST_F(DisclosureLedgerTest, EightWritersAtOnceLeaveWholeLinesOnly) {
  constexpr int kWriters = 8;
  constexpr int kEach = 40;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      // Long lines, so that a write that is not whole would show.
      LedgerEntry entry = Entry("Writer " + std::to_string(w), ConsentKind::kWrite);
      entry.fields[0] = std::string(20000, static_cast<char>('a' + w));
      for (int i = 0; i < kEach; ++i) {
        if (AppendLedgerEntry(Path(), entry) != 0) ::_exit(1);
      }
      ::_exit(0);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::vector<size_t> damaged;
  const std::vector<LedgerEntry> entries = Read(&damaged);
  EXPECT_TRUE(damaged.empty());
  ASSERT_EQ(entries.size(), static_cast<size_t>(kWriters * kEach));
  for (const LedgerEntry& entry : entries) {
    const char letter = static_cast<char>('a' + std::stoi(entry.company.substr(7)));
    EXPECT_EQ(entry.fields[0], std::string(20000, letter));
  }
  struct stat info {};
  ASSERT_EQ(::stat(Path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0660u) << "readable by the installation's group only";
}

TEST_F(DisclosureLedgerTest, ATornOrDamagedLineIsSkippedAndTheNextRecordStandsAlone) {
  ASSERT_EQ(AppendLedgerEntry(Path(), Entry("Acme", ConsentKind::kRead)), 0);
  // Damaged lines of every sort, then a writer that died in the middle of its line.
  std::ofstream(Path(), std::ios::app) << "not json\n"
                                       << "\n"
                                       << R"({"time":"t","kind":"peek","company":"c","section":"s","fields":[],)"
                                       << R"("answer":"allow"})"
                                       << "\n"
                                       << R"({"time":"t","kind":"write","company":"c","section":"s","fields":["a"],)"
                                       << R"("shares":[],"answer":"allow"})"
                                       << "\n"
                                       << R"({"time":"t","kind":"read","company":"c","section":"s","fields":[1],)"
                                       << R"("answer":"allow"})"
                                       << "\n"
                                       << "\xff\xfe\n"
                                       << R"({"time":"2026-12-05T22:1)";
  ASSERT_EQ(AppendLedgerEntry(Path(), Entry("Globex", ConsentKind::kWrite)), 0);
  std::vector<size_t> damaged;
  const std::vector<LedgerEntry> entries = Read(&damaged);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_TRUE(entries[0] == Entry("Acme", ConsentKind::kRead));
  EXPECT_TRUE(entries[1] == Entry("Globex", ConsentKind::kWrite)) << "not glued onto the torn line";
  EXPECT_EQ(damaged, (std::vector<size_t>{2, 4, 5, 6, 7, 8}));

  // A ledger cut in half, emptied, or missing reads as far as it goes.
  std::ofstream(Path(), std::ios::trunc) << "";
  EXPECT_TRUE(Read(&damaged).empty());
  ::unlink(Path().c_str());
  EXPECT_TRUE(Read(&damaged).empty());
}

TEST_F(DisclosureLedgerTest, ADecisionThatCannotBeRecordedIsNeverAnAllow) {
  ConsentDialogModel model;
  model.kind = ConsentKind::kWrite;
  model.company = "Acme & Co";
  model.section = "acme";
  model.shareColumn = 2;
  model.switchable = {true, false, true};
  model.sharedText = "Shared";
  model.privateText = "Private";
  const std::vector<std::vector<std::string>> rows = {
      {"Size", "43", "Shared"}, {"Tags[x]", "hiking", ""}, {"City", "Bern", "Private"}};
  EXPECT_EQ(RecordConsentDecision(model, rows, ConsentAnswer::kAllow), ConsentAnswer::kAllow);
  std::vector<size_t> damaged;
  std::vector<LedgerEntry> entries = Read(&damaged);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].fields, (std::vector<std::string>{"Size", "Tags[x]", "City"}));
  EXPECT_EQ(entries[0].shares, (std::vector<std::string>{"shared", "", "private"}));
  EXPECT_EQ(entries[0].company, "Acme & Co");
  std::ifstream in(Path());
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.find("hiking"), std::string::npos) << "no value is ever kept";

  // The ledger cannot be written (a folder in its place): Allow turns into Deny.
  ::unlink(Path().c_str());
  ASSERT_EQ(::mkdir(Path().c_str(), 0700), 0);
  EXPECT_EQ(RecordConsentDecision(model, rows, ConsentAnswer::kAllow), ConsentAnswer::kDeny);
  EXPECT_EQ(RecordConsentDecision(model, rows, ConsentAnswer::kClose), ConsentAnswer::kClose);
  ::rmdir(Path().c_str());
}

// A member of the store's group can put a named pipe where the ledger belongs. Reading
// it must fail at once, not wait for a writer that never comes (the administrator's
// `lumora-admin ledger` would hang), and a decision must not vanish into it as recorded.
TEST_F(DisclosureLedgerTest, APipeInPlaceOfTheLedgerIsRefusedAtOnceByReaderAndWriter) {
  ASSERT_EQ(::mkfifo(Path().c_str(), 0660), 0);
  const pid_t reader = ::fork();
  ASSERT_GE(reader, 0);
  if (reader == 0) {
    ::alarm(5);  // a reader that blocks dies here, and the test sees the signal
    std::vector<LedgerEntry> entries;
    std::vector<size_t> damaged;
    std::string error;
    const bool read = ReadLedger(Path(), &entries, &damaged, &error);
    ::_exit(!read && !error.empty() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(reader, &status, 0), reader);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_NE(AppendLedgerEntry(Path(), Entry("Acme", ConsentKind::kRead)), 0);
  ::unlink(Path().c_str());
}

// A ledger blown up to hundreds of megabytes of zeros (by a member of the group, or a
// file system that lost its end) is read in bounded memory: the giant line is skipped,
// the record after it still read.
TEST_F(DisclosureLedgerTest, AGiantLineIsSkippedWithoutHoldingItInMemory) {
  {
    std::ofstream out(Path());
    out << LedgerLine(Entry("Before", ConsentKind::kRead)) << "\n";
  }
  constexpr off_t kGiant = 256 << 20;
  const off_t start = static_cast<off_t>(LedgerLine(Entry("Before", ConsentKind::kRead)).size() + 1);
  ASSERT_EQ(::truncate(Path().c_str(), start + kGiant), 0);  // sparse: zeros, no disk
  ASSERT_EQ(AppendLedgerEntry(Path(), Entry("After", ConsentKind::kWrite)), 0);
  const pid_t reader = ::fork();
  ASSERT_GE(reader, 0);
  if (reader == 0) {
    // A quarter of the giant line's size above what the process already maps.
    std::ifstream statm("/proc/self/statm");
    unsigned long pages = 0;
    statm >> pages;
    const rlim_t limit = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + kGiant / 4;
    const rlimit bound{limit, limit};
    ::setrlimit(RLIMIT_AS, &bound);
    try {
      std::vector<LedgerEntry> entries;
      std::vector<size_t> damaged;
      std::string error;
      const bool read = ReadLedger(Path(), &entries, &damaged, &error);
      const bool right = read && entries.size() == 2 && entries[0].company == "Before" &&
                         entries[1].company == "After" && damaged == std::vector<size_t>{2};
      ::_exit(right ? 0 : 1);
    } catch (...) {
      ::_exit(2);  // out of memory: the line was held whole
    }
  }
  int status = 0;
  ASSERT_EQ(::waitpid(reader, &status, 0), reader);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  ::unlink(Path().c_str());
}

TEST_F(DisclosureLedgerTest, AHugeDialogStillLeavesOneLineThatSaysHowMuchWasLeftOut) {
  LedgerEntry entry = Entry("Acme", ConsentKind::kWrite);
  entry.fields.assign(5000, std::string(400, 'f'));
  entry.shares.assign(5000, "shared");
  const std::string line = LedgerLine(entry);
  EXPECT_LE(line.size(), kMaxConsentLineLength);
  const std::optional<JsonValue> parsed = ParseJson(line);
  ASSERT_TRUE(parsed);
  ASSERT_NE(parsed->Find("omitted"), nullptr);
  EXPECT_EQ(parsed->Find("omitted")->integer() + static_cast<int64_t>(parsed->Find("fields")->items().size()), 5000);
  ASSERT_EQ(AppendLedgerEntry(Path(), entry), 0);
  std::vector<size_t> damaged;
  const std::vector<LedgerEntry> read = Read(&damaged);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_TRUE(damaged.empty());
  // What was left out is still known when the line is read back, and written out again
  // (lumora-admin ledger --json) the line says the same.
  EXPECT_EQ(read[0].fields.size() + read[0].omitted, 5000u);
  EXPECT_EQ(LedgerLine(read[0]), line);
}

}  // namespace
}  // namespace lumora
