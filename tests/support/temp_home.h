// Test support: a fresh LUMORA_HOME folder for one test, removed afterwards, with the
// companion services registered in it on request; and a capture of trace texts.
#ifndef LUMORA_TESTS_SUPPORT_TEMP_HOME_H_
#define LUMORA_TESTS_SUPPORT_TEMP_HOME_H_

#include <string>
#include <vector>

#include "lumora/automation.h"

namespace lumora::testing {

class TempHome {
 public:
  TempHome();
  ~TempHome();
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;

  const std::string& path() const { return m_path; }
  // Runs DllRegisterServer of the library at `libraryPath` with this home in effect.
  HRESULT RegisterServer(const std::string& libraryPath) const;
  HRESULT RegisterServices() const;

 private:
  std::string m_path;
  std::string m_previous;
  bool m_hadPrevious = false;
};

// Collects every trace text while it lives.
class TraceCapture {
 public:
  TraceCapture();
  ~TraceCapture();
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;
  const std::vector<std::string>& texts() const { return m_texts; }

 private:
  static void Sink(const char* text, void* context);
  std::vector<std::string> m_texts;
};

// A program started with arguments; killed if still running when the object goes.
class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // Waits for the end; its exit code (128 + signal when killed), its output in *output.
  int Finish(std::string* output = nullptr);
  void Kill();

 private:
  int m_pid = -1;
  int m_stdout = -1;
  int m_status = -1;
};

// Runs a program with arguments, waits, and returns its exit code; its standard output
// goes to *output when given.
int RunProgram(const std::vector<std::string>& argv, std::string* output = nullptr);

}  // namespace lumora::testing

#endif  // LUMORA_TESTS_SUPPORT_TEMP_HOME_H_
