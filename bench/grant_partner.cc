// A partner's library of realistic size (about 20 MB of code and data), signed at the
// benchmark's start: the program that asks for a section through it is found by the call
// chain walk as this library.
#include "lumora/profile.h"
#include "lumora/values.h"

// Read-only data that makes the file as large as a partner's real program (stored in the
// file, as a program's code and constants are).
asm(".section .rodata.bench_payload,\"a\"\n"
    ".balign 64\n"
    "bench_payload:\n"
    ".fill 20971520, 1, 0x5a\n"
    ".previous\n");

extern "C" __attribute__((visibility("default"))) long BenchGrant(IPRProfile* profile, const char* section) {
  lumora::Bstr name = lumora::Bstr::FromUtf8(section);
  const HRESULT hr = profile->GrantSectionAccess(name.get());
  asm volatile("" ::: "memory");  // no tail call: this library stays on the call chain
  return hr;
}
