// Version query, sleeping and the (absent) message queue.
#include "system_info.h"

#include <sys/utsname.h>

#include <chrono>
#include <cstdio>
#include <thread>

BOOL GetVersionExA(OSVERSIONINFOA* info) {
  if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  utsname name{};
  unsigned major = 0;
  unsigned minor = 0;
  unsigned build = 0;
  if (::uname(&name) == 0) std::sscanf(name.release, "%u.%u.%u", &major, &minor, &build);
  info->dwMajorVersion = major;
  info->dwMinorVersion = minor;
  info->dwBuildNumber = build;
  info->dwPlatformId = VER_PLATFORM_OTHER;
  info->szCSDVersion[0] = '\0';
  return TRUE;
}

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

bool PumpOneWindowMessage() { return false; }
