// A client of an installed Lumora Profile: every installed header, the runtime's strings
// and variants, and the profile component created by its program identifier from the
// machine registry (which the installed lumora-admin filled). Prints one line per step.
#include <cstdio>
#include <string>

#include "lumora/automation.h"
#include "lumora/com_ptr.h"
#include "lumora/error.h"
#include "lumora/object.h"
#include "lumora/profile.h"
#include "lumora/profile_private.h"
#include "lumora/registry.h"
#include "lumora/services.h"
#include "lumora/trace.h"
#include "lumora/utf.h"
#include "lumora/values.h"
#include "lumora/winerror.h"

using namespace lumora;

int main() {
  Variant date = Variant::Date(36526.75);
  Variant text;
  const HRESULT converted = VariantChangeType(text.get(), date.get(), 0, VT_BSTR);
  std::printf("convert: 0x%08X %s\n", static_cast<unsigned>(converted),
              SUCCEEDED(converted) ? Bstr::ToUtf8(text->bstrVal).c_str() : "");
  ComPtr<IPRProfile> profile;
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(u"PRProfile.PRProfile", &clsid);
  if (SUCCEEDED(hr)) hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPRProfile, profile.put_void());
  std::printf("create: 0x%08X\n", static_cast<unsigned>(hr));
  if (FAILED(hr)) return 1;
  // An unsigned program may not claim a section.
  hr = profile->GrantSectionAccess(Bstr::FromUtf8("com.example.unsigned").get());
  std::printf("grant: 0x%08X\n", static_cast<unsigned>(hr));
  return 0;
}
