// The terminal presenter: the dialog drawn as text, answers read a line at a time from
// the controlling terminal in its ordinary line mode.
#include "terminal_presenter.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>

#include "utf8_text.h"

namespace lumora {
namespace {

constexpr size_t kDefaultWidth = 80;
constexpr size_t kMinWidth = 40;
constexpr size_t kMaxWidth = 240;
constexpr size_t kMaxAnswerLength = 256;
constexpr char kEllipsis[] = "\xE2\x80\xA6";  // U+2026

// Controls whose texts are buttons rather than paragraphs, with the key that presses them.
struct Button {
  int control;
  const char* key;
};
constexpr Button kButtons[] = {{202, "w"}, {205, "p N"}, {204, "s N"}, {1, "a"}, {2, "d"}};
constexpr int kMessageControl = 206;
constexpr int kSharedButton = 204;

bool IsButton(int control) {
  return std::any_of(std::begin(kButtons), std::end(kButtons), [&](const Button& b) { return b.control == control; });
}

// Code points a terminal acts on rather than shows, or that reorder what is shown.
bool IsUnsafe(uint32_t code) {
  return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x061C || code == 0x200E || code == 0x200F ||
         (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

size_t CharacterCount(std::string_view text) {
  size_t count = 0;
  for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  return count;
}

// The byte length of the first `characters` characters of a valid UTF-8 text.
size_t PrefixBytes(std::string_view text, size_t characters) {
  size_t pos = 0;
  for (size_t seen = 0; pos < text.size(); ++pos) {
    if ((static_cast<unsigned char>(text[pos]) & 0xC0) != 0x80) {
      if (seen == characters) break;
      ++seen;
    }
  }
  return pos;
}

std::string PadTo(std::string text, size_t width) {
  const size_t count = CharacterCount(text);
  if (count < width) text.append(width - count, ' ');
  return text;
}

// The paragraph broken into lines of at most `width` characters, at blanks where it can.
std::vector<std::string> Wrap(std::string_view paragraph, size_t width) {
  std::vector<std::string> lines;
  while (CharacterCount(paragraph) > width) {
    size_t cut = PrefixBytes(paragraph, width);
    const size_t blank = paragraph.substr(0, cut + 1).rfind(' ');
    if (blank != std::string_view::npos && blank > 0) cut = blank;
    lines.emplace_back(paragraph.substr(0, cut));
    paragraph.remove_prefix(cut);
    while (!paragraph.empty() && paragraph.front() == ' ') paragraph.remove_prefix(1);
  }
  lines.emplace_back(paragraph);
  return lines;
}

// Select Graphic Rendition sequences of our own, added after the texts were made safe:
// the message stands out in bold blue (the dialog's own message colour), the company's
// name in bold.
constexpr char kMessageStart[] = "\x1b[1;34m";
constexpr char kBoldStart[] = "\x1b[1m";
constexpr char kBoldEnd[] = "\x1b[22m";
constexpr char kPlain[] = "\x1b[0m";

// How a paragraph is marked on a terminal that shows marks.
struct Marks {
  bool whole = false;   // the message: every line
  std::string company;  // the company's name (safe text) wherever a line holds it whole
};

std::string Marked(const std::string& line, const Marks& marks) {
  if (marks.whole) return line.empty() ? line : kMessageStart + line + kPlain;
  if (marks.company.empty()) return line;
  std::string marked;
  size_t from = 0;
  for (size_t at = line.find(marks.company); at != std::string::npos; at = line.find(marks.company, from)) {
    marked.append(line, from, at - from);
    marked += kBoldStart + marks.company + kBoldEnd;
    from = at + marks.company.size();
  }
  marked.append(line, from);
  return marked;
}

// The text, its line breaks kept, wrapped to `width`; marks go round what is already
// safe and wrapped, so they never count towards the width or split a character.
void AppendParagraphs(std::string* out, std::string_view text, size_t width, const Marks& marks = {}) {
  const std::string safe = TerminalSafeText(text, true);
  std::string_view rest = safe;
  while (true) {
    const size_t end = rest.find('\n');
    for (const std::string& line : Wrap(rest.substr(0, end), width)) *out += Marked(line, marks) + "\n";
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
}

const std::string* TextOf(const ConsentDialogModel& model, int control) {
  for (const auto& [id, text] : model.texts) {
    if (id == control) return &text;
  }
  return nullptr;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t put = ::write(fd, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(put));
  }
  return true;
}

// One line typed on the terminal, without its end; nothing when the terminal closed.
std::optional<std::string> ReadAnswer(int fd) {
  std::string line;
  for (;;) {
    char c = 0;
    const ssize_t got = ::read(fd, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return std::nullopt;
    if (c == '\n') return line;
    if (line.size() < kMaxAnswerLength) line.push_back(c);
  }
}

// "N[,N..]" as row indexes from 0; nothing for anything else or a row the dialog lacks.
std::optional<std::vector<size_t>> RowList(std::string_view text, size_t rowCount) {
  std::vector<size_t> rows;
  while (true) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    size_t number = 0;
    size_t digits = 0;
    while (!text.empty() && text.front() >= '0' && text.front() <= '9' && digits < 9) {
      number = number * 10 + static_cast<size_t>(text.front() - '0');
      text.remove_prefix(1);
      ++digits;
    }
    if (digits == 0 || number == 0 || number > rowCount) return std::nullopt;
    rows.push_back(number - 1);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    if (text.empty()) return rows;
    if (text.front() != ',') return std::nullopt;
    text.remove_prefix(1);
  }
}

// The terminal in its ordinary line mode with echo for as long as the dialog is open,
// whatever mode the program left it in; restored afterwards.
class LineMode {
 public:
  explicit LineMode(int fd) : m_fd(fd) {
    if (::tcgetattr(fd, &m_saved) != 0) return;
    m_restore = true;
    termios mode = m_saved;
    mode.c_lflag |= ICANON | ECHO;
    ::tcsetattr(fd, TCSANOW, &mode);
  }
  ~LineMode() {
    if (m_restore) ::tcsetattr(m_fd, TCSANOW, &m_saved);
  }
  LineMode(const LineMode&) = delete;
  LineMode& operator=(const LineMode&) = delete;

 private:
  int m_fd;
  termios m_saved{};
  bool m_restore = false;
};

// Whether the terminal shows bold and colour: any but the dumb one. (The worst a wrong
// guess does is print a few marks.)
bool ShowsMarks() {
  const char* term = std::getenv("TERM");
  return term != nullptr && *term != '\0' && std::string_view(term) != "dumb";
}

}  // namespace

std::string TerminalSafeText(std::string_view text, bool keepLineBreaks) {
  std::string safe;
  safe.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    uint32_t code = 0;
    const size_t length = Utf8Sequence(text, pos, &code);
    if (length == 0) {
      safe += kReplacementCharacter;
      ++pos;
      continue;
    }
    pos += length;
    if (code == '\n' && keepLineBreaks) {
      safe.push_back('\n');
    } else if (code == '\n' || code == '\t' || code == '\r') {
      safe.push_back(' ');
    } else if (IsUnsafe(code)) {
      safe += kReplacementCharacter;
    } else {
      AppendUtf8(&safe, code);
    }
  }
  return safe;
}

std::string FitToWidth(std::string_view text, size_t width) {
  if (CharacterCount(text) <= width) return std::string(text);
  if (width == 0) return {};
  std::string cut(text.substr(0, PrefixBytes(text, width - 1)));
  cut += kEllipsis;
  return cut;
}

std::string DrawConsentDialog(const ConsentDialogModel& model, const std::vector<std::vector<std::string>>& rows,
                              size_t width, bool highlight) {
  width = std::clamp(width, kMinWidth, kMaxWidth);
  std::string out = "\n";
  const std::string caption = FitToWidth(TerminalSafeText(model.caption, false), width - 8);
  out += "== " + caption + " " + std::string(width - 4 - CharacterCount(caption), '=') + "\n";
  for (const auto& [control, text] : model.texts) {
    if (IsButton(control)) continue;
    if (text.find_first_not_of(" \n") == std::string::npos) continue;
    Marks marks;
    if (highlight) {
      marks.whole = control == kMessageControl;
      marks.company = TerminalSafeText(model.company, false);
    }
    AppendParagraphs(&out, text, width, marks);
    out += "\n";
  }

  // The table: row numbers, then the columns in the proportions of their widths.
  const size_t numberWidth = std::to_string(rows.size()).size() + 2;
  const size_t columns = std::max<size_t>(model.columns.size(), 1);
  const size_t room = width > numberWidth + 2 * columns ? width - numberWidth - 2 * columns : columns;
  long totalPixels = 0;
  for (const ConsentColumn& column : model.columns) totalPixels += std::max(column.width, 1);
  std::vector<size_t> widths;
  for (const ConsentColumn& column : model.columns) {
    widths.push_back(std::max<size_t>(
        3, static_cast<size_t>(static_cast<long long>(room) * std::max(column.width, 1) / std::max(totalPixels, 1L))));
  }
  std::string header = std::string(numberWidth - 1, ' ') + "#";
  for (size_t i = 0; i < model.columns.size(); ++i) {
    header += "  " + PadTo(FitToWidth(TerminalSafeText(model.columns[i].header, false), widths[i]), widths[i]);
  }
  const size_t headerWidth = CharacterCount(header);
  out += header + "\n";
  if (headerWidth > numberWidth + 2)
    out += std::string(numberWidth + 2, ' ') + std::string(headerWidth - numberWidth - 2, '-') + "\n";
  for (size_t r = 0; r < rows.size(); ++r) {
    const std::string number = std::to_string(r + 1);
    std::string line = std::string(numberWidth - number.size(), ' ') + number;
    for (size_t i = 0; i < model.columns.size(); ++i) {
      const std::string cell = i < rows[r].size() ? rows[r][i] : std::string();
      line += "  " + PadTo(FitToWidth(TerminalSafeText(cell, false), widths[i]), widths[i]);
    }
    line.erase(line.find_last_not_of(' ') + 1);
    out += line + "\n";
  }
  out += "\n";
  std::string buttons;
  for (const Button& button : kButtons) {
    const std::string* text = TextOf(model, button.control);
    if (text == nullptr) continue;
    buttons += "[" + FitToWidth(TerminalSafeText(*text, false), 40) + " (" + button.key + ")]  ";
  }
  out += buttons + "\n";
  out += model.kind == ConsentKind::kWrite && TextOf(model, kSharedButton) != nullptr
             ? "Type a letter and Enter. To change rows, type s or p and their numbers (s 1,3).\n"
             : "Type a letter and Enter.\n";
  return out;
}

bool TerminalConsentPresenter::Available() {
  const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

ConsentAnswer TerminalConsentPresenter::Present(const ConsentDialogModel& model, ConsentDialogActions* actions) {
  if (model.rows.empty()) return ConsentAnswer::kAllow;
  const int fd = ::open(m_device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return ConsentAnswer::kDeny;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  LineMode lineMode(fd);

  const bool canSetShare = actions != nullptr && model.kind == ConsentKind::kWrite;
  const std::string prompt = canSetShare
                                 ? "a = Allow, d = Deny, p N[,N..] = Private, s N[,N..] = Shared, w = What is it? > "
                                 : "a = Allow, d = Deny, w = What is it? > ";
  bool redraw = true;
  for (;;) {
    if (redraw) {
      winsize size{};
      const size_t width = ::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : kDefaultWidth;
      if (!WriteAll(fd,
                    DrawConsentDialog(model, canSetShare ? actions->CurrentRows() : model.rows, width, ShowsMarks()))) {
        return ConsentAnswer::kDeny;
      }
      redraw = false;
    }
    // Whatever was typed (or pushed into the terminal) before the question stood on the
    // screen is no answer to it.
    ::tcflush(fd, TCIFLUSH);
    if (!WriteAll(fd, prompt)) return ConsentAnswer::kDeny;
    const std::optional<std::string> line = ReadAnswer(fd);
    if (!line) return ConsentAnswer::kClose;
    std::string answer = TerminalSafeText(*line, false);
    answer.erase(0, answer.find_first_not_of(' '));
    answer.erase(answer.find_last_not_of(' ') + 1);
    if (answer == "a" || answer == "A") return ConsentAnswer::kAllow;
    if (answer == "d" || answer == "D") return ConsentAnswer::kDeny;
    if (answer == "w" || answer == "W") {
      std::string text = "\n== " + TerminalSafeText(model.explanationCaption, false) + " ==\n";
      AppendParagraphs(&text, model.explanation, kDefaultWidth);
      WriteAll(fd, text + "\n");
      continue;
    }
    if (canSetShare && answer.size() > 1 && (answer[0] == 'p' || answer[0] == 's') && answer[1] == ' ') {
      if (const auto rows = RowList(std::string_view(answer).substr(2), model.rows.size())) {
        actions->PressShareButton(*rows, answer[0] == 's');
        redraw = true;
        continue;
      }
    }
    WriteAll(fd, "Please answer with one of the letters shown.\n");
  }
}

}  // namespace lumora
