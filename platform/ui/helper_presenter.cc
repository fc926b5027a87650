// The helper presenter: fork and exec of the dialog program, the dialog written to its
// input and its answer read from its output under one deadline, the child always reaped.
#include "helper_presenter.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>

#include "consent_json.h"

extern char** environ;

namespace lumora {
namespace {

using Clock = std::chrono::steady_clock;

// Variables the helper may inherit as they are: how to reach the user's desktop and its
// accessibility bus, and the user's language. Anything else (library and plugin paths,
// style sheets, scale factors) could change what the dialog runs or shows.
constexpr std::string_view kPassedVariables[] = {
    "DISPLAY",
    "WAYLAND_DISPLAY",
    "XAUTHORITY",
    "XDG_RUNTIME_DIR",
    "XDG_CURRENT_DESKTOP",
    "XDG_SESSION_TYPE",
    "DBUS_SESSION_BUS_ADDRESS",
    "HOME",
    "LANG",
    "LANGUAGE",
    "LC_ALL",
    "LC_CTYPE",
    "LC_MESSAGES",
    "QT_LINUX_ACCESSIBILITY_ALWAYS_ON",
};
// The window-system back ends the helper may be asked to use; others (a VNC server, a
// frame buffer) would show the dialog to someone other than the user at the desktop.
constexpr std::string_view kPlatforms[] = {"xcb", "wayland", "offscreen"};

class Fd {
 public:
  explicit Fd(int fd = -1) : m_fd(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return m_fd; }
  void reset(int fd = -1) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
  }

 private:
  int m_fd;
};

// SIGPIPE blocked on this thread while the dialog is written, so that a helper that
// died early cannot kill the calling program; a SIGPIPE this write raised is taken back.
class NoSigPipe {
 public:
  NoSigPipe() {
    sigemptyset(&m_pipe);
    sigaddset(&m_pipe, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    m_wasPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &m_pipe, &m_old);
  }
  ~NoSigPipe() {
    if (!m_wasPending) {
      const timespec zero{};
      while (sigtimedwait(&m_pipe, nullptr, &zero) == SIGPIPE) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
  }
  NoSigPipe(const NoSigPipe&) = delete;
  NoSigPipe& operator=(const NoSigPipe&) = delete;

 private:
  sigset_t m_pipe{};
  sigset_t m_old{};
  bool m_wasPending = false;
};

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 60 * 60 * 1000));
}

// Waits for the child to end until the deadline, then kills it (*killed); the child is
// always reaped. The exit status, or nothing when the child had to be killed or was
// reaped by someone else (a program that ignores SIGCHLD).
std::optional<int> Reap(pid_t pid, Clock::time_point deadline, bool* killed) {
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return status;
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) return std::nullopt;
    if (Clock::now() >= deadline) break;
    ::usleep(10 * 1000);
  }
  *killed = true;
  ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> ConsentHelperEnvironment(const std::vector<std::string>& environment) {
  std::vector<std::string> kept = {"PATH=/usr/bin:/bin"};
  for (const std::string& entry : environment) {
    const size_t equals = entry.find('=');
    if (equals == std::string::npos) continue;
    const std::string_view name = std::string_view(entry).substr(0, equals);
    const std::string_view value = std::string_view(entry).substr(equals + 1);
    const bool passed =
        std::find(std::begin(kPassedVariables), std::end(kPassedVariables), name) != std::end(kPassedVariables);
    const bool platform = name == "QT_QPA_PLATFORM" &&
                          std::find(std::begin(kPlatforms), std::end(kPlatforms), value) != std::end(kPlatforms);
    if (!passed && !platform) continue;
    // One entry per name: a doubled variable could mean one thing here and another to
    // the helper.
    const bool seen = std::any_of(kept.begin(), kept.end(), [&](const std::string& each) {
      return each.compare(0, name.size() + 1, std::string(name) + "=") == 0;
    });
    if (!seen) kept.push_back(entry);
  }
  return kept;
}

bool HelperConsentPresenter::Installed(const std::string& program) {
  // A folder passes the execute test (it is searchable) but can never be run.
  struct stat info {};
  return !program.empty() && ::stat(program.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(program.c_str(), X_OK) == 0;
}

ConsentAnswer HelperConsentPresenter::Present(const ConsentDialogModel& model, ConsentDialogActions* actions) {
  if (model.rows.empty()) return ConsentAnswer::kAllow;
  std::string dialog =
      WriteJson(ConsentDialogForProgram(model, actions != nullptr ? actions->CurrentRows() : model.rows));
  if (dialog.size() > kMaxConsentLineLength) return ConsentAnswer::kDeny;
  dialog.push_back('\n');

  // Everything the child needs is made before the fork: after it, only calls that are
  // safe in a copy of a process that may have other threads.
  std::vector<std::string> inherited;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) inherited.emplace_back(*entry);
  const std::vector<std::string> environment = ConsentHelperEnvironment(inherited);
  std::vector<char*> envp;
  for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);
  char* argv[] = {const_cast<char*>(m_program.c_str()), nullptr};

  int input[2];
  int output[2];
  if (::pipe2(input, O_CLOEXEC) != 0) return ConsentAnswer::kDeny;
  Fd inputRead(input[0]), inputWrite(input[1]);
  if (::pipe2(output, O_CLOEXEC) != 0) return ConsentAnswer::kDeny;
  Fd outputRead(output[0]), outputWrite(output[1]);
  Fd nothing(::open("/dev/null", O_RDWR | O_CLOEXEC));
  if (nothing.get() < 0) return ConsentAnswer::kDeny;

  const Clock::time_point deadline = Clock::now() + m_deadline;
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) return ConsentAnswer::kDeny;
  if (pid == 0) {
    // The child: its three standard descriptors, no other, default signal handling.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &standard, nullptr);
    // A dialog whose asker is gone must not stay on the screen to be answered for
    // nothing: the helper dies with the thread that waits for it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    if (::dup2(inputRead.get(), 0) < 0 || ::dup2(outputWrite.get(), 1) < 0 || ::dup2(nothing.get(), 2) < 0) {
      ::_exit(127);
    }
    ::close_range(3, ~0U, 0);
    ::execve(argv[0], argv, envp.data());
    ::_exit(127);
  }
  inputRead.reset();
  outputWrite.reset();
  ::fcntl(inputWrite.get(), F_SETFL, O_NONBLOCK);

  // The dialog goes in and the answer comes out at the same time, so that a helper that
  // answers before reading everything cannot stall either side.
  std::string answer;
  bool tooLong = false;
  bool timedOut = false;
  {
    NoSigPipe noSigPipe;
    std::string_view rest = dialog;
    while (outputRead.get() >= 0) {
      pollfd fds[2] = {{outputRead.get(), POLLIN, 0}, {inputWrite.get(), POLLOUT, 0}};
      const nfds_t count = inputWrite.get() >= 0 ? 2 : 1;
      const int ready = ::poll(fds, count, MillisecondsLeft(deadline));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) {
        timedOut = ready == 0;
        break;
      }
      if (count == 2 && fds[1].revents != 0) {
        const ssize_t put = ::write(inputWrite.get(), rest.data(), rest.size());
        if (put > 0) rest.remove_prefix(static_cast<size_t>(put));
        if ((put < 0 && errno != EAGAIN && errno != EINTR) || rest.empty()) inputWrite.reset();
      }
      if (fds[0].revents != 0) {
        char buffer[4096];
        const ssize_t got = ::read(outputRead.get(), buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got <= 0) {
          outputRead.reset();
          break;
        }
        answer.append(buffer, static_cast<size_t>(got));
        if (answer.size() > kMaxConsentLineLength + 1) {
          tooLong = true;
          break;
        }
      }
    }
    inputWrite.reset();
  }
  // A helper that overran the deadline or flooded its output is not waited for.
  bool killed = false;
  const std::optional<int> status = Reap(pid, timedOut || tooLong ? Clock::now() : deadline, &killed);
  if (timedOut || tooLong || killed || outputRead.get() >= 0) return ConsentAnswer::kDeny;
  if (status && (!WIFEXITED(*status) || WEXITSTATUS(*status) != 0)) return ConsentAnswer::kDeny;
  // Exactly one line.
  if (answer.empty() || answer.back() != '\n') return ConsentAnswer::kDeny;
  answer.pop_back();
  if (answer.find('\n') != std::string::npos) return ConsentAnswer::kDeny;
  std::string error;
  const std::optional<ConsentReply> reply = ApplyConsentReply(answer, model, actions, &error);
  return reply ? reply->answer : ConsentAnswer::kDeny;
}

}  // namespace lumora
