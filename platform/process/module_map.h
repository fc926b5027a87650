// Which loaded module holds a code address, and that module's file. A module is the main
// program or a shared library the dynamic loader mapped; an address holds to a module
// when it lies inside one of the module's loadable segments. Files are named by their
// canonical path (the main program's through /proc/self/exe). Any thread.
#ifndef LUMORA_PLATFORM_PROCESS_MODULE_MAP_H_
#define LUMORA_PLATFORM_PROCESS_MODULE_MAP_H_

#include <cstdint>
#include <string>
#include <vector>

namespace lumora {

struct LoadedModule {
  std::string path;  // canonical path of the module's file
  uintptr_t base;    // load address
};

// The module whose loadable segments hold `address`; false when none does (an address
// in anonymous memory, or no address at all).
bool MapAddressToModule(uintptr_t address, LoadedModule* module);

// The canonical paths of all loaded modules, the main program first, in load order.
std::vector<std::string> LoadedModulePaths();

}  // namespace lumora

#endif  // LUMORA_PLATFORM_PROCESS_MODULE_MAP_H_
