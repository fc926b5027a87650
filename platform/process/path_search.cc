// Canonical paths and the library search.
#include "path_search.h"

#include <fcntl.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace lumora {
namespace {

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string_view BaseName(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

struct LoadedSearch {
  std::string_view name;
  std::string path;
};

int FindLoaded(dl_phdr_info* info, size_t, void* argument) {
  auto* search = static_cast<LoadedSearch*>(argument);
  if (info->dlpi_name == nullptr || info->dlpi_name[0] != '/') return 0;
  if (BaseName(info->dlpi_name) != search->name) return 0;
  search->path = info->dlpi_name;
  return 1;
}

// The library folders of the dynamic loader's cache (/etc/ld.so.cache, the format glibc
// writes: "glibc-ld.so.cache1.1", entries of flags, key, value, os version and hardware
// capabilities, strings addressed from the start of that table).
bool SearchLoaderCache(std::string_view name, std::string* path) {
  const int fd = ::open("/etc/ld.so.cache", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || info.st_size <= 0) {
    ::close(fd);
    return false;
  }
  const auto size = static_cast<size_t>(info.st_size);
  void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);
  if (mapped == MAP_FAILED) return false;
  const auto* bytes = static_cast<const unsigned char*>(mapped);
  constexpr char kMagic[] = "glibc-ld.so.cache1.1";
  constexpr size_t kMagicLength = sizeof kMagic - 1;
  constexpr size_t kHeader = kMagicLength + 4 * 3 + 4 * 4;  // magic, counts and flags, extension, unused
  constexpr size_t kEntry = 4 + 4 + 4 + 4 + 8;
#if defined(__x86_64__)
  constexpr int32_t kArchitecture = 0x0300;  // FLAG_X8664_LIB64
#elif defined(__aarch64__)
  constexpr int32_t kArchitecture = 0x0a00;  // FLAG_AARCH64_LIB64
#else
  constexpr int32_t kArchitecture = -1;
#endif
  bool found = false;
  // An old-format table may come first; the new one starts at its magic.
  const void* start = ::memmem(bytes, size, kMagic, kMagicLength);
  if (start != nullptr) {
    const size_t offset = static_cast<size_t>(static_cast<const unsigned char*>(start) - bytes);
    uint32_t count = 0;
    if (size - offset >= kHeader) std::memcpy(&count, bytes + offset + kMagicLength, 4);
    for (uint32_t i = 0; i < count && !found; ++i) {
      const size_t entry = offset + kHeader + size_t{i} * kEntry;
      if (entry + kEntry > size) break;
      int32_t flags = 0;
      uint32_t key = 0;
      uint32_t value = 0;
      std::memcpy(&flags, bytes + entry, 4);
      std::memcpy(&key, bytes + entry + 4, 4);
      std::memcpy(&value, bytes + entry + 8, 4);
      if (kArchitecture >= 0 && (flags & 0xFF00) != kArchitecture) continue;
      if (key >= size - offset || value >= size - offset) continue;
      const auto* keyText = reinterpret_cast<const char*>(bytes + offset + key);
      const size_t keyLength = strnlen(keyText, size - offset - key);
      if (std::string_view(keyText, keyLength) != name) continue;
      const auto* valueText = reinterpret_cast<const char*>(bytes + offset + value);
      std::string candidate(valueText, strnlen(valueText, size - offset - value));
      if (IsRegularFile(candidate)) {
        *path = std::move(candidate);
        found = true;
      }
    }
  }
  ::munmap(mapped, size);
  return found;
}

bool SearchFolders(std::string_view folders, std::string_view name, std::string* path) {
  while (!folders.empty()) {
    const size_t separator = folders.find_first_of(":;");
    std::string_view folder = folders.substr(0, separator);
    folders = separator == std::string_view::npos ? std::string_view() : folders.substr(separator + 1);
    if (folder.empty()) continue;
    std::string candidate = std::string(folder) + "/" + std::string(name);
    if (IsRegularFile(candidate)) {
      *path = std::move(candidate);
      return true;
    }
  }
  return false;
}

}  // namespace

std::string CanonicalPath(std::string_view path) {
  const std::string text(path);
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(text.c_str(), nullptr), &std::free);
  return resolved ? std::string(resolved.get()) : text;
}

bool SearchLibraryPath(std::string_view name, std::string* path) {
  if (name.empty() || name.find('/') != std::string_view::npos) return false;
  LoadedSearch loaded{name, {}};
  dl_iterate_phdr(&FindLoaded, &loaded);
  std::string found = loaded.path;
  if (found.empty()) {
    const char* libraryPath = std::getenv("LD_LIBRARY_PATH");
    if (!(libraryPath != nullptr && SearchFolders(libraryPath, name, &found)) && !SearchLoaderCache(name, &found) &&
        !SearchFolders(
#if defined(__x86_64__)
            "/lib/x86_64-linux-gnu:/usr/lib/x86_64-linux-gnu:"
#elif defined(__aarch64__)
            "/lib/aarch64-linux-gnu:/usr/lib/aarch64-linux-gnu:"
#endif
            "/lib64:/usr/lib64:/lib:/usr/lib",
            name, &found)) {
      return false;
    }
  }
  *path = std::move(found);
  return true;
}

}  // namespace lumora
