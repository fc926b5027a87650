// The platform version and the thread's waiting, as the component asks for them. This
// platform is none of the Windows families: its version reports "other". There is no
// window message queue: pumping one message finds none. Any thread.
#ifndef LUMORA_PLATFORM_PROCESS_SYSTEM_INFO_H_
#define LUMORA_PLATFORM_PROCESS_SYSTEM_INFO_H_

#include "lumora/automation.h"

inline constexpr DWORD VER_PLATFORM_WIN32s = 0;
inline constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
inline constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
// Our own value: a platform outside the Windows families.
inline constexpr DWORD VER_PLATFORM_OTHER = 0x100;

struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  char szCSDVersion[128];
};

// Fills the kernel's release numbers and VER_PLATFORM_OTHER. FALSE (ERROR_INVALID_PARAMETER)
// for a null pointer or a wrong dwOSVersionInfoSize.
BOOL GetVersionExA(OSVERSIONINFOA* info);
void Sleep(DWORD milliseconds);
// Handles one waiting window message, if any; this platform has none, so it does nothing
// and answers that no quit message arrived.
bool PumpOneWindowMessage();

#endif  // LUMORA_PLATFORM_PROCESS_SYSTEM_INFO_H_
