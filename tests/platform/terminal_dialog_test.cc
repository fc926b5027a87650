// The terminal dialog as a person sees it on a real pseudo-terminal of a given size: the
// table fits the width, the message and the company's name stand out, and nothing the
// calling program wrote can slip an escape sequence of its own between our marks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <sstream>
#include <thread>

#include "platform/ui/terminal_presenter.h"

namespace lumora {
namespace {

// The characters a line shows: our own marks (ESC [ ... m) take no room.
size_t ShownWidth(const std::string& line) {
  size_t width = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\x1b' && i + 1 < line.size() && line[i + 1] == '[') {
      i = line.find('m', i);
      if (i == std::string::npos) break;
      continue;
    }
    width += (static_cast<unsigned char>(line[i]) & 0xC0) != 0x80 ? 1 : 0;
  }
  return width;
}

class ScopedTerm {
 public:
  explicit ScopedTerm(const char* value) {
    if (const char* old = std::getenv("TERM")) m_old = old;
    ::setenv("TERM", value, 1);
  }
  ~ScopedTerm() {
    if (m_old.empty()) {
      ::unsetenv("TERM");
    } else {
      ::setenv("TERM", m_old.c_str(), 1);
    }
  }

 private:
  std::string m_old;
};

TEST(TerminalDialogTest, TheTableFitsTheTerminalAndTheMessageAndCompanyStandOut) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) GTEST_SKIP() << "this machine gives no pseudo-terminal";
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string slave = ptsname(master);
  winsize size{};
  size.ws_col = 52;
  size.ws_row = 40;
  ASSERT_EQ(::ioctl(master, TIOCSWINSZ, &size), 0);
  ScopedTerm term("xterm-256color");

  ConsentDialogModel model;
  model.kind = ConsentKind::kRead;
  model.caption = "Lumora Profile Request";
  model.company = "Acme\x1b[31m Ltd";
  model.texts = {{206, "Tailored \x1b[8madvice"},
                 {207, "Acme\x1b[31m Ltd has requested the information listed below. Allow Acme\x1b[31m Ltd?"},
                 {202, "What is Lumora?"},
                 {1, "Allow"},
                 {2, "Deny"}};
  model.columns = {{"Field Name", 200}, {"Value", 200}};
  for (int i = 1; i <= 12; ++i) model.rows.push_back({"Field " + std::to_string(i), std::string(80, 'x')});
  TerminalConsentPresenter presenter(slave);
  auto answer = std::async(std::launch::async, [&] { return presenter.Present(model, nullptr); });
  std::string seen;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (seen.find("> ") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd ready{master, POLLIN, 0};
    if (::poll(&ready, 1, 50) <= 0) continue;
    char buffer[4096];
    const ssize_t got = ::read(master, buffer, sizeof buffer);
    if (got > 0) seen.append(buffer, static_cast<size_t>(got));
  }
  ASSERT_EQ(::write(master, "a\n", 2), 2);
  ASSERT_EQ(answer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(answer.get(), ConsentAnswer::kAllow);
  ::close(master);

  const std::string safeCompany = "Acme\xEF\xBF\xBD[31m Ltd";
  EXPECT_NE(seen.find("\x1b[1;34mTailored \xEF\xBF\xBD[8madvice\x1b[0m"), std::string::npos) << seen;
  EXPECT_NE(seen.find("\x1b[1m" + safeCompany + "\x1b[22m has requested"), std::string::npos) << seen;
  // Every escape on the screen is one of our marks.
  for (size_t at = seen.find('\x1b'); at != std::string::npos; at = seen.find('\x1b', at + 1)) {
    const std::string mark = seen.substr(at, seen.find('m', at) - at + 1);
    EXPECT_TRUE(mark == "\x1b[1;34m" || mark == "\x1b[0m" || mark == "\x1b[1m" || mark == "\x1b[22m") << mark;
  }
  std::istringstream lines(seen);
  size_t numbered = 0;
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    EXPECT_LE(ShownWidth(line), 52u) << line;
    if (line.find("xxx") != std::string::npos) {
      ++numbered;
      EXPECT_NE(line.find("x\xE2\x80\xA6"), std::string::npos) << "a long value is cut with an ellipsis: " << line;
    }
  }
  EXPECT_EQ(numbered, 12u);
  EXPECT_NE(seen.find("\r\n  12  Field 12"), std::string::npos) << "rows numbered from 1, right-aligned";
  EXPECT_NE(seen.find("Type a letter and Enter."), std::string::npos);
}

}  // namespace
}  // namespace lumora
