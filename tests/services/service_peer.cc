// A second process for the services' tests: performs one service operation named on its
// command line through the registry (LUMORA_HOME is inherited) and prints the result.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "lumora/services.h"
#include "lumora/values.h"

using namespace lumora;

namespace {

template <class I>
ComPtr<I> Create(REFCLSID clsid) {
  ComPtr<I> service;
  const HRESULT hr = CoCreateInstance(clsid, nullptr, kServiceContext, IidOf<I>, service.put_void());
  if (FAILED(hr)) {
    std::fprintf(stderr, "creation failed: %08x\n", static_cast<unsigned>(hr));
    std::exit(2);
  }
  return service;
}

int Report(HRESULT hr) {
  if (FAILED(hr)) {
    std::printf("error %08x\n", static_cast<unsigned>(hr));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return 64;
  const std::string& command = args[0];
  if (command == "put-setting" && args.size() == 3) {
    return Report(
        Create<ILumoraSettings>(CLSID_LumoraSettings)->PutSetting(std::stoi(args[1]), Bstr::FromUtf8(args[2]).get()));
  }
  if (command == "put-settings" && args.size() == 3) {  // ids first .. first+count-1
    auto settings = Create<ILumoraSettings>(CLSID_LumoraSettings);
    for (int id = std::stoi(args[1]), end = id + std::stoi(args[2]); id < end; ++id) {
      const HRESULT hr = settings->PutSetting(id, Bstr::FromUtf8("value " + std::to_string(id)).get());
      if (FAILED(hr)) return Report(hr);
    }
    return 0;
  }
  if (command == "get-setting" && args.size() == 2) {
    Bstr value;
    const HRESULT hr = Create<ILumoraSettings>(CLSID_LumoraSettings)->GetSetting(std::stoi(args[1]), value.put());
    if (SUCCEEDED(hr)) std::printf("%s\n", value.ToUtf8().c_str());
    return Report(hr);
  }
  if (command == "set-string" && args.size() == 4) {
    return Report(Create<ILumoraStoredVariables>(CLSID_LumoraStoredVariables)
                      ->SetStringVariable(Bstr::FromUtf8(args[1]).get(), Bstr::FromUtf8(args[2]).get(), VARIANT_FALSE,
                                          Bstr::FromUtf8(args[3]).get()));
  }
  if (command == "get-string" && args.size() == 3) {
    Bstr value;
    const HRESULT hr = Create<ILumoraStoredVariables>(CLSID_LumoraStoredVariables)
                           ->GetStringVariable(Bstr::FromUtf8(args[1]).get(), Bstr::FromUtf8(args[2]).get(),
                                               VARIANT_FALSE, value.put());
    if (SUCCEEDED(hr)) std::printf("%s\n", value.ToUtf8().c_str());
    return Report(hr);
  }
  if (command == "post-notices" && args.size() == 3) {  // count, title prefix
    auto notification = Create<ILumoraNotification>(CLSID_LumoraNotification);
    for (int i = 0; i < std::stoi(args[1]); ++i) {
      const HRESULT hr =
          notification->PostNotice(Bstr::FromUtf8(args[2] + std::to_string(i)).get(), Bstr::FromUtf8("text").get());
      if (FAILED(hr)) return Report(hr);
    }
    return 0;
  }
  if (command == "record-change" && args.size() == 4) {
    return Report(Create<ILumoraNotification>(CLSID_LumoraNotification)
                      ->RecordProfileChange(Bstr::FromUtf8(args[1]).get(), std::stoi(args[2]), std::stoi(args[3])));
  }
  if (command == "notices") {
    auto notification = Create<ILumoraNotification>(CLSID_LumoraNotification);
    LONG count = 0;
    notification->GetNoticeCount(&count);
    for (LONG i = 0; i < count; ++i) {
      Bstr title, text;
      notification->GetNoticeTitle(i, title.put());
      notification->GetNoticeText(i, text.put());
      std::printf("%s|%s\n", title.ToUtf8().c_str(), text.ToUtf8().c_str());
    }
    return 0;
  }
  if (command == "sink" && args.size() >= 2) {
    const std::vector<std::string> ukis(args.begin() + 1, args.end());
    Variant array = Variant::Array(SafeArray::OfStrings(ukis), VT_BSTR);
    return Report(Create<ILumoraChangeSink>(CLSID_LumoraChangeSink)->ProfileChanged(*array.get()));
  }
  std::fprintf(stderr, "unknown command\n");
  return 64;
}
