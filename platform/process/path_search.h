// Paths as the process services know them: the canonical form of a path (what stands in
// for the platform's short path: every link resolved, so that two names of one file
// compare equal byte for byte) and the search for a library by name on the dynamic
// loader's search path. Any thread.
#ifndef LUMORA_PLATFORM_PROCESS_PATH_SEARCH_H_
#define LUMORA_PLATFORM_PROCESS_PATH_SEARCH_H_

#include <string>
#include <string_view>

namespace lumora {

// The canonical path of an existing file; a path that cannot be resolved (the file does
// not exist, a folder on the way cannot be read) is returned as it is.
std::string CanonicalPath(std::string_view path);

// Finds the library `name` (a file name such as "libc.so.6", no folder) as the dynamic
// loader would: a loaded module of that name first, then the folders of LD_LIBRARY_PATH,
// the loader's cache and the standard library folders. False when it is found nowhere.
bool SearchLibraryPath(std::string_view name, std::string* path);

}  // namespace lumora

#endif  // LUMORA_PLATFORM_PROCESS_PATH_SEARCH_H_
