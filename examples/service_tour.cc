// lumora-service-tour: the smallest end-to-end program of the product. It makes a fresh
// state folder, registers the companion services there, creates each one by its program
// identifier through the registry, uses it, and shows what it did.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

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
      "usage: lumora-service-tour [--home DIR] [--services LIBRARY]\n"
      "  Registers the companion services in DIR (default: a new temporary folder),\n"
      "  creates each by program id and exercises it.\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::string home;
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
    } else {
      std::fprintf(stderr, "lumora-service-tour: unknown argument '%s'\n", arg.c_str());
      Usage();
      return 2;
    }
  }
  if (home.empty()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "lumora-tour-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return Fail("making a state folder", E_FAIL);
    home = pattern;
  }
  setenv("LUMORA_HOME", home.c_str(), 1);
  std::printf("state folder: %s\n", home.c_str());

  HRESULT hr = RegisterServerLibrary(services);
  if (FAILED(hr)) return Fail(("registering the services of " + services.string()).c_str(), hr);
  std::printf("registered: %s\n", services.c_str());

  ComPtr<ILumoraSettings> settings;
  if (FAILED(hr = CreateByProgId(u"Lumora.Settings", &settings))) return Fail("creating Lumora.Settings", hr);
  const std::string databasePath = home + "/profile.db";
  if (FAILED(hr = settings->PutSetting(2, Bstr::FromUtf8(databasePath).get()))) return Fail("PutSetting", hr);
  Bstr value;
  if (FAILED(hr = settings->GetSetting(2, value.put()))) return Fail("GetSetting", hr);
  std::printf("Lumora.Settings: setting 2 = %s\n", value.ToUtf8().c_str());
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
  std::printf("Lumora.StoredVariables: tour/greeting = %s\n", value.ToUtf8().c_str());
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
  std::printf("Lumora.Notification: %d notice(s), %d change record(s)\n", notices, changes);
  notification.reset();

  ComPtr<ILumoraChangeSink> sink;
  if (FAILED(hr = CreateByProgId(u"Lumora.ChangeSink", &sink))) return Fail("creating Lumora.ChangeSink", hr);
  Variant ukis = Variant::Array(SafeArray::OfStrings({"com.example.tour.nickname", "com.example.tour.age"}), VT_BSTR);
  if (FAILED(hr = sink->ProfileChanged(*ukis.get()))) return Fail("ProfileChanged", hr);
  LONG batches = 0;
  sink->GetBatchCount(&batches);
  std::printf("Lumora.ChangeSink: %d batch(es) of changed ukis\n", batches);
  sink.reset();

  CoFreeUnusedLibraries();
  std::printf("files:");
  for (const auto& entry : std::filesystem::directory_iterator(home)) {
    if (entry.is_regular_file() && entry.path().extension() == ".jsonl") {
      std::printf(" %s", entry.path().filename().c_str());
    }
  }
  std::printf("\ndone\n");
  return 0;
}
