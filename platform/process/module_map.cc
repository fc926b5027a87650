// Address-to-module mapping over the dynamic loader's list of loaded objects.
#include "module_map.h"

#include <link.h>

#include <map>
#include <mutex>

#include "path_search.h"

namespace lumora {
namespace {

// The file behind a loaded object's name: the main program has none, its file is
// /proc/self/exe; the kernel's virtual object has no file and keeps its name. Resolved
// once per name: a walk maps up to a hundred frames, and the caller is checked twice
// on every grant.
std::string FileOf(const char* name) {
  const std::string key = name != nullptr ? name : "";
  static std::mutex mutex;
  static std::map<std::string, std::string> resolved;  // lives as long as the process
  {
    std::lock_guard lock(mutex);
    const auto found = resolved.find(key);
    if (found != resolved.end()) return found->second;
  }
  std::string path = key.empty() ? CanonicalPath("/proc/self/exe") : CanonicalPath(key);
  std::lock_guard lock(mutex);
  return resolved.emplace(key, std::move(path)).first->second;
}

struct Search {
  uintptr_t address;
  std::string name;  // copied while the loader's list holds still
  uintptr_t base;
  bool found;
};

int FindHolder(dl_phdr_info* info, size_t, void* argument) {
  auto* search = static_cast<Search*>(argument);
  for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_LOAD) continue;
    const uintptr_t start = info->dlpi_addr + segment.p_vaddr;
    if (search->address >= start && search->address - start < segment.p_memsz) {
      search->name = info->dlpi_name != nullptr ? info->dlpi_name : "";
      search->base = info->dlpi_addr;
      search->found = true;
      return 1;
    }
  }
  return 0;
}

int CollectName(dl_phdr_info* info, size_t, void* argument) {
  static_cast<std::vector<std::string>*>(argument)->push_back(FileOf(info->dlpi_name));
  return 0;
}

}  // namespace

bool MapAddressToModule(uintptr_t address, LoadedModule* module) {
  Search search{address, {}, 0, false};
  dl_iterate_phdr(&FindHolder, &search);
  if (!search.found) return false;
  module->path = FileOf(search.name.c_str());
  module->base = search.base;
  return true;
}

std::vector<std::string> LoadedModulePaths() {
  std::vector<std::string> paths;
  dl_iterate_phdr(&CollectName, &paths);
  return paths;
}

}  // namespace lumora
