// Test support implementation.
#include "temp_home.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "lumora/registry.h"
#include "lumora/trace.h"

namespace lumora::testing {

TempHome::TempHome() {
  std::string pattern = (std::filesystem::temp_directory_path() / "lumora-test-XXXXXX").string();
  m_path = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
  if (const char* previous = std::getenv("LUMORA_HOME")) {
    m_previous = previous;
    m_hadPrevious = true;
  }
  setenv("LUMORA_HOME", m_path.c_str(), 1);
}

TempHome::~TempHome() {
  if (m_hadPrevious) {
    setenv("LUMORA_HOME", m_previous.c_str(), 1);
  } else {
    unsetenv("LUMORA_HOME");
  }
  std::error_code ec;
  if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
}

HRESULT TempHome::RegisterServer(const std::string& libraryPath) const { return RegisterServerLibrary(libraryPath); }

HRESULT TempHome::RegisterServices() const { return RegisterServer(LUMORA_SERVICES_LIBRARY); }

TraceCapture::TraceCapture() { SetTraceSink(&TraceCapture::Sink, this); }

TraceCapture::~TraceCapture() { SetTraceSink(nullptr, nullptr); }

void TraceCapture::Sink(const char* text, void* context) {
  static_cast<TraceCapture*>(context)->m_texts.emplace_back(text);
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return;
  m_pid = fork();
  if (m_pid == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(pipeFds[1]);
  m_stdout = pipeFds[0];
}

ChildProcess::~ChildProcess() {
  if (m_status < 0 && m_pid > 0) {
    Kill();
    Finish();
  }
  if (m_stdout >= 0) close(m_stdout);
}

void ChildProcess::Kill() {
  if (m_pid > 0 && m_status < 0) kill(m_pid, SIGKILL);
}

int ChildProcess::Finish(std::string* output) {
  if (m_pid <= 0) return -1;
  std::string text;
  char buffer[4096];
  ssize_t n = 0;
  while (m_stdout >= 0 && (n = read(m_stdout, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  if (m_status < 0) {
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  if (output != nullptr) *output = text;
  return m_status;
}

int RunProgram(const std::vector<std::string>& argv, std::string* output) { return ChildProcess(argv).Finish(output); }

}  // namespace lumora::testing
