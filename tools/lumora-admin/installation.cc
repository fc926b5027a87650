// The installation directory and the product's files.
#include "installation.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "fileio/atomic_file.h"
#include "lumora/automation.h"
#include "lumora/registry.h"
#include "platform/process/path_search.h"
#include "store/profile_database.h"
#include "trust/exception_list.h"
#include "trust/section_access.h"
#include "trust/validate_exe.h"

namespace fs = std::filesystem;

namespace lumora::admin {
namespace {

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Fingerprint(X509* certificate) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  X509_digest(certificate, EVP_sha256(), digest, &length);
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, i == 0 ? "%02X" : ":%02X", digest[i]);
    text += pair;
  }
  return text;
}

std::string NotAfter(X509* certificate) {
  struct tm when {};
  if (ASN1_TIME_to_tm(X509_get0_notAfter(certificate), &when) != 1) return "?";
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &when);
  return text;
}

std::string SubjectOf(X509* certificate) {
  std::unique_ptr<BIO, decltype(&BIO_free)> out(BIO_new(BIO_s_mem()), BIO_free);
  X509_NAME_print_ex(out.get(), X509_get_subject_name(certificate), 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB);
  char* data = nullptr;
  const long size = BIO_get_mem_data(out.get(), &data);
  return std::string(data, static_cast<size_t>(size));
}

// Replaces the roots file whole, so that a crash leaves the old roots or the new ones,
// never half of them. The file may be a link (to the system's configuration folder):
// the file it names is replaced, with the owner and mode it had, since the members of
// the store's group must still read it.
bool ReplaceTrustedRoots(const fs::path& roots, const std::string& text, std::string* error) {
  std::error_code ec;
  const fs::path target = fs::exists(roots, ec) ? fs::canonical(roots, ec) : roots;
  struct stat before {};
  const bool existed = ::stat(target.c_str(), &before) == 0;
  fileio::AtomicFile file;
  int failed = file.Begin(target.string());
  if (failed == 0) failed = file.Write(text);
  if (failed == 0 && existed) {
    // The temporary is still ours: give it the old file's owner and mode before it
    // takes the file's place.
    if (::chown(file.TemporaryPath().c_str(), before.st_uid, before.st_gid) != 0 ||
        ::chmod(file.TemporaryPath().c_str(), before.st_mode & 07777) != 0) {
      failed = errno;
    }
  }
  if (failed == 0) failed = file.Commit();
  if (failed != 0) {
    *error = "cannot write " + target.string() + ": " + std::strerror(failed);
    return false;
  }
  return true;
}

}  // namespace

// The product's libraries are installed side by side, so the folder of the runtime this
// program was loaded with is theirs, whatever the library folder is called (lib, or a
// multiarch lib/<triplet>).
fs::path LibraryFolder() {
  return fs::path(ModulePathOf(reinterpret_cast<const void*>(&SysAllocString))).parent_path();
}

// <prefix>/bin/lumora-admin -> <prefix>/lib/lumora, in the build tree as installed.
fs::path ProductFilesFolder() {
  return fs::path(CanonicalPath("/proc/self/exe")).parent_path().parent_path() / "lib" / "lumora";
}

bool ReadPemCertificates(const fs::path& file, std::vector<RootCertificate>* certificates, std::string* error) {
  std::unique_ptr<BIO, decltype(&BIO_free)> in(BIO_new_file(file.c_str(), "r"), BIO_free);
  if (!in) {
    *error = "cannot read " + file.string();
    return false;
  }
  while (X509* raw = PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr)) {
    std::unique_ptr<X509, decltype(&X509_free)> certificate(raw, X509_free);
    std::unique_ptr<BIO, decltype(&BIO_free)> out(BIO_new(BIO_s_mem()), BIO_free);
    PEM_write_bio_X509(out.get(), certificate.get());
    char* data = nullptr;
    const long size = BIO_get_mem_data(out.get(), &data);
    certificates->push_back({SubjectOf(certificate.get()), Fingerprint(certificate.get()), NotAfter(certificate.get()),
                             std::string(data, static_cast<size_t>(size))});
  }
  return true;
}

bool FillInstallDirectory(const fs::path& install, std::string* error) {
  const fs::path product = ProductFilesFolder();
  std::error_code ec;
  fs::create_directories(install, ec);
  // A system installation names the directory the package installed: its files are the
  // product's own already, and copying a file onto itself would empty it.
  const bool isProductFolder = fs::equivalent(install, product, ec);
  if (!isProductFolder) {
    ec.clear();
    fs::copy_file(product / kExceptionListFile, install / kExceptionListFile, fs::copy_options::overwrite_existing, ec);
    if (ec) {
      *error =
          "cannot install the exception list from " + (product / kExceptionListFile).string() + ": " + ec.message();
      return false;
    }
    // Copies take the source's mode; in the state folder, files are for its owner (and group).
    const mode_t mask = ::umask(0);
    ::umask(mask);
    fs::permissions(install / kExceptionListFile, static_cast<fs::perms>(0666 & ~mask), ec);
  }
  // The trusted roots: the product's own, kept beside whatever the administrator added.
  std::vector<RootCertificate> productRoots;
  if (!ReadPemCertificates(product / "product-root.pem", &productRoots, error) || productRoots.empty()) {
    if (error->empty()) *error = "no product root in " + (product / "product-root.pem").string();
    return false;
  }
  const fs::path roots = install / kTrustedRootsFile;
  std::vector<RootCertificate> present;
  std::string ignored;
  if (fs::exists(roots)) ReadPemCertificates(roots, &present, &ignored);
  std::string text = fs::exists(roots) ? ReadText(roots) : std::string();
  bool added = !fs::exists(roots);
  for (const RootCertificate& root : productRoots) {
    bool known = false;
    for (const RootCertificate& each : present) known = known || each.fingerprint == root.fingerprint;
    if (!known) {
      if (!text.empty() && text.back() != '\n') text += '\n';
      text += root.pem;
      added = true;
    }
  }
  // Written only when something is missing: the file may be the administrator's (through
  // a link to the system's configuration folder), and a rewrite would gain nothing.
  if (added && !ReplaceTrustedRoots(roots, text, error)) return false;
  // The object runtime, under the name the exception list gives it.
  const fs::path runtime = CanonicalPath(ModulePathOf(reinterpret_cast<const void*>(&SysAllocString)));
  const fs::path link = install / "liblumora-automation.so";
  if (!fs::is_symlink(link, ec) || CanonicalPath(link.string()) != runtime.string()) {
    fs::remove(link, ec);
    fs::create_symlink(runtime, link, ec);
    if (ec) {
      *error = "cannot link " + link.string() + " to " + runtime.string() + ": " + ec.message();
      return false;
    }
  }
  return InstallConsentHelper(install, error);
}

fs::path ConsentHelperProgram() {
  const fs::path besideThisProgram =
      fs::path(ModulePathOf(reinterpret_cast<const void*>(&LibraryFolder))).parent_path() / kConsentHelperProgram;
  std::error_code ec;
  if (fs::is_regular_file(besideThisProgram, ec)) return besideThisProgram;
  const fs::path withProductFiles = ProductFilesFolder() / kConsentHelperProgram;
  if (fs::is_regular_file(withProductFiles, ec)) return withProductFiles;
  return {};
}

bool InstallConsentHelper(const fs::path& install, std::string* error) {
  const fs::path link = install / kConsentHelperProgram;
  std::error_code ec;
  const fs::path helper = ConsentHelperProgram();
  // An installed product keeps the program itself in the installation directory: that
  // file is the helper, not a link to replace.
  if (!helper.empty() && fs::equivalent(link, helper, ec)) return true;
  fs::remove(link, ec);
  // Without the dialog program (built without the desktop's toolkit) the dialogs are
  // answered on the terminal, or by the presenter the administrator names.
  if (helper.empty()) return true;
  const fs::path target = CanonicalPath(helper.string());
  fs::create_symlink(target, link, ec);
  if (ec) {
    *error = "cannot link " + link.string() + " to " + target.string() + ": " + ec.message();
    return false;
  }
  return true;
}

bool RegisterProductForRoot(std::string* message, std::string* error) {
  ValidateExe self(CanonicalPath("/proc/self/exe"));
  if (!self.Validate()) {
    *error =
        "this program is not validly signed with the product certificate, so the root section \"/\" "
        "cannot be registered for the product";
    return false;
  }
  CCertSet set(ProfileDatabase());
  set.Open();
  if (SectionHasCert(set, "/", 0, self.CertificateRecord())) {
    *message = "root section: registered for " + self.SignerName();
    return true;
  }
  if (FindSection(set, "/", 0)) {
    *message = "warning: the root section \"/\" is registered for " + set.m_Cert +
               ", not for the product; that company's programs administer this store";
    return true;
  }
  if (FAILED(AddCertRow(set, self.SignerName(), "/", 0, self.CertificateRecord()))) {
    *error = "cannot register the product for the root section";
    return false;
  }
  *message = "root section: registered for " + self.SignerName() +
             " (partner programs cannot claim \"/\" or the common sections)";
  return true;
}

}  // namespace lumora::admin
