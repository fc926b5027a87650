// lumora-sign: signs an ELF program or library in the appended module-signature form the
// profile store checks, and checks any signed file (ELF, PE or cabinet) exactly as the
// store does.
//   lumora-sign --cert CERT.pem --key KEY.pem [--chain CHAIN.pem] [--out OUT] [--replace] FILE
//   lumora-sign --verify FILE [--anchors ROOTS.pem]
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/codesign/image_certificates.h"
#include "trust/validate_exe.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void Usage(FILE* out) {
  std::fprintf(out,
               "usage: lumora-sign --cert CERT.pem --key KEY.pem [--chain CHAIN.pem] [--out OUT] [--replace] FILE\n"
               "       lumora-sign --verify FILE [--anchors ROOTS.pem]\n"
               "\n"
               "Signing appends a detached PKCS #7 signature (SHA-256) carrying the certificate and its chain to an\n"
               "ELF file, in place or into OUT. A file already signed is refused unless --replace is given.\n"
               "Verifying checks an ELF, PE or cabinet file as the profile store does, against ROOTS.pem (default:\n"
               "the installation's trusted roots, else the system's), and prints 'valid: NAME' or 'invalid: NAME'.\n");
}

int Error(const std::string& message) {
  std::fprintf(stderr, "lumora-sign: %s\n", message.c_str());
  return kExitFailure;
}

std::string OpenSslError() {
  const unsigned long code = ERR_get_error();
  char text[256] = "unknown error";
  if (code != 0) ERR_error_string_n(code, text, sizeof text);
  return text;
}

bool WriteFile(const std::string& path, const std::vector<BYTE>& bytes) {
  const std::string temporary = path + ".signing";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
      return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

int Sign(const std::string& certPath, const std::string& keyPath, const std::string& chainPath, const std::string& in,
         const std::string& out, bool replace) {
  std::vector<BYTE> file;
  if (!ReadWholeFile(in, &file)) return Error("cannot read '" + in + "'");
  if (!IsElfFile(file)) return Error("'" + in + "' is not an ELF file");
  size_t contentLength = file.size();
  ElfSignature existing{};
  if (SUCCEEDED(ReadElfSignature(file, &existing))) {
    if (!replace) return Error("'" + in + "' is already signed (use --replace to sign it anew)");
    contentLength = existing.contentLength;
  } else if (file.size() >= kModuleSignatureMagicLength &&
             std::memcmp(&file[file.size() - kModuleSignatureMagicLength], kModuleSignatureMagic,
                         kModuleSignatureMagicLength) == 0) {
    return Error("'" + in + "' ends in a damaged signature; sign the original file");
  }
  std::unique_ptr<BIO, decltype(&BIO_free)> certBio(BIO_new_file(certPath.c_str(), "r"), BIO_free);
  X509* cert = certBio ? PEM_read_bio_X509(certBio.get(), nullptr, nullptr, nullptr) : nullptr;
  if (cert == nullptr) return Error("cannot read the certificate '" + certPath + "': " + OpenSslError());
  std::unique_ptr<X509, decltype(&X509_free)> certOwner(cert, X509_free);
  std::unique_ptr<BIO, decltype(&BIO_free)> keyBio(BIO_new_file(keyPath.c_str(), "r"), BIO_free);
  EVP_PKEY* key = keyBio ? PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr) : nullptr;
  if (key == nullptr) return Error("cannot read the key '" + keyPath + "': " + OpenSslError());
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> keyOwner(key, EVP_PKEY_free);
  if (X509_check_private_key(cert, key) != 1) return Error("the key does not belong to the certificate");
  std::unique_ptr<STACK_OF(X509), void (*)(STACK_OF(X509)*)> chain(
      sk_X509_new_null(), [](STACK_OF(X509) * s) { sk_X509_pop_free(s, X509_free); });
  if (!chainPath.empty()) {
    std::unique_ptr<BIO, decltype(&BIO_free)> chainBio(BIO_new_file(chainPath.c_str(), "r"), BIO_free);
    if (!chainBio) return Error("cannot read the chain '" + chainPath + "'");
    while (X509* link = PEM_read_bio_X509(chainBio.get(), nullptr, nullptr, nullptr)) sk_X509_push(chain.get(), link);
    ERR_clear_error();
  }
  std::unique_ptr<BIO, decltype(&BIO_free)> content(BIO_new_mem_buf(file.data(), static_cast<int>(contentLength)),
                                                    BIO_free);
  PKCS7* p7 = PKCS7_sign(cert, key, chain.get(), content.get(), PKCS7_DETACHED | PKCS7_BINARY | PKCS7_NOSMIMECAP);
  if (p7 == nullptr) return Error("signing failed: " + OpenSslError());
  unsigned char* der = nullptr;
  const int derLength = i2d_PKCS7(p7, &der);
  PKCS7_free(p7);
  if (derLength <= 0) return Error("signing failed: " + OpenSslError());
  std::vector<BYTE> signedFile(file.begin(), file.begin() + static_cast<long>(contentLength));
  signedFile.insert(signedFile.end(), der, der + derLength);
  OPENSSL_free(der);
  const BYTE trailer[kModuleSignatureTrailer] = {0,
                                                 0,
                                                 2,
                                                 0,
                                                 0,
                                                 0,
                                                 0,
                                                 0,
                                                 static_cast<BYTE>(derLength >> 24),
                                                 static_cast<BYTE>(derLength >> 16),
                                                 static_cast<BYTE>(derLength >> 8),
                                                 static_cast<BYTE>(derLength)};
  signedFile.insert(signedFile.end(), trailer, trailer + sizeof trailer);
  signedFile.insert(signedFile.end(), kModuleSignatureMagic, kModuleSignatureMagic + kModuleSignatureMagicLength);
  if (!WriteFile(out, signedFile)) return Error("cannot write '" + out + "'");
  std::printf("signed: %s\n", out.c_str());
  return 0;
}

int Verify(const std::string& path, const std::string& anchors) {
  lumora::ValidateExe check(path);
  if (!anchors.empty()) check.SetTrustAnchors(anchors);
  const bool valid = check.Validate();
  std::printf("%s: %s\n", valid ? "valid" : "invalid", check.SignerName().c_str());
  return valid ? 0 : kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
  std::string cert, key, chain, out, verify, anchors, file;
  bool replace = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string* target) {
      if (i + 1 >= argc) return false;
      *target = argv[++i];
      return true;
    };
    bool ok = true;
    if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 0;
    } else if (arg == "--cert") {
      ok = value(&cert);
    } else if (arg == "--key") {
      ok = value(&key);
    } else if (arg == "--chain") {
      ok = value(&chain);
    } else if (arg == "--out") {
      ok = value(&out);
    } else if (arg == "--anchors") {
      ok = value(&anchors);
    } else if (arg == "--verify") {
      ok = value(&verify);
    } else if (arg == "--replace") {
      replace = true;
    } else if (!arg.empty() && arg[0] != '-' && file.empty()) {
      file = arg;
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "lumora-sign: bad argument '%s'\n", arg.c_str());
      Usage(stderr);
      return kExitUsage;
    }
  }
  if (!verify.empty()) {
    if (!file.empty() || !cert.empty() || !key.empty()) {
      Usage(stderr);
      return kExitUsage;
    }
    return Verify(verify, anchors);
  }
  if (file.empty() || cert.empty() || key.empty()) {
    Usage(stderr);
    return kExitUsage;
  }
  return Sign(cert, key, chain, file, out.empty() ? file : out, replace);
}
