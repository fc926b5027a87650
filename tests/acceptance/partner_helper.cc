// The partner program's own library, left unsigned: calls that go through it reach the
// component with this library nearest to the call.
#include "lumora/profile.h"
#include "lumora/values.h"

extern "C" __attribute__((visibility("default"))) long PartnerHelperGrant(IPRProfile* profile, const char* section) {
  lumora::Bstr name = lumora::Bstr::FromUtf8(section);
  const HRESULT hr = profile->GrantSectionAccess(name.get());
  // Used after the call, so the compiler cannot make it a tail call that would take this
  // library's frame off the call chain.
  asm volatile("" ::: "memory");
  return hr;
}
