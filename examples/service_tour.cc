// lumora-service-tour: the smallest end-to-end program of the product. It makes a fresh
// state folder (or uses the one it is given), registers the companion services there,
// creates each one by its program identifier through the registry, uses it, and says
// what it did in plain words. A folder it made itself is removed at the end unless
// --keep is given.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "lumora/registry.h"
#include "lumora/services.h"
#include "lumora/values.h"

using namespace lumora;

namespace {

int Fail(const char* what, HRESULT hr) {
  std::fprintf(stderr, "lumora-service-tour: %s failed (0x%08X)\n", what, static_cast<unsigned>(hr));
  return 1;
}

template <class I>
HRESULT CreateByProgId(const char16_t* progId, ComPtr<I>* service) {
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(progId, &clsid);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(clsid, nullptr, kServiceContext, IidOf<I>, service->put_void());
}

void Usage() {
  std::printf(
      "usage: lumora-service-tour [--home DIR] [--services LIBRARY] [--keep]\n"
      "  Registers the companion services in DIR (default: a new temporary folder, removed at\n"
      "  the end unless --keep is given), creates each by its name and exercises it.\n");
}

// Removes the state folder the tour made for itself when the tour ends.
class MadeFolder {
 public:
  MadeFolder() = default;
  ~MadeFolder() {
    if (m_path.empty()) return;
    if (m_keep) {
      std::printf("kept: %s\n", m_path.c_str());
      return;
    }
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  MadeFolder(const MadeFolder&) = delete;
  MadeFolder& operator=(const MadeFolder&) = delete;
  void Set(std::string path, bool keep) {
    m_path = std::move(path);
    m_keep = keep;
  }

 private:
  std::string m_path;
  bool m_keep = false;
};

}  // namespace

int main(int argc, char** argv) {
  std::string home;
  bool keep = false;
  std::filesystem::path services =
      std::filesystem::path(ModulePathOf(reinterpret_cast<const void*>(&Usage))).parent_path().parent_path() / "lib" /
      "liblumora-services.so";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      Usage();
      return 0;
    } else if (arg == "--home" && i + 1 < argc) {
      home = argv[++i];
    } else if (arg == "--services" && i + 1 < argc) {
      services = argv[++i];
    } else if (arg == "--keep") {
      keep = true;
    } else {
      std::fprintf(stderr, "lumora-service-tour: unknown argument '%s'\n", arg.c_str());
      Usage();
      return 2;
    }
  }
  MadeFolder made;
  if (home.empty()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "lumora-tour-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return Fail("making a state folder", E_FAIL);
    home = pattern;
    made.Set(home, keep);
  }
  setenv("LUMORA_HOME", home.c_str(), 1);
  std::printf("state folder: %s (every service keeps its data here, in plain files)\n", home.c_str());

  HRESULT hr = RegisterServerLibrary(services);
  if (FAILED(hr)) return Fail(("registering the services of " + services.string()).c_str(), hr);
  std::printf("registered: the four services of %s, so that programs can create them by name\n", services.c_str());

  ComPtr<ILumoraSettings> settings;
  if (FAILED(hr = CreateByProgId(u"Lumora.Settings", &settings))) return Fail("creating Lumora.Settings", hr);
  const std::string databasePath = home + "/profile.db";
  if (FAILED(hr = settings->PutSetting(2, Bstr::FromUtf8(databasePath).get()))) return Fail("PutSetting", hr);
  Bstr value;
  if (FAILED(hr = settings->GetSetting(2, value.put()))) return Fail("GetSetting", hr);
  std::printf("Lumora.Settings: remembered where the profile database lives (setting number 2): %s\n",
              value.ToUtf8().c_str());
  settings.reset();

  ComPtr<ILumoraStoredVariables> variables;
  if (FAILED(hr = CreateByProgId(u"Lumora.StoredVariables", &variables))) {
    return Fail("creating Lumora.StoredVariables", hr);
  }
  if (FAILED(hr = variables->SetStringVariable(Bstr::FromUtf8("tour").get(), Bstr::FromUtf8("greeting").get(),
                                               VARIANT_FALSE, Bstr::FromUtf8("hello").get()))) {
    return Fail("SetStringVariable", hr);
  }
  if (FAILED(hr = variables->GetStringVariable(Bstr::FromUtf8("tour").get(), Bstr::FromUtf8("greeting").get(),
                                               VARIANT_FALSE, value.put()))) {
    return Fail("GetStringVariable", hr);
  }
  std::printf("Lumora.StoredVariables: kept a named value for the component \"tour\" and read it back: greeting = %s\n",
              value.ToUtf8().c_str());
  variables.reset();

  ComPtr<ILumoraNotification> notification;
  if (FAILED(hr = CreateByProgId(u"Lumora.Notification", &notification))) {
    return Fail("creating Lumora.Notification", hr);
  }
  notification->PostNotice(Bstr::FromUtf8("Relationship Settings").get(),
                           Bstr::FromUtf8("The service tour posted this notice.").get());
  notification->RecordProfileChange(Bstr::FromUtf8("Nickname").get(), 1, 1);
  LONG notices = 0, changes = 0;
  notification->GetNoticeCount(&notices);
  notification->GetChangeCount(&changes);
  std::printf(
      "Lumora.Notification: holds %d notice(s) for the user and %d note(s) that a profile entry was made shared or "
      "private\n",
      notices, changes);
  notification.reset();

  ComPtr<ILumoraChangeSink> sink;
  if (FAILED(hr = CreateByProgId(u"Lumora.ChangeSink", &sink))) return Fail("creating Lumora.ChangeSink", hr);
  Variant ukis = Variant::Array(SafeArray::OfStrings({"com.example.tour.nickname", "com.example.tour.age"}), VT_BSTR);
  if (FAILED(hr = sink->ProfileChanged(*ukis.get()))) return Fail("ProfileChanged", hr);
  LONG batches = 0;
  sink->GetBatchCount(&batches);
  std::printf(
      "Lumora.ChangeSink: was told %d time(s) which profile entries a program changed (here: a nickname and an "
      "age)\n",
      batches);
  sink.reset();

  CoFreeUnusedLibraries();
  std::printf("files in the state folder:");
  for (const auto& entry : std::filesystem::directory_iterator(home)) {
    if (entry.is_regular_file() && entry.path().extension() == ".jsonl") {
      std::printf(" %s", entry.path().filename().c_str());
    }
  }
  std::printf("\ndone\n");
  return 0;
}
