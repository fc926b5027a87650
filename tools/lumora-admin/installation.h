// The installation directory of a local installation (setting 6) and the product's own
// files: where the tool finds them beside itself, how init fills the directory, and the
// trusted roots the signature check uses. Single-threaded.
#ifndef LUMORA_TOOLS_LUMORA_ADMIN_INSTALLATION_H_
#define LUMORA_TOOLS_LUMORA_ADMIN_INSTALLATION_H_

#include <filesystem>
#include <string>
#include <vector>

namespace lumora::admin {

inline constexpr char kTrustedRootsFile[] = "TrustedRoots.pem";

// The folder of the product's libraries: where the object runtime this program uses lives.
std::filesystem::path LibraryFolder();
// The product's files beside this program (<prefix>/lib/lumora): ExceptionList.dll,
// product-root.pem, and in an installed tree the installation directory itself.
std::filesystem::path ProductFilesFolder();

// Fills `install`: the signed exception list (replaced), the trusted roots (made with the
// product root, or the product root added to those already there), a link to the
// object runtime this program uses and one to the consent dialog program. False with *error set on failure.
bool FillInstallDirectory(const std::filesystem::path& install, std::string* error);

// The consent dialog program, found beside this program or with the product's files;
// empty when it is not there.
inline constexpr char kConsentHelperProgram[] = "lumora-consent";
std::filesystem::path ConsentHelperProgram();
// Links the consent dialog program into `install`, replacing an earlier link; nothing
// is linked when the program is not there. False with *error set on failure.
bool InstallConsentHelper(const std::filesystem::path& install, std::string* error);

// One certificate of a PEM bundle, as `trust list` shows it.
struct RootCertificate {
  std::string subject;
  std::string fingerprint;  // SHA-256, upper-case hex pairs joined by ':'
  std::string notAfter;     // "YYYY-MM-DD HH:MM:SS UTC"
  std::string pem;
};
// The certificates of a PEM file; false when the file cannot be read.
bool ReadPemCertificates(const std::filesystem::path& file, std::vector<RootCertificate>* certificates,
                         std::string* error);

// Registers the certificate this program is signed with (the product's) for the root
// section "/", unless it is registered there already. The store must be open. Returns
// a line for the user, or false with *error set.
bool RegisterProductForRoot(std::string* message, std::string* error);

}  // namespace lumora::admin

#endif  // LUMORA_TOOLS_LUMORA_ADMIN_INSTALLATION_H_
