// Signature benchmarks: ValidateExe::Validate of a signed 10 MB ELF module and of a signed
// 10 MB PE image, each against the physical floor of the same file measured in the same
// run: reading it, one SHA-256 pass over it and one signature verification with OpenSSL
// (target: at most 1.3x).
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "bench/bench_main.h"
#include "platform/codesign/image_certificates.h"
#include "trust/validate_exe.h"

namespace {

constexpr size_t kFileSize = 10 * 1024 * 1024;

struct Files {
  std::string folder;
  std::string elf;
  std::string pe;
  std::string anchors;
  std::string leafCert;
};

const Files& Prepared() {
  static const Files files = [] {
    Files f;
    std::string pattern = (std::filesystem::temp_directory_path() / "lumora-sigbench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    f.folder = pattern;
    const std::string fixtures = f.folder + "/fixtures";
    const std::string command = std::string(LUMORA_MAKE_FIXTURES) + " " + fixtures + " " + LUMORA_SIGN + " " +
                                LUMORA_SAMPLE_MODULE + " " + LUMORA_SAMPLE_MODULE + " >/dev/null";
    if (std::system(command.c_str()) != 0) std::abort();
    f.anchors = fixtures + "/pki/anchors.pem";
    f.leafCert = fixtures + "/pki/alpha.pem";
    // A 10 MB ELF module: the sample with 10 MB of data after it, then signed.
    std::vector<BYTE> module;
    ReadWholeFile(LUMORA_SAMPLE_MODULE, &module);
    module.resize(kFileSize, 0x5A);
    const std::string bigElf = f.folder + "/big.so";
    std::ofstream(bigElf, std::ios::binary)
        .write(reinterpret_cast<const char*>(module.data()), static_cast<std::streamsize>(module.size()));
    f.elf = f.folder + "/big-signed.so";
    const std::string pki = fixtures + "/pki/";
    std::string sign = std::string(LUMORA_SIGN) + " --cert " + pki + "alpha.pem --key " + pki + "alpha.key --chain " +
                       pki + "alpha-chain.pem --out " + f.elf + " " + bigElf + " >/dev/null";
    if (std::system(sign.c_str()) != 0) std::abort();
    // A 10 MB PE image: a resource-only library whose resource is 10 MB of data.
    std::ofstream(f.folder + "/big.bin", std::ios::binary) << std::string(kFileSize, 'P');
    std::ofstream(f.folder + "/big.rc") << "1 RCDATA \"" << f.folder << "/big.bin\"\n";
    const std::string pe = "cd " + f.folder +
                           " && i686-w64-mingw32-windres --preprocessor=cat -i big.rc -O coff -o big.o"
                           " && i686-w64-mingw32-ld --dll -e 0 -o big.dll big.o"
                           " && osslsigncode sign -certs " +
                           pki + "alpha-chain.pem -key " + pki +
                           "alpha.key -h sha256 -in big.dll -out big-signed.dll >/dev/null";
    if (std::system(pe.c_str()) != 0) std::abort();
    f.pe = f.folder + "/big-signed.dll";
    return f;
  }();
  return files;
}

void Validate(benchmark::State& state, const std::string& path) {
  for (auto _ : state) {
    lumora::ValidateExe check(path);
    check.SetTrustAnchors(Prepared().anchors);
    if (!check.Validate()) state.SkipWithError("the file did not validate");
  }
}

void BM_ValidateElf(benchmark::State& state) { Validate(state, Prepared().elf); }
void BM_ValidatePe(benchmark::State& state) { Validate(state, Prepared().pe); }

// The floor: read the file, hash it once, verify one signature with the leaf's key.
void Floor(benchmark::State& state, const std::string& path) {
  const Files& files = Prepared();
  BIO* certBio = BIO_new_file(files.leafCert.c_str(), "r");
  X509* cert = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
  BIO_free(certBio);
  BIO* keyBio = BIO_new_file((files.folder + "/fixtures/pki/alpha.key").c_str(), "r");
  EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
  BIO_free(keyBio);
  const unsigned char message[32] = {1};
  unsigned char signature[256];
  size_t signatureLength = sizeof signature;
  EVP_MD_CTX* signer = EVP_MD_CTX_new();
  EVP_DigestSignInit(signer, nullptr, EVP_sha256(), nullptr, key);
  EVP_DigestSign(signer, signature, &signatureLength, message, sizeof message);
  EVP_MD_CTX_free(signer);
  for (auto _ : state) {
    std::vector<BYTE> file;
    ReadWholeFile(path, &file);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    EVP_Digest(file.data(), file.size(), digest, &digestLength, EVP_sha256(), nullptr);
    EVP_MD_CTX* verifier = EVP_MD_CTX_new();
    EVP_DigestVerifyInit(verifier, nullptr, EVP_sha256(), nullptr, X509_get0_pubkey(cert));
    benchmark::DoNotOptimize(EVP_DigestVerify(verifier, signature, signatureLength, digest, digestLength));
    EVP_MD_CTX_free(verifier);
  }
  EVP_PKEY_free(key);
  X509_free(cert);
}

void BM_FloorElf(benchmark::State& state) { Floor(state, Prepared().elf); }
void BM_FloorPe(benchmark::State& state) { Floor(state, Prepared().pe); }

BENCHMARK(BM_FloorElf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloorPe)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ValidateElf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ValidatePe)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  const int result = lumora::bench::RunWithRatios(
      argc, argv, {{"BM_ValidateElf", "BM_FloorElf", 1.3}, {"BM_ValidatePe", "BM_FloorPe", 1.3}});
  std::filesystem::remove_all(Prepared().folder);
  return result;
}
