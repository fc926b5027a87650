// GrantSectionAccess end to end for a signed partner library of 20 MB, against one
// ValidateExe of the same file in the same run. A first grant of a file checks it once
// (the grant's second look at the caller finds the verdict it just made); a repeated
// grant of the unchanged file hashes nothing.
#include <dlfcn.h>
#include <sys/stat.h>
#include <utime.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench_main.h"
#include "lumora/profile.h"
#include "lumora/values.h"
#include "trust/validate_exe.h"
#include "trust/verdict_cache.h"

namespace fs = std::filesystem;
using namespace lumora;

namespace {

struct Installation {
  std::string home;
  std::string partner;  // the signed library
  void* library = nullptr;
  long (*grant)(IPRProfile*, const char*) = nullptr;
  ComPtr<IPRProfile> profile;
  bool ok = false;
};

int Run(const std::string& command) { return std::system(command.c_str()); }

Installation& Setup() {
  static Installation installation = [] {
    Installation made;
    char folder[] = "/tmp/lumora-grant-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) return made;
    made.home = folder;
    setenv("LUMORA_HOME", folder, 1);
    const std::string pki = made.home + "/pki";
    made.partner = made.home + "/libbench-partner.so";
    if (Run(std::string(LUMORA_MAKE_SIGNER) + " " + pki + " " + LUMORA_SIGN + " " + LUMORA_GRANT_PARTNER + " " +
            made.partner + " > /dev/null") != 0 ||
        Run(std::string(LUMORA_ADMIN) + " --home " + made.home + " init > /dev/null") != 0 ||
        Run(std::string(LUMORA_ADMIN) + " --home " + made.home + " trust add " + pki + "/root.pem > /dev/null") != 0) {
      return made;
    }
    made.library = dlopen(made.partner.c_str(), RTLD_NOW);
    if (made.library == nullptr) return made;
    made.grant = reinterpret_cast<long (*)(IPRProfile*, const char*)>(dlsym(made.library, "BenchGrant"));
    if (CoCreateInstance(CLSID_PRProfile, nullptr, CLSCTX_INPROC_SERVER, IID_IPRProfile, made.profile.put_void()) !=
        S_OK) {
      return made;
    }
    // The library's file must be settled (older than the file times' grain) to be remembered.
    const struct utimbuf old { 1600000000, 1600000000 };
    utime(made.partner.c_str(), &old);
    made.ok = made.grant != nullptr && made.grant(made.profile.get(), "com.bench.partner") == S_OK;
    return made;
  }();
  return installation;
}

// A new state of the trusted roots: verdicts made under the old one are not used.
void TouchAnchors(const Installation& installation) {
  const std::string roots = installation.home + "/install/TrustedRoots.pem";
  utime(roots.c_str(), nullptr);
}

void BM_ValidateOnce(benchmark::State& state) {
  Installation& installation = Setup();
  if (!installation.ok) return state.SkipWithError("the benchmark's installation could not be made");
  const std::string anchors = installation.home + "/install/TrustedRoots.pem";
  for (auto _ : state) {
    ForgetVerdicts();
    ValidateExe check(installation.partner);
    check.SetTrustAnchors(anchors);
    if (!check.Validate()) return state.SkipWithError("the signed library does not validate");
  }
}

void BM_FirstGrant(benchmark::State& state) {
  Installation& installation = Setup();
  if (!installation.ok) return state.SkipWithError("the benchmark's installation could not be made");
  for (auto _ : state) {
    state.PauseTiming();
    TouchAnchors(installation);
    state.ResumeTiming();
    if (installation.grant(installation.profile.get(), "com.bench.partner") != S_OK) {
      return state.SkipWithError("the grant was refused");
    }
  }
}

void BM_RepeatedGrant(benchmark::State& state) {
  Installation& installation = Setup();
  if (!installation.ok) return state.SkipWithError("the benchmark's installation could not be made");
  installation.grant(installation.profile.get(), "com.bench.partner");
  for (auto _ : state) {
    if (installation.grant(installation.profile.get(), "com.bench.partner") != S_OK) {
      return state.SkipWithError("the grant was refused");
    }
  }
}

BENCHMARK(BM_ValidateOnce)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstGrant)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepeatedGrant)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  const int result = bench::RunWithRatios(
      argc, argv, {{"BM_FirstGrant", "BM_ValidateOnce", 1.3}, {"BM_RepeatedGrant", "BM_ValidateOnce", 0.1}},
      {"--benchmark_repetitions=5"});
  Installation& installation = Setup();
  installation.profile.reset();
  if (!installation.home.empty()) fs::remove_all(installation.home);
  return result;
}
