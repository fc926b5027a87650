// lumora-admin ledger through the real program: the decisions listed and filtered, the
// summary per company, damaged lines reported but never fatal, and names chosen by a
// calling program never let loose on the administrator's terminal.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/temp_home.h"

namespace lumora {
namespace {

int Admin(const std::vector<std::string>& args, std::string* output, bool withErrors = true) {
  std::string command = std::string("exec ") + LUMORA_ADMIN;
  for (const std::string& arg : args) command += " '" + arg + "'";
  return testing::RunProgram({"/bin/sh", "-c", command + (withErrors ? " 2>&1" : " 2>/dev/null")}, output);
}

class LedgerCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(m_home.path() + "/ledger.jsonl")
        << R"({"time":"2026-12-05T22:10:03Z","kind":"read","company":"Acme\u001b]0;pwned\u0007 Ltd",)"
        << R"("section":"acme","fields":["Name","City"],"answer":"allow"})"
        << "\n"
        << "torn {\"time\n"
        << R"({"time":"2026-12-06T09:00:00Z","kind":"write","company":"Acme\u001b]0;pwned\u0007 Ltd",)"
        << R"("section":"acme","fields":["Field A","Tags[x]"],"shares":["shared",""],"answer":"allow"})"
        << "\n"
        << R"({"time":"2026-12-06T10:00:00Z","kind":"read","company":"Globex","section":"globex",)"
        << R"("fields":["Secret"],"answer":"deny"})"
        << "\n"
        << R"({"time":"2026-12-07T08:00:00Z","kind":"read","company":"Globex","section":"globex",)"
        << R"("fields":["Plan"],"answer":"allow"})"
        << "\n"
        << R"({"time":"2026-12-08T08:00:00Z","kind":"read","company":"Initech","section":"initech",)"
        << R"("fields":["A"],"omitted":7,"answer":"allow"})"
        << "\n";
  }
  testing::TempHome m_home;
};

TEST_F(LedgerCommandTest, ListsFiltersAndSumsUpTheDecisions) {
  std::string out;
  ASSERT_EQ(Admin({"--home", m_home.path(), "ledger"}, &out, false), 0);
  EXPECT_EQ(out.find('\x1b'), std::string::npos) << "no escape sequence reaches the terminal";
  EXPECT_NE(out.find("2026-12-06 09:00:00  write  allow  Acme"), std::string::npos) << out;
  EXPECT_NE(out.find("[acme]: Field A (shared), Tags[x]\n"), std::string::npos) << out;
  EXPECT_NE(out.find("[initech]: A and 7 more\n"), std::string::npos) << "a cut line says so: " << out;

  ASSERT_EQ(Admin({"--home", m_home.path(), "ledger", "--company", "Globex", "--since", "2026-12-07"}, &out), 0);
  EXPECT_EQ(out.substr(out.find("2026")), "2026-12-07 08:00:00  read   allow  Globex [globex]: Plan\n");
  EXPECT_NE(out.find("line 2 is damaged; skipped"), std::string::npos) << out;

  ASSERT_EQ(Admin({"--home", m_home.path(), "ledger", "--by-company"}, &out, false), 0);
  EXPECT_NE(out.find("Globex [globex]\n  allowed to read:   Plan (last 2026-12-07 08:00:00)\n  allowed to change: "
                     "nothing\n  refused:           1 time (last 2026-12-06 10:00:00)\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("  allowed to read:   City, Name (last 2026-12-05 22:10:03)\n  allowed to change: Field A, "
                     "Tags[x] (last 2026-12-06 09:00:00)\n"),
            std::string::npos)
      << out;

  ASSERT_EQ(Admin({"--home", m_home.path(), "ledger", "--json", "--since", "2026-12-06T09:30:00"}, &out, false), 0);
  EXPECT_EQ(out,
            R"({"time":"2026-12-06T10:00:00Z","kind":"read","company":"Globex","section":"globex","fields":["Secret"],)"
            R"("answer":"deny"})"
            "\n"
            R"({"time":"2026-12-07T08:00:00Z","kind":"read","company":"Globex","section":"globex","fields":["Plan"],)"
            R"("answer":"allow"})"
            "\n"
            R"({"time":"2026-12-08T08:00:00Z","kind":"read","company":"Initech","section":"initech","fields":["A"],)"
            R"("omitted":7,"answer":"allow"})"
            "\n");

  // Days a month does not have and clock times no clock shows are refused, not compared
  // as text against the ledger's times.
  for (const char* bad : {"yesterday", "2026-13-01", "2026-12-1", "2026-12-01T25", "2026-02-30", "2026-02-29",
                          "2026-04-31", "2026-12-05T24:00:00", "2026-12-05T23:60", "2026-12-05T12:00:61"}) {
    EXPECT_EQ(Admin({"--home", m_home.path(), "ledger", "--since", bad}, &out), 2) << bad;
  }
  ASSERT_EQ(Admin({"--home", m_home.path(), "ledger", "--since", "2028-02-29T23:59:59"}, &out), 0) << "a leap day";
  testing::TempHome empty;
  ASSERT_EQ(Admin({"--home", empty.path(), "ledger"}, &out), 0);
  EXPECT_EQ(out, "no consent decisions recorded\n");
}

}  // namespace
}  // namespace lumora
