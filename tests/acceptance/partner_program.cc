// A partner program, as a company would write one: it links only the object runtime,
// creates the profile object by its program identifier and works through its interfaces.
// Signed at test time with the test companies' certificates. Each argument group is one
// step; each step prints one line "<step>: 0x<result>" and the program exits 0.
//   grant SECTION            GrantSectionAccess through the interface
//   grant-dispid SECTION     the same through IDispatch::Invoke with dispid 10
//   grant-name SECTION       the same through IDispatch, the dispid looked up by name
//   grant-helper SECTION     the same from inside the program's own (unsigned) library
//   create                   creation only
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "lumora/profile.h"
#include "lumora/values.h"

using namespace lumora;

extern "C" long PartnerHelperGrant(IPRProfile* profile, const char* section);

namespace {

void Report(const char* step, HRESULT hr) { std::printf("%s: 0x%08X\n", step, static_cast<unsigned>(hr)); }

HRESULT InvokeGrant(IPRProfile* profile, const std::string& section, bool byName) {
  ComPtr<IDispatch> dispatch;
  HRESULT hr = profile->QueryInterface(IID_IDispatch, dispatch.put_void());
  if (FAILED(hr)) return hr;
  DISPID dispid = 10;
  if (byName) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"GrantSectionAccess")};
    hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
    if (FAILED(hr)) return hr;
  }
  Variant argument = Variant::Utf8(section);
  DISPPARAMS params{argument.get(), nullptr, 1, 0};
  EXCEPINFO info{};
  Variant result;
  hr = dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.get(), &info, nullptr);
  return hr == DISP_E_EXCEPTION ? info.scode : hr;
}

}  // namespace

#ifndef LUMORA_PARTNER_VARIANT
#define LUMORA_PARTNER_VARIANT 1
#endif
// Which build of the program this is: two builds make two different signed programs.
extern "C" __attribute__((used)) const int kPartnerVariant = LUMORA_PARTNER_VARIANT;

int main(int argc, char** argv) {
  ComPtr<IPRProfile> profile;
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(u"PRProfile.PRProfile", &clsid);
  if (SUCCEEDED(hr)) hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPRProfile, profile.put_void());
  Report("create", hr);
  if (FAILED(hr)) return 0;
  for (int i = 1; i < argc; ++i) {
    const std::string step = argv[i];
    const std::string argument = i + 1 < argc ? argv[i + 1] : "";
    if (step == "create") continue;
    ++i;
    if (step == "grant") {
      Bstr section = Bstr::FromUtf8(argument);
      hr = profile->GrantSectionAccess(section.get());
    } else if (step == "grant-dispid") {
      hr = InvokeGrant(profile.get(), argument, false);
    } else if (step == "grant-name") {
      hr = InvokeGrant(profile.get(), argument, true);
    } else if (step == "grant-helper") {
      hr = static_cast<HRESULT>(PartnerHelperGrant(profile.get(), argument.c_str()));
    } else {
      std::fprintf(stderr, "unknown step %s\n", step.c_str());
      return 2;
    }
    Report(step.c_str(), hr);
  }
  std::fflush(stdout);
  return 0;
}
