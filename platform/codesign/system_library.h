// The system libraries of code signatures, loaded by name at run time and asked for their
// entry points by name, as the platform's CRYPT32.DLL, IMAGEHLP.DLL and wintrust.dll are.
// Loads are counted per library. Tests can make a library fail to load or an entry point
// go missing. Any thread.
#ifndef LUMORA_PLATFORM_CODESIGN_SYSTEM_LIBRARY_H_
#define LUMORA_PLATFORM_CODESIGN_SYSTEM_LIBRARY_H_

#include "lumora/automation.h"

using HMODULE = void*;

// Null with the last error ERROR_MOD_NOT_FOUND for an unknown (or failing) library.
HMODULE LoadSystemLibrary(const char* name);
// Null with the last error ERROR_PROC_NOT_FOUND for an unknown (or missing) entry point.
void* GetSystemProcAddress(HMODULE module, const char* name);
BOOL FreeSystemLibrary(HMODULE module);

namespace lumora::codesign {

void SetLibraryLoadFailure(const char* library, bool fail);
void SetMissingEntryPoint(const char* entryPoint, bool missing);
// Whether a test made any library or entry point fail (verdicts are then not remembered).
bool FaultsInjected();
// Loads of `library` not yet freed.
long LoadedCount(const char* library);

}  // namespace lumora::codesign

#endif  // LUMORA_PLATFORM_CODESIGN_SYSTEM_LIBRARY_H_
