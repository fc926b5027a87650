// Test support implementation.
#include "temp_home.h"

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

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

HRESULT TempHome::RegisterServer(const std::string& libraryPath) const {
  void* library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  auto registerServer = reinterpret_cast<PFN_DllRegisterServer>(dlsym(library, "DllRegisterServer"));
  const HRESULT hr = registerServer != nullptr ? registerServer() : CO_E_ERRORINDLL;
  dlclose(library);
  return hr;
}

HRESULT TempHome::RegisterServices() const { return RegisterServer(LUMORA_SERVICES_LIBRARY); }

TraceCapture::TraceCapture() { SetTraceSink(&TraceCapture::Sink, this); }

TraceCapture::~TraceCapture() { SetTraceSink(nullptr, nullptr); }

void TraceCapture::Sink(const char* text, void* context) {
  static_cast<TraceCapture*>(context)->m_texts.emplace_back(text);
}

int RunProgram(const std::vector<std::string>& argv, std::string* output) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
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
  std::string text;
  char buffer[4096];
  ssize_t n = 0;
  while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (output != nullptr) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace lumora::testing
