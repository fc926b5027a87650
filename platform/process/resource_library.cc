// String resources of PE images. The resource section is a tree: type (RT_STRING), then
// name (a block of 16 strings: string id / 16 + 1), then language, then a data entry
// whose bytes hold the block's 16 strings, each a 16-bit length and that many UTF-16
// units. Every offset read from the file is checked against the file's bounds, and the
// walk goes exactly three levels deep, so no file can make it loop.
#include "resource_library.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "lumora/utf.h"

namespace lumora {
namespace {

constexpr uint32_t kRtString = 6;
constexpr uint32_t kSubdirectory = 0x80000000u;
constexpr int kMaxDepth = 3;

uint32_t Le32(std::span<const BYTE> b, size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 | static_cast<uint32_t>(b[at + 2]) << 16 |
         static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t Le16(std::span<const BYTE> b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

struct Section {
  uint32_t virtualAddress;
  uint32_t virtualSize;
  uint32_t rawSize;
  uint32_t rawOffset;
};

class ImageView {
 public:
  explicit ImageView(std::span<const BYTE> image) : m_image(image) {}

  // Parses the headers; false for bytes that are no PE image.
  bool Parse() {
    if (m_image.size() < 0x40 || m_image[0] != 'M' || m_image[1] != 'Z') return false;
    const size_t pe = Le32(m_image, 0x3C);
    if (pe > m_image.size() || m_image.size() - pe < 24 || std::memcmp(&m_image[pe], "PE\0\0", 4) != 0) return false;
    const uint16_t sections = Le16(m_image, pe + 6);
    const uint16_t optionalSize = Le16(m_image, pe + 20);
    const size_t optional = pe + 24;
    if (optionalSize < 2 || m_image.size() - optional < optionalSize) return false;
    const uint16_t magic = Le16(m_image, optional);
    if (magic != 0x10B && magic != 0x20B) return false;
    const size_t countAt = optional + (magic == 0x20B ? 108 : 92);
    const size_t directories = optional + (magic == 0x20B ? 112 : 96);
    // The resource table is the third data directory.
    if (countAt + 4 > optional + optionalSize || Le32(m_image, countAt) < 3 ||
        directories + 3 * 8 > optional + optionalSize) {
      return false;
    }
    m_resourceRva = Le32(m_image, directories + 2 * 8);
    size_t at = optional + optionalSize;
    for (uint16_t i = 0; i < sections; ++i, at += 40) {
      if (at + 40 > m_image.size()) return false;
      m_sections.push_back(
          {Le32(m_image, at + 12), Le32(m_image, at + 8), Le32(m_image, at + 16), Le32(m_image, at + 20)});
    }
    return true;
  }

  // The file offset of `length` bytes at relative virtual address `rva`, or nothing.
  std::optional<size_t> Offset(uint32_t rva, size_t length) const {
    for (const Section& s : m_sections) {
      if (rva < s.virtualAddress) continue;
      const uint64_t into = rva - s.virtualAddress;
      if (into + length > s.rawSize) continue;
      const uint64_t offset = uint64_t{s.rawOffset} + into;
      if (offset + length > m_image.size()) return std::nullopt;
      return static_cast<size_t>(offset);
    }
    return std::nullopt;
  }

  // The data of the entry with `id` at each level (any language at the last), or nothing.
  std::optional<std::span<const BYTE>> Find(uint32_t type, uint32_t name) const {
    if (m_resourceRva == 0) return std::nullopt;
    uint32_t directory = 0;  // offsets inside the resource section
    const uint32_t path[kMaxDepth] = {type, name, 0};
    for (int level = 0; level < kMaxDepth; ++level) {
      auto header = Offset(m_resourceRva + directory, 16);
      if (!header) return std::nullopt;
      const size_t named = Le16(m_image, *header + 12);
      const size_t ids = Le16(m_image, *header + 14);
      std::optional<uint32_t> next;
      for (size_t i = 0; i < named + ids && !next; ++i) {
        auto entry = Offset(m_resourceRva + directory + 16 + static_cast<uint32_t>(i * 8), 8);
        if (!entry) return std::nullopt;
        const uint32_t entryName = Le32(m_image, *entry);
        const uint32_t target = Le32(m_image, *entry + 4);
        const bool wanted =
            level == kMaxDepth - 1 ? true : (entryName & kSubdirectory) == 0 && entryName == path[level];
        const bool isDirectory = (target & kSubdirectory) != 0;
        if (wanted && isDirectory == (level < kMaxDepth - 1)) next = target & ~kSubdirectory;
      }
      if (!next) return std::nullopt;
      directory = *next;
    }
    auto dataEntry = Offset(m_resourceRva + directory, 16);
    if (!dataEntry) return std::nullopt;
    const uint32_t dataRva = Le32(m_image, *dataEntry);
    const uint32_t dataSize = Le32(m_image, *dataEntry + 4);
    auto data = Offset(dataRva, dataSize);
    if (!data) return std::nullopt;
    return m_image.subspan(*data, dataSize);
  }

 private:
  std::span<const BYTE> m_image;
  std::vector<Section> m_sections;
  uint32_t m_resourceRva = 0;
};

struct DataLibrary {
  std::vector<BYTE> image;
};

}  // namespace

std::optional<std::string> FindStringResource(std::span<const BYTE> image, UINT id) {
  ImageView view(image);
  if (!view.Parse()) return std::nullopt;
  auto block = view.Find(kRtString, id / 16 + 1);
  if (!block) return std::nullopt;
  size_t at = 0;
  for (UINT i = 0; i <= id % 16; ++i) {
    if (at + 2 > block->size()) return std::nullopt;
    const size_t length = Le16(*block, at);
    at += 2;
    if (block->size() - at < length * 2) return std::nullopt;
    if (i == id % 16) {
      if (length == 0) return std::nullopt;
      std::u16string text;
      for (size_t k = 0; k < length; ++k) text.push_back(static_cast<char16_t>(Le16(*block, at + 2 * k)));
      return Utf16ToUtf8(text);
    }
    at += length * 2;
  }
  return std::nullopt;
}

}  // namespace lumora

HMODULE LoadDataLibraryFromBytes(std::span<const BYTE> image) {
  lumora::ImageView view(image);
  if (!view.Parse()) {
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  return new lumora::DataLibrary{std::vector<BYTE>(image.begin(), image.end())};
}

HMODULE LoadLibraryExA(const char* path, void* /*reserved*/, DWORD flags) {
  if (path == nullptr || (flags & LOAD_LIBRARY_AS_DATAFILE) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  std::vector<BYTE> bytes;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (ok) {
    bytes.resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (ok && done < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      ok = n > 0;
      if (ok) done += static_cast<size_t>(n);
    }
  }
  ::close(fd);
  if (!ok) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return LoadDataLibraryFromBytes(bytes);
}

int LoadStringA(HMODULE module, UINT id, char* buffer, int size) {
  auto* library = static_cast<lumora::DataLibrary*>(module);
  if (library == nullptr || buffer == nullptr || size <= 0) return 0;
  const std::optional<std::string> text = lumora::FindStringResource(library->image, id);
  if (!text) {
    buffer[0] = '\0';
    return 0;
  }
  size_t length = std::min(text->size(), static_cast<size_t>(size - 1));
  while (length > 0 && length < text->size() && (static_cast<unsigned char>((*text)[length]) & 0xC0) == 0x80) {
    --length;  // never cut inside a character
  }
  std::memcpy(buffer, text->data(), length);
  buffer[length] = '\0';
  return static_cast<int>(length);
}

BOOL FreeLibrary(HMODULE module) {
  delete static_cast<lumora::DataLibrary*>(module);
  return TRUE;
}
