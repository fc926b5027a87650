// A second process for the store's tests. Commands (LUMORA_HOME is inherited):
//   open [--wait-for FILE]     waits for FILE to exist, opens the store as a profile
//                              object does and prints the password it used
//   open-die-after-store       the first open dies right after storing the password's pieces
//   hold-open MARKER           opens the store, creates MARKER and keeps the store open
//                              until MARKER is removed
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "lumora/profile.h"
#include "store/profile_database.h"
#include "store/store_context.h"

using namespace lumora;

namespace {

int Open() {
  if (AcquireCryptProvider() != 0) {
    std::printf("error %08X\n", static_cast<unsigned>(eErrorCipherInitializingFailed));
    return 1;
  }
  try {
    const HRESULT hr = OpenProfileDatabase();
    if (FAILED(hr)) {
      std::printf("error %08X\n", static_cast<unsigned>(hr));
      return 1;
    }
  } catch (const CDaoException& e) {
    std::printf("error %08X %s\n", static_cast<unsigned>(e.m_scode), e.what());
    return 1;
  }
  char password[12] = {};
  GetDatabasePassword(password, sizeof password);
  std::printf("%s\n", password);
  std::fflush(stdout);
  return 0;
}

void WaitFor(const std::filesystem::path& file, bool present) {
  while (std::filesystem::exists(file) != present) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "open") {
    if (argc == 4 && std::string(argv[2]) == "--wait-for") WaitFor(argv[3], true);
    return Open();
  }
  if (command == "open-die-after-store") {
    SetAfterPasswordStoredHook([] { _exit(9); });
    return Open();
  }
  if (command == "hold-open" && argc == 3) {
    const int result = Open();
    if (result != 0) return result;
    {
      std::FILE* marker = std::fopen(argv[2], "w");
      if (marker != nullptr) std::fclose(marker);
    }
    WaitFor(argv[2], false);
    CloseProfileDatabase();
    return 0;
  }
  std::fprintf(stderr, "usage: store_peer open [--wait-for FILE] | open-die-after-store | hold-open MARKER\n");
  return 64;
}
