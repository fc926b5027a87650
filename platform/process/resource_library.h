// Resource-only libraries: string resources read out of a PE image's resource section as
// data, without loading or running anything, under the platform's names
// (LoadLibraryExA with LOAD_LIBRARY_AS_DATAFILE, LoadStringA, FreeLibrary). Strings are
// stored as UTF-16 and handed out as UTF-8. A handle is used by one thread at a time.
#ifndef LUMORA_PLATFORM_PROCESS_RESOURCE_LIBRARY_H_
#define LUMORA_PLATFORM_PROCESS_RESOURCE_LIBRARY_H_

#include <optional>
#include <span>
#include <string>

#include "lumora/automation.h"

using HMODULE = void*;

inline constexpr DWORD LOAD_LIBRARY_AS_DATAFILE = 0x00000002;

// Reads the PE image at `path` as data (only LOAD_LIBRARY_AS_DATAFILE is supported).
// Null with the last error set (ERROR_FILE_NOT_FOUND, ERROR_BAD_EXE_FORMAT,
// ERROR_INVALID_PARAMETER) when it cannot be read as an image.
HMODULE LoadLibraryExA(const char* path, void* reserved, DWORD flags);
// The same from image bytes already in memory (they are copied).
HMODULE LoadDataLibraryFromBytes(std::span<const BYTE> image);
// Copies string `id` into `buffer` (at most size - 1 bytes of UTF-8 and a terminator, cut
// at a character boundary) and returns its length; 0 when the image has no such string.
int LoadStringA(HMODULE module, UINT id, char* buffer, int size);
BOOL FreeLibrary(HMODULE module);

namespace lumora {

// String `id` of the image's string table (the first language found), or nothing.
std::optional<std::string> FindStringResource(std::span<const BYTE> image, UINT id);

}  // namespace lumora

#endif  // LUMORA_PLATFORM_PROCESS_RESOURCE_LIBRARY_H_
