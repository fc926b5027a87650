// lumora-sign: signs an ELF program or library in the appended module-signature form the
// profile store checks, and checks any signed file (ELF, PE or cabinet) exactly as the
// store does, saying why a file fails.
//   lumora-sign --cert CERT.pem --key KEY.pem [--chain CHAIN.pem] [--out OUT] [--replace] FILE
//   lumora-sign --verify [--anchors ROOTS.pem] [--json] FILE
// Options may come before or after the file.
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/codesign/image_certificates.h"
#include "platform/codesign/openssl_owners.h"
#include "platform/codesign/win_trust.h"
#include "trust/validate_exe.h"

namespace {

using lumora::openssl::BioPtr;
using lumora::openssl::BytesPtr;
using lumora::openssl::EvpPkeyPtr;
using lumora::openssl::Pkcs7Ptr;
using lumora::openssl::X509Ptr;
using lumora::openssl::X509StackPtr;

constexpr int kExitInvalid = 1;  // a file that does not verify, or signing that failed
constexpr int kExitUsage = 2;    // the command line or one of the files it names is wrong

void Usage(FILE* out) {
  std::fprintf(out,
               "usage: lumora-sign --cert CERT.pem --key KEY.pem [--chain CHAIN.pem] [--out OUT] [--replace] FILE\n"
               "       lumora-sign --verify [--anchors ROOTS.pem] [--json] FILE\n"
               "       lumora-sign --version | --help\n"
               "\n"
               "Signing appends a detached PKCS #7 signature (SHA-256) carrying the certificate and its chain to an\n"
               "ELF file, in place (keeping the file's permissions) or into OUT. A file already signed is refused\n"
               "unless --replace is given; so is a certificate that does not allow code signing.\n"
               "Verifying checks an ELF, PE or cabinet file as the profile store does, against ROOTS.pem (default:\n"
               "the installation's trusted roots, else the system's), and prints 'valid: NAME' or\n"
               "'invalid: NAME (REASON)'; --json prints one JSON object instead. Options may follow the file.\n");
}

int Error(const std::string& message, int code = kExitInvalid) {
  std::fprintf(stderr, "lumora-sign: %s\n", message.c_str());
  return code;
}

std::string OpenSslError() {
  const unsigned long code = ERR_get_error();
  char text[256] = "unknown error";
  if (code != 0) ERR_error_string_n(code, text, sizeof text);
  ERR_clear_error();
  return text;
}

// Why a check failed, in words.
std::string Reason(HRESULT result) {
  static const std::map<HRESULT, const char*> kReasons = {
      {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "file missing"},
      {HRESULT_FROM_WIN32(ERROR_DIRECTORY_NOT_SUPPORTED), "a directory"},
      {HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), "file not readable"},
      {HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE), "file not readable"},
      {HRESULT_FROM_WIN32(ERROR_FILE_INVALID), "file changed during the check"},
      {HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT), "not a PE, cabinet or ELF file"},
      {TRUST_E_SUBJECT_FORM_UNKNOWN, "not a PE, cabinet or ELF file"},
      {TRUST_E_NOSIGNATURE, "no certificate record"},
      {TRUST_E_MALFORMED_SIGNATURE, "malformed signature"},
      {CRYPT_E_ASN1_BADTAG, "not a signed message"},
      {CRYPT_E_UNEXPECTED_MSG_TYPE, "not a signed message"},
      {CRYPT_E_NOT_FOUND, "no signer"},
      {CRYPT_E_SIGNER_NOT_FOUND, "signer certificate missing"},
      {TRUST_E_BAD_DIGEST, "signature does not verify"},
      {CRYPT_E_HASH_VALUE, "digest mismatch"},
      {NTE_BAD_ALGID, "weak or unknown digest"},
      {TRUST_E_TIME_STAMP, "signing time outside the certificate's validity"},
      {CERT_E_UNTRUSTEDROOT, "chain not trusted"},
      {CERT_E_CHAINING, "chain not trusted"},
      {CERT_E_EXPIRED, "certificate expired"},
      {CERT_E_REVOKED, "certificate revoked"},
      {CERT_E_REVOCATION_FAILURE, "revocation check failed"},
      {CERT_E_WRONG_USAGE, "no code-signing usage"},
      {TRUST_E_BASIC_CONSTRAINTS, "signer certificate is a CA"},
      {HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), "verification unavailable"},
      {HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND), "verification unavailable"},
      {HRESULT_FROM_WIN32(ERROR_DLL_NOT_FOUND), "verification unavailable"},
  };
  const auto found = kReasons.find(result);
  if (found != kReasons.end()) return found->second;
  char text[32];
  std::snprintf(text, sizeof text, "error 0x%08X", static_cast<unsigned>(result));
  return text;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

struct InfoStackDeleter {
  void operator()(STACK_OF(X509_INFO) * items) const { sk_X509_INFO_pop_free(items, X509_INFO_free); }
};

// An anchors file must be a readable file that holds at least one certificate: a typo
// must not quietly check against nothing, or against the system's store.
std::optional<std::string> AnchorsProblem(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return "cannot read the anchors file '" + path + "': " + std::strerror(errno);
  if (!S_ISREG(info.st_mode)) return "the anchors file '" + path + "' is not a file";
  const BioPtr bio(BIO_new_file(path.c_str(), "r"));
  if (!bio) return "cannot read the anchors file '" + path + "': " + std::strerror(errno);
  const std::unique_ptr<STACK_OF(X509_INFO), InfoStackDeleter> items(
      PEM_X509_INFO_read_bio(bio.get(), nullptr, nullptr, nullptr));
  int certificates = 0;
  for (int i = 0; items && i < sk_X509_INFO_num(items.get()); ++i) {
    if (sk_X509_INFO_value(items.get(), i)->x509 != nullptr) ++certificates;
  }
  ERR_clear_error();
  if (certificates == 0) return "the anchors file '" + path + "' holds no certificate";
  return std::nullopt;
}

int Verify(const std::string& path, const std::string& anchors, bool json) {
  if (!anchors.empty()) {
    if (const auto problem = AnchorsProblem(anchors)) return Error(*problem, kExitUsage);
  }
  lumora::ValidateExe check(path);
  if (!anchors.empty()) check.SetTrustAnchors(anchors);
  const bool valid = check.Validate();
  const std::string reason = valid ? "" : Reason(check.LastResult());
  if (json) {
    std::printf("{\"file\": %s, \"valid\": %s, \"signer\": %s, \"reason\": %s}\n", JsonString(path).c_str(),
                valid ? "true" : "false", JsonString(check.SignerName()).c_str(),
                valid ? "null" : JsonString(reason).c_str());
  } else if (valid) {
    std::printf("valid: %s\n", check.SignerName().c_str());
  } else {
    const std::string& name = check.SignerName();
    std::printf("invalid: %s%s(%s)\n", name.c_str(), name.empty() ? "" : " ", reason.c_str());
  }
  return valid ? 0 : kExitInvalid;
}

// Why this certificate cannot sign code, or nothing.
std::optional<std::string> SigningProblem(const X509* certificate) {
  switch (CheckSignerCertificate(certificate)) {
    case S_OK:
      return std::nullopt;
    case TRUST_E_BASIC_CONSTRAINTS:
      return "it is a CA certificate";
    case NTE_BAD_ALGID:
      return "it is signed with a weak digest (MD5 or SHA-1)";
    default:
      return "it does not allow code signing";
  }
}

// Writes `bytes` next to `path` and renames the result over it, so that a reader never
// sees half a file; the new file gets `mode` whatever the umask (special bits only when
// this user already owned the file).
bool ReplaceFile(const std::string& path, const std::vector<BYTE>& bytes, const struct stat& original,
                 std::string* problem) {
  std::string temporary = path + ".signing-XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    *problem = std::strerror(errno);
    return false;
  }
  const mode_t mode = original.st_uid == ::geteuid() ? original.st_mode & 07777 : original.st_mode & 0777;
  size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ok = ok && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  if (!ok) *problem = std::strerror(errno);
  ok = ::close(fd) == 0 && ok;
  if (ok && std::rename(temporary.c_str(), path.c_str()) != 0) {
    *problem = std::strerror(errno);
    ok = false;
  }
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  const std::string folder = path.find('/') == std::string::npos ? "." : path.substr(0, path.rfind('/') + 1);
  const int directory = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory >= 0) {
    ::fsync(directory);
    ::close(directory);
  }
  return true;
}

int Sign(const std::string& certPath, const std::string& keyPath, const std::string& chainPath, const std::string& in,
         const std::string& outPath, bool replace) {
  std::vector<BYTE> file;
  struct stat original {};
  if (::stat(in.c_str(), &original) != 0) return Error("cannot read '" + in + "': " + std::strerror(errno));
  if (!S_ISREG(original.st_mode)) return Error("'" + in + "' is not a file");
  if (!ReadWholeFile(in, &file)) return Error("cannot read '" + in + "': " + std::strerror(errno));
  if (!IsElfFile(file)) return Error("'" + in + "' is not an ELF file");
  size_t contentLength = file.size();
  ElfSignature existing{};
  const HRESULT signedAlready = ReadElfSignature(file, &existing);
  if (SUCCEEDED(signedAlready)) {
    if (!replace) return Error("'" + in + "' is already signed (use --replace to sign it anew)");
    contentLength = existing.contentLength;
  } else if (signedAlready == TRUST_E_MALFORMED_SIGNATURE) {
    return Error("'" + in + "' ends in a damaged signature; sign the original file");
  }

  const BioPtr certBio(BIO_new_file(certPath.c_str(), "r"));
  const X509Ptr cert(certBio ? PEM_read_bio_X509(certBio.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!cert) return Error("cannot read the certificate '" + certPath + "': " + OpenSslError());
  if (const auto problem = SigningProblem(cert.get())) {
    return Error("the certificate '" + certPath + "' cannot sign code: " + *problem);
  }
  const BioPtr keyBio(BIO_new_file(keyPath.c_str(), "r"));
  const EvpPkeyPtr key(keyBio ? PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!key) return Error("cannot read the key '" + keyPath + "': " + OpenSslError());
  if (X509_check_private_key(cert.get(), key.get()) != 1) return Error("the key does not belong to the certificate");
  const X509StackPtr chain(sk_X509_new_null());
  if (!chainPath.empty()) {
    const BioPtr chainBio(BIO_new_file(chainPath.c_str(), "r"));
    if (!chainBio) return Error("cannot read the chain '" + chainPath + "': " + std::strerror(errno));
    while (X509* link = PEM_read_bio_X509(chainBio.get(), nullptr, nullptr, nullptr)) sk_X509_push(chain.get(), link);
    ERR_clear_error();
    if (sk_X509_num(chain.get()) == 0) return Error("the chain '" + chainPath + "' holds no certificate");
  }

  const BioPtr content(BIO_new_mem_buf(file.data(), static_cast<int>(contentLength)));
  const Pkcs7Ptr p7(
      PKCS7_sign(cert.get(), key.get(), chain.get(), content.get(), PKCS7_DETACHED | PKCS7_BINARY | PKCS7_NOSMIMECAP));
  if (!p7) return Error("signing failed: " + OpenSslError());
  unsigned char* der = nullptr;
  const int derLength = i2d_PKCS7(p7.get(), &der);
  const BytesPtr derOwner(der);
  if (derLength <= 0) return Error("signing failed: " + OpenSslError());
  file.resize(contentLength);
  file.insert(file.end(), der, der + derLength);
  const auto length = static_cast<uint32_t>(derLength);
  const BYTE trailer[kModuleSignatureTrailer] = {0,
                                                 0,
                                                 2,
                                                 0,
                                                 0,
                                                 0,
                                                 0,
                                                 0,
                                                 static_cast<BYTE>(length >> 24),
                                                 static_cast<BYTE>(length >> 16),
                                                 static_cast<BYTE>(length >> 8),
                                                 static_cast<BYTE>(length)};
  file.insert(file.end(), trailer, trailer + sizeof trailer);
  file.insert(file.end(), kModuleSignatureMagic, kModuleSignatureMagic + kModuleSignatureMagicLength);

  // Signing a link in place signs the file it names, and the link keeps naming it.
  std::string out = outPath;
  char resolved[PATH_MAX];
  if (::realpath(outPath.c_str(), resolved) != nullptr) out = resolved;
  std::string problem;
  if (!ReplaceFile(out, file, original, &problem)) return Error("cannot write '" + outPath + "': " + problem);
  std::printf("signed: %s\n", outPath.c_str());
  return 0;
}

struct Options {
  std::string cert, key, chain, out, anchors, file;
  bool verify = false, replace = false, json = false;
  std::vector<std::string> valued;  // the value-taking options given, for the mode check
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const std::map<std::string, std::string Options::*> valueOptions = {{"--cert", &Options::cert},
                                                                      {"--key", &Options::key},
                                                                      {"--chain", &Options::chain},
                                                                      {"--out", &Options::out},
                                                                      {"--anchors", &Options::anchors}};
  const std::map<std::string, bool Options::*> flags = {
      {"--verify", &Options::verify}, {"--replace", &Options::replace}, {"--json", &Options::json}};
  bool onlyFiles = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (!onlyFiles && (arg == "--help" || arg == "-h")) {
      Usage(stdout);
      return 0;
    }
    if (!onlyFiles && arg == "--version") {
      std::printf("lumora-sign %s\n", LUMORA_VERSION);
      return 0;
    }
    if (!onlyFiles && arg == "--") {
      onlyFiles = true;
      continue;
    }
    if (onlyFiles || arg.empty() || arg[0] != '-') {
      if (!options.file.empty())
        return Error("more than one file given ('" + options.file + "', '" + arg + "')", kExitUsage);
      options.file = arg;
      continue;
    }
    std::optional<std::string> inlineValue;
    if (const size_t equals = arg.find('='); equals != std::string::npos) {
      inlineValue = arg.substr(equals + 1);
      arg.resize(equals);
    }
    if (const auto flag = flags.find(arg); flag != flags.end() && !inlineValue) {
      options.*(flag->second) = true;
      continue;
    }
    const auto option = valueOptions.find(arg);
    if (option == valueOptions.end()) {
      std::fprintf(stderr, "lumora-sign: unknown option '%s'\n", argv[i]);
      Usage(stderr);
      return kExitUsage;
    }
    std::string value;
    if (inlineValue) {
      value = *inlineValue;
    } else if (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) {
      value = argv[++i];
    }
    if (value.empty()) return Error("option '" + arg + "' needs a value", kExitUsage);
    options.*(option->second) = value;
    options.valued.push_back(arg);
  }

  if (options.file.empty()) {
    std::fprintf(stderr, "lumora-sign: no file given\n");
    Usage(stderr);
    return kExitUsage;
  }
  if (options.verify) {
    for (const std::string& given : options.valued) {
      if (given != "--anchors") return Error("'" + given + "' is for signing, not for --verify", kExitUsage);
    }
    if (options.replace) return Error("'--replace' is for signing, not for --verify", kExitUsage);
    return Verify(options.file, options.anchors, options.json);
  }
  if (!options.anchors.empty() || options.json) {
    return Error(std::string("'") + (options.json ? "--json" : "--anchors") + "' is for --verify", kExitUsage);
  }
  if (options.cert.empty() || options.key.empty()) return Error("signing needs --cert and --key", kExitUsage);
  return Sign(options.cert, options.key, options.chain, options.file, options.out.empty() ? options.file : options.out,
              options.replace);
}
