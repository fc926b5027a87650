// A second process for the store's tests. Commands (LUMORA_HOME is inherited):
//   open [--wait-for FILE]     waits for FILE to exist, opens the store as a profile
//                              object does and prints the password it used
//   open-die-after-store       the first open dies right after storing the password's pieces
//   hold-open MARKER           opens the store, creates MARKER and keeps the store open
//                              until MARKER is removed
//   reset [--reopen]           opens the store, takes the password off the file and
//                              empties setting 16, as an administrator's reset does; with
//                              --reopen it then opens the store again and prints the
//                              password of that open
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "common/settings_client.h"
#include "lumora/profile.h"
#include "store/profile_database.h"
#include "store/store_context.h"

using namespace lumora;

namespace {

int Open(bool print = true) {
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
  if (print) {
    char password[12] = {};
    GetDatabasePassword(password, sizeof password);
    std::printf("%s\n", password);
    std::fflush(stdout);
  }
  return 0;
}

// The reset of an administration tool: password off, setting 16 emptied. The password
// stays kept in this process, as it does after the reset.
int Reset(bool reopen) {
  if (Open(false) != 0) return 1;
  char password[12] = {};
  GetDatabasePassword(password, sizeof password);
  CloseProfileDatabase();
  {
    FirstOpenLock lock;
    try {
      std::unique_ptr<CDaoDatabase> slot;
      ChangeDatabasePassword(slot, password, "");
    } catch (const CDaoException& e) {
      std::printf("error %08X %s\n", static_cast<unsigned>(e.m_scode), e.what());
      return 1;
    }
    if (FAILED(WriteSetting(kSettingPasswordPiece, ""))) return 1;
  }
  return reopen ? Open() : 0;
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
  if (command == "reset") return Reset(argc == 3 && std::string(argv[2]) == "--reopen");
  std::fprintf(stderr, "usage: store_peer open [--wait-for FILE] | open-die-after-store | hold-open MARKER | reset\n");
  return 64;
}
