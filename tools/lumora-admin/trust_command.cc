// trust: the roots the signature check trusts (TrustedRoots.pem in the installation
// directory). "add PEM" appends the certificates of a PEM file that are not there yet;
// "list" shows each with its subject, SHA-256 fingerprint and expiry.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "admin_command.h"
#include "common/settings_client.h"
#include "installation.h"
#include "services/json_line.h"

namespace fs = std::filesystem;

namespace lumora::admin {
namespace {

bool RootsFile(fs::path* file) {
  std::string install;
  if (FAILED(ReadSetting(kSettingInstallDirectory, &install)) || install.empty()) return false;
  *file = fs::path(install) / kTrustedRootsFile;
  return true;
}

int Add(const fs::path& roots, const std::string& pem) {
  std::vector<RootCertificate> adding;
  std::string error;
  if (!ReadPemCertificates(pem, &adding, &error)) return Fail(error);
  if (adding.empty()) return Fail(pem + " holds no certificate (a PEM file with BEGIN CERTIFICATE blocks is needed)");
  std::vector<RootCertificate> present;
  if (fs::exists(roots) && !ReadPemCertificates(roots, &present, &error)) return Fail(error);
  std::ofstream out(roots, std::ios::binary | std::ios::app);
  if (!out) return Fail("cannot write " + roots.string());
  int added = 0;
  for (const RootCertificate& root : adding) {
    bool known = false;
    for (const RootCertificate& each : present) known = known || each.fingerprint == root.fingerprint;
    if (known) {
      std::printf("already trusted: %s\n", root.subject.c_str());
      continue;
    }
    out << root.pem;
    present.push_back(root);
    ++added;
    std::printf("trusted: %s (SHA-256 %s, expires %s)\n", root.subject.c_str(), root.fingerprint.c_str(),
                root.notAfter.c_str());
  }
  out.close();
  if (!out) return Fail("cannot write " + roots.string());
  std::printf("%d certificate%s added to %s\n", added, added == 1 ? "" : "s", roots.c_str());
  return kExitOk;
}

int List(const fs::path& roots, bool json) {
  std::vector<RootCertificate> present;
  std::string error;
  if (!fs::exists(roots)) {
    if (json) {
      std::printf("[]\n");
    } else {
      std::printf("no %s: the system's trusted roots are used\n", roots.c_str());
    }
    return kExitOk;
  }
  if (!ReadPemCertificates(roots, &present, &error)) return Fail(error);
  if (json) {
    std::printf("[");
    for (size_t i = 0; i < present.size(); ++i) {
      std::printf("%s%s", i == 0 ? "" : ",",
                  services::WriteJsonLine({{"subject", services::JsonValue::String(present[i].subject)},
                                           {"fingerprint", services::JsonValue::String(present[i].fingerprint)},
                                           {"expires", services::JsonValue::String(present[i].notAfter)}})
                      .c_str());
    }
    std::printf("]\n");
    return kExitOk;
  }
  for (const RootCertificate& root : present) {
    std::printf("%s\n  SHA-256 %s\n  expires %s\n", root.subject.c_str(), root.fingerprint.c_str(),
                root.notAfter.c_str());
  }
  return kExitOk;
}

int Trust(const Options& options) {
  fs::path roots;
  if (!RootsFile(&roots)) {
    return Fail("the state folder " + options.home + " names no installation directory: run 'lumora-admin init' first");
  }
  const std::string& action = options.arguments[0];
  if (action == "add") {
    if (options.arguments.size() != 2) {
      std::fprintf(stderr, "lumora-admin: trust add needs the PEM file: lumora-admin trust add PEM\n");
      return kExitUsage;
    }
    return Add(roots, options.arguments[1]);
  }
  if (action == "list") {
    if (options.arguments.size() != 1) {
      std::fprintf(stderr, "lumora-admin: trust list takes no file: lumora-admin trust list [--json]\n");
      return kExitUsage;
    }
    return List(roots, options.Has("--json"));
  }
  std::fprintf(stderr, "lumora-admin: unknown trust action '%s' (add or list)\n", action.c_str());
  return kExitUsage;
}

constexpr OptionSpec kOptions[] = {
    {"--json", nullptr, "list as JSON"},
};

}  // namespace

const Command kTrustCommand = {
    "trust",
    "add a trusted root, or list the trusted roots",
    "The roots that signed programs must chain to, kept in TrustedRoots.pem of the installation\n"
    "directory (without that file, the system's trusted roots are used).\n"
    "  add PEM   appends the certificates of PEM that are not trusted yet (a file without any\n"
    "            certificate is refused)\n"
    "  list      shows each trusted root: subject, SHA-256 fingerprint and expiry",
    kOptions,
    &Trust,
    "add PEM | list",
    1,
    2,
};

}  // namespace lumora::admin
