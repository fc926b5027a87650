// Signature benchmarks: ValidateExe::Validate of a signed 100 MB ELF module, PE image and
// cabinet, each against the physical floor of the same file measured in the same run:
// mapping it, one SHA-256 pass over it and one signature verification with OpenSSL
// (target: at most 1.3x). Each benchmark also reports the peak of heap memory during one
// call (peak_heap_KiB): the file's pages stay the page cache's, so it must stay far below
// the file's size. LUMORA_SIG_BENCH_MB sets another file size.
#include <malloc.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <stdlib.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include "bench/bench_main.h"
#include "platform/codesign/image_certificates.h"
#include "platform/codesign/openssl_owners.h"
#include "trust/validate_exe.h"

namespace {

// Heap accounting: every allocation through operator new and OpenSSL's allocator.
std::atomic<size_t> g_heap{0};
std::atomic<size_t> g_peak{0};

void* Counted(void* block) {
  if (block == nullptr) return nullptr;
  const size_t now = g_heap += malloc_usable_size(block);
  size_t peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
  return block;
}

void Uncount(void* block) {
  if (block != nullptr) g_heap -= malloc_usable_size(block);
}

void* CountedMalloc(size_t size, const char*, int) { return Counted(std::malloc(size)); }
void* CountedRealloc(void* block, size_t size, const char*, int) {
  Uncount(block);
  return Counted(std::realloc(block, size));
}
void CountedFree(void* block, const char*, int) {
  Uncount(block);
  std::free(block);
}

// The peak of heap memory above its level at construction, while the object lives.
class HeapPeak {
 public:
  HeapPeak() : m_base(g_heap.load()) { g_peak = m_base; }
  size_t Above() const { return g_peak.load() - m_base; }

 private:
  size_t m_base;
};

size_t FileSize() {
  const char* megabytes = std::getenv("LUMORA_SIG_BENCH_MB");
  return (megabytes != nullptr ? std::strtoul(megabytes, nullptr, 10) : 100) * 1000 * 1000;
}

struct Files {
  std::string folder;
  std::string elf;
  std::string pe;
  std::string cab;
  std::string anchors;
  std::string pki;
};

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

const Files& Prepared() {
  static const Files files = [] {
    Files f;
    std::string pattern = (std::filesystem::temp_directory_path() / "lumora-sigbench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    f.folder = pattern;
    const std::string fixtures = f.folder + "/fixtures";
    if (!Run(std::string(LUMORA_MAKE_FIXTURES) + " " + fixtures + " " + LUMORA_SIGN + " " + LUMORA_SAMPLE_MODULE + " " +
             LUMORA_SAMPLE_MODULE + " >/dev/null")) {
      std::abort();
    }
    f.anchors = fixtures + "/pki/anchors.pem";
    f.pki = fixtures + "/pki/";
    const size_t size = FileSize();
    // An ELF module: the sample with data after it, then signed.
    std::vector<BYTE> module;
    ReadWholeFile(LUMORA_SAMPLE_MODULE, &module);
    module.resize(size, 0x5A);
    const std::string bigElf = f.folder + "/big.so";
    std::ofstream(bigElf, std::ios::binary)
        .write(reinterpret_cast<const char*>(module.data()), static_cast<std::streamsize>(module.size()));
    module = {};
    f.elf = f.folder + "/big-signed.so";
    if (!Run(std::string(LUMORA_SIGN) + " --cert " + f.pki + "alpha.pem --key " + f.pki + "alpha.key --chain " + f.pki +
             "alpha-chain.pem --out " + f.elf + " " + bigElf + " >/dev/null")) {
      std::abort();
    }
    // A PE image (a resource-only library whose resource is the data) and a cabinet
    // holding the data, signed with osslsigncode.
    std::ofstream(f.folder + "/big.bin", std::ios::binary) << std::string(size, 'P');
    std::ofstream(f.folder + "/big.rc") << "1 RCDATA \"" << f.folder << "/big.bin\"\n";
    const std::string sign =
        " && osslsigncode sign -certs " + f.pki + "alpha-chain.pem -key " + f.pki + "alpha.key -h sha256 -in ";
    if (!Run("cd " + f.folder +
             " && i686-w64-mingw32-windres --preprocessor=cat -i big.rc -O coff -o big.o"
             " && i686-w64-mingw32-ld --dll -e 0 -o big.dll big.o" +
             sign + "big.dll -out big-signed.dll >/dev/null && gcab -c big.cab big.bin" + sign +
             "big.cab -out big-signed.cab >/dev/null && rm big.o big.dll big.cab big.bin big.so")) {
      std::abort();
    }
    f.pe = f.folder + "/big-signed.dll";
    f.cab = f.folder + "/big-signed.cab";
    return f;
  }();
  return files;
}

void Validate(benchmark::State& state, const std::string& path) {
  size_t peak = 0;
  for (auto _ : state) {
    const HeapPeak heap;
    lumora::ValidateExe check(path);
    check.SetTrustAnchors(Prepared().anchors);
    if (!check.Validate()) state.SkipWithError("the file did not validate");
    peak = std::max(peak, heap.Above());
  }
  state.counters["peak_heap_KiB"] = static_cast<double>(peak) / 1024;
  state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
}

void BM_ValidateElf(benchmark::State& state) { Validate(state, Prepared().elf); }
void BM_ValidatePe(benchmark::State& state) { Validate(state, Prepared().pe); }
void BM_ValidateCab(benchmark::State& state) { Validate(state, Prepared().cab); }

// The floor: map the file, hash it once, verify one signature with the leaf's key.
void Floor(benchmark::State& state, const std::string& path) {
  const Files& files = Prepared();
  const lumora::openssl::BioPtr certBio(BIO_new_file((files.pki + "alpha.pem").c_str(), "r"));
  const lumora::openssl::X509Ptr cert(PEM_read_bio_X509(certBio.get(), nullptr, nullptr, nullptr));
  const lumora::openssl::BioPtr keyBio(BIO_new_file((files.pki + "alpha.key").c_str(), "r"));
  const lumora::openssl::EvpPkeyPtr key(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr));
  const unsigned char message[32] = {1};
  unsigned char signature[256];
  size_t signatureLength = sizeof signature;
  {
    const lumora::openssl::EvpMdCtxPtr signer(EVP_MD_CTX_new());
    EVP_DigestSignInit(signer.get(), nullptr, EVP_sha256(), nullptr, key.get());
    EVP_DigestSign(signer.get(), signature, &signatureLength, message, sizeof message);
  }
  size_t peak = 0;
  for (auto _ : state) {
    const HeapPeak heap;
    const MappedFile file(path);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    EVP_Digest(file.bytes().data(), file.bytes().size(), digest, &digestLength, EVP_sha256(), nullptr);
    const lumora::openssl::EvpMdCtxPtr verifier(EVP_MD_CTX_new());
    EVP_DigestVerifyInit(verifier.get(), nullptr, EVP_sha256(), nullptr, X509_get0_pubkey(cert.get()));
    benchmark::DoNotOptimize(EVP_DigestVerify(verifier.get(), signature, signatureLength, digest, digestLength));
    peak = std::max(peak, heap.Above());
  }
  state.counters["peak_heap_KiB"] = static_cast<double>(peak) / 1024;
}

void BM_FloorElf(benchmark::State& state) { Floor(state, Prepared().elf); }
void BM_FloorPe(benchmark::State& state) { Floor(state, Prepared().pe); }
void BM_FloorCab(benchmark::State& state) { Floor(state, Prepared().cab); }

BENCHMARK(BM_FloorElf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ValidateElf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloorPe)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ValidatePe)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloorCab)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ValidateCab)->Unit(benchmark::kMillisecond);

}  // namespace

void* operator new(size_t size) {
  void* block = Counted(std::malloc(size == 0 ? 1 : size));
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* block) noexcept {
  Uncount(block);
  std::free(block);
}
void operator delete[](void* block) noexcept { operator delete(block); }
void operator delete(void* block, size_t) noexcept { operator delete(block); }
void operator delete[](void* block, size_t) noexcept { operator delete(block); }

int main(int argc, char** argv) {
  CRYPTO_set_mem_functions(CountedMalloc, CountedRealloc, CountedFree);
  const int result = lumora::bench::RunWithRatios(argc, argv,
                                                  {{"BM_ValidateElf", "BM_FloorElf", 1.3},
                                                   {"BM_ValidatePe", "BM_FloorPe", 1.3},
                                                   {"BM_ValidateCab", "BM_FloorCab", 1.3}});
  std::filesystem::remove_all(Prepared().folder);
  return result;
}
