// A real German locale (decimal comma, "de_DE.UTF-8") switched on for one test, as a
// host program such as any Qt application switches it on. When the machine has no such
// locale, one is made once with localedef into a folder shared by the test processes
// and found through LOCPATH. The process locale is "C" again afterwards.
#ifndef LUMORA_TESTS_STORE_GERMAN_LOCALE_H_
#define LUMORA_TESTS_STORE_GERMAN_LOCALE_H_

#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace lumora::testing {

class GermanLocale {
 public:
  static constexpr const char* kName = "de_DE.UTF-8";

  GermanLocale() {
    if (const char* old = std::getenv("LOCPATH")) m_oldLocpath = old;
    if (std::setlocale(LC_ALL, kName) != nullptr) {
      m_active = true;
      return;
    }
    const std::filesystem::path cache =
        std::filesystem::temp_directory_path() / ("lumora-locales-" + std::to_string(getuid()));
    if (!std::filesystem::exists(cache / kName) && !Make(cache)) return;
    setenv("LOCPATH", cache.c_str(), 1);
    m_active = std::setlocale(LC_ALL, kName) != nullptr;
    if (!m_active) m_why = "the locale made in " + cache.string() + " cannot be used";
  }
  ~GermanLocale() {
    std::setlocale(LC_ALL, "C");
    if (m_oldLocpath.empty()) {
      unsetenv("LOCPATH");
    } else {
      setenv("LOCPATH", m_oldLocpath.c_str(), 1);
    }
  }
  GermanLocale(const GermanLocale&) = delete;
  GermanLocale& operator=(const GermanLocale&) = delete;

  bool active() const { return m_active; }
  // Why the locale could not be had.
  const std::string& why() const { return m_why; }

 private:
  // Compiles the locale into a private folder, then moves it into the shared one (a
  // rename, so a test running at the same time sees all of it or nothing).
  bool Make(const std::filesystem::path& cache) {
    std::error_code error;
    std::filesystem::create_directories(cache, error);
    std::string work = (cache / "making-XXXXXX").string();
    if (mkdtemp(work.data()) == nullptr) {
      m_why = "cannot make a folder in " + cache.string();
      return false;
    }
    const std::string command = "localedef -i de_DE -f UTF-8 '" + work + "/" + kName + "' >/dev/null 2>&1";
    std::system(command.c_str());
    const bool made = std::filesystem::exists(std::filesystem::path(work) / kName / "LC_NUMERIC");
    if (made) std::filesystem::rename(std::filesystem::path(work) / kName, cache / kName, error);
    std::filesystem::remove_all(work, error);
    if (!std::filesystem::exists(cache / kName)) {
      m_why = made ? "cannot keep the locale in " + cache.string()
                   : "no de_DE.UTF-8 locale and localedef cannot make one (is the locales package installed?)";
      return false;
    }
    return true;
  }

  bool m_active = false;
  std::string m_why;
  std::string m_oldLocpath;
};

}  // namespace lumora::testing

#endif  // LUMORA_TESTS_STORE_GERMAN_LOCALE_H_
