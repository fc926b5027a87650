// The process services: the calling thread's call chain, the module of an address, the
// canonical path and the loader's library search, and string resources of PE images
// made with the platform's resource compiler.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/process/module_map.h"
#include "platform/process/path_search.h"
#include "platform/process/resource_library.h"
#include "platform/process/stack_capture.h"
#include "platform/process/system_info.h"
#include "tests/support/temp_home.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

std::string ModuleOf(uintptr_t address) {
  LoadedModule module;
  return MapAddressToModule(address, &module) ? module.path : std::string("<none>");
}

// The modules of the frames captured inside a comparison that libc's qsort calls back.
std::vector<std::string> g_modules;
__attribute__((noinline)) int CaptureWhileComparing(const void* a, const void* b) {
  if (g_modules.empty()) {
    uintptr_t addresses[100];
    const size_t count = CaptureCallStack(addresses, 100);
    for (size_t i = 0; i < count; ++i) g_modules.push_back(ModuleOf(addresses[i]));
  }
  return *static_cast<const int*>(a) - *static_cast<const int*>(b);
}

TEST(ProcessTest, TheCallChainNamesEachFramesModuleNearestFirst) {
  g_modules.clear();
  int values[] = {3, 1, 2};
  qsort(values, 3, sizeof(int), &CaptureWhileComparing);
  const std::string self = CanonicalPath("/proc/self/exe");
  ASSERT_GE(g_modules.size(), 3u);
  EXPECT_EQ(g_modules[0], self) << "the capturing function comes first";
  size_t at = 1;
  while (at < g_modules.size() && g_modules[at] != self) ++at;
  EXPECT_GT(at, 1u) << "then qsort's own frames (the C library's, or a sanitizer's in front of it)";
  ASSERT_LT(at, g_modules.size());
  EXPECT_EQ(g_modules[at], self) << "then the test that called qsort";

  uintptr_t few[3];
  EXPECT_EQ(CaptureCallStack(few, 3), 3u);
  EXPECT_EQ(CaptureCallStack(nullptr, 3), 0u);
  EXPECT_EQ(CaptureCallStack(few, 0), 0u);
}

TEST(ProcessTest, AddressesMapToTheModulesThatHoldThem) {
  // A C library function no sanitizer puts itself in front of.
  Dl_info info{};
  void* libcAddress = dlsym(RTLD_DEFAULT, "gnu_get_libc_version");
  ASSERT_NE(dladdr(libcAddress, &info), 0);
  EXPECT_EQ(ModuleOf(reinterpret_cast<uintptr_t>(libcAddress)), CanonicalPath(info.dli_fname));
  EXPECT_EQ(ModuleOf(reinterpret_cast<uintptr_t>(&CaptureWhileComparing)), CanonicalPath("/proc/self/exe"));
  std::vector<int> heap(16);
  EXPECT_EQ(ModuleOf(reinterpret_cast<uintptr_t>(heap.data())), "<none>") << "heap memory belongs to no module";
  EXPECT_EQ(ModuleOf(0), "<none>");
  const std::vector<std::string> loaded = LoadedModulePaths();
  ASSERT_FALSE(loaded.empty());
  EXPECT_EQ(loaded.front(), CanonicalPath("/proc/self/exe"));
}

TEST(ProcessTest, LibrariesAreFoundWhereTheLoaderWouldFindThem) {
  Dl_info info{};
  ASSERT_NE(dladdr(dlsym(RTLD_DEFAULT, "gnu_get_libc_version"), &info), 0);
  std::string found;
  ASSERT_TRUE(SearchLibraryPath("libc.so.6", &found));
  EXPECT_EQ(CanonicalPath(found), CanonicalPath(info.dli_fname)) << "a loaded library is found where it was loaded";

  testing::TempHome home;
  const std::string folder = home.path() + "/libs";
  fs::create_directories(folder);
  std::ofstream(folder + "/libonlyhere.so.3") << "not really a library";
  const char* previous = getenv("LD_LIBRARY_PATH");
  const std::string saved = previous != nullptr ? previous : "";
  setenv("LD_LIBRARY_PATH", ("/nonexistent::" + folder).c_str(), 1);
  EXPECT_TRUE(SearchLibraryPath("libonlyhere.so.3", &found));
  EXPECT_EQ(found, folder + "/libonlyhere.so.3");
  if (previous != nullptr) {
    setenv("LD_LIBRARY_PATH", saved.c_str(), 1);
  } else {
    unsetenv("LD_LIBRARY_PATH");
  }
  EXPECT_FALSE(SearchLibraryPath("libonlyhere.so.3", &found));
  EXPECT_FALSE(SearchLibraryPath("libnosuchlibrary.so.77", &found));
  EXPECT_FALSE(SearchLibraryPath("/usr/lib/libc.so.6", &found)) << "names carry no folder";
  EXPECT_FALSE(SearchLibraryPath("", &found));

  // The loader's cache knows libraries this process never loaded.
  std::string cached;
  for (const char* name : {"libtinfo.so.6", "libz.so.1", "libcrypt.so.1"}) {
    struct stat st {};
    if (stat((std::string("/lib/x86_64-linux-gnu/") + name).c_str(), &st) == 0 ||
        stat((std::string("/usr/lib/x86_64-linux-gnu/") + name).c_str(), &st) == 0) {
      EXPECT_TRUE(SearchLibraryPath(name, &cached)) << name;
      EXPECT_TRUE(fs::exists(cached)) << cached;
    }
  }

  const std::string link = home.path() + "/link-to-libc";
  fs::create_symlink(info.dli_fname, link);
  EXPECT_EQ(CanonicalPath(link), CanonicalPath(info.dli_fname)) << "links resolve, so two names compare equal";
  EXPECT_EQ(CanonicalPath(home.path() + "/missing"), home.path() + "/missing");
}

// Builds a resource-only PE image from a resource script; empty when the resource
// compiler is missing.
std::string BuildResourceImage(const std::string& folder, const std::string& script) {
  const std::string rc = folder + "/strings.rc";
  std::ofstream(rc) << script;
  const std::string object = folder + "/strings.o";
  const std::string image = folder + "/strings.dll";
  if (testing::RunProgram({"/usr/bin/i686-w64-mingw32-windres", "--preprocessor=cat", "-c", "65001", "-i", rc, "-O",
                           "coff", "-o", object}) != 0 ||
      testing::RunProgram({"/usr/bin/i686-w64-mingw32-ld", "--dll", "-e", "0", "-o", image, object}) != 0) {
    return {};
  }
  return image;
}

TEST(ProcessTest, StringResourcesAreReadAsData) {
  testing::TempHome home;
  const std::string longText(600, 'x');
  const std::string image =
      BuildResourceImage(home.path(),
                         "STRINGTABLE\nBEGIN\n  1 \"libc.so.6 | libstdc++.so.6|\"\n  2 \"Caf\xc3\xa9\"\n"
                         "  17 \"second block\"\n  40 \"" +
                             longText + "\"\nEND\n");
  if (image.empty()) GTEST_SKIP() << "the resource compiler (binutils-mingw-w64-i686) is not installed";
  HMODULE module = LoadLibraryExA(image.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  char buffer[512];
  EXPECT_EQ(LoadStringA(module, 1, buffer, sizeof buffer), 27);
  EXPECT_STREQ(buffer, "libc.so.6 | libstdc++.so.6|");
  EXPECT_EQ(LoadStringA(module, 2, buffer, sizeof buffer), 5);
  EXPECT_STREQ(buffer, "Caf\xc3\xa9") << "UTF-16 in the image, UTF-8 out";
  EXPECT_EQ(LoadStringA(module, 2, buffer, 5), 3) << "never cut inside a character";
  EXPECT_EQ(LoadStringA(module, 17, buffer, sizeof buffer), 12);
  EXPECT_STREQ(buffer, "second block");
  EXPECT_EQ(LoadStringA(module, 40, buffer, sizeof buffer), 511) << "cut to the buffer";
  EXPECT_EQ(LoadStringA(module, 3, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(LoadStringA(module, 1000, buffer, sizeof buffer), 0) << "a block the table does not have";
  FreeLibrary(module);

  // Cut anywhere, the image yields no string or the right one, never garbage.
  std::ifstream in(image, std::ios::binary);
  std::vector<BYTE> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (size_t cut = 0; cut < bytes.size(); cut += 7) {
    const auto text = FindStringResource(std::span<const BYTE>(bytes.data(), cut), 17);
    if (text) {
      EXPECT_EQ(*text, "second block") << cut;
    }
  }
  EXPECT_EQ(LoadLibraryExA((home.path() + "/strings.rc").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_BAD_EXE_FORMAT);
  EXPECT_EQ(LoadLibraryExA((home.path() + "/missing.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(LoadLibraryExA(image.c_str(), nullptr, 0), nullptr) << "only data files are supported";
}

TEST(ProcessTest, ThisPlatformIsOther) {
  OSVERSIONINFOA info{};
  EXPECT_FALSE(GetVersionExA(&info));
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_OTHER);
  EXPECT_GT(info.dwMajorVersion, 2u);
  EXPECT_FALSE(PumpOneWindowMessage());
}

}  // namespace
}  // namespace lumora
