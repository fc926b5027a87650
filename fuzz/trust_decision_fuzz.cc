// Fuzz target: the whole check of one file's bytes as the store runs it (the record
// readers, the signed message and its signer name, the strict forms, the digests and the
// chain policy), for PE images, cabinets and ELF modules alike. It must never crash,
// leak or read outside the bytes, and its verdict must not depend on anything but them.
// Set LUMORA_FUZZ_ANCHORS to the test PKI's anchors file (made by
// tests/fixtures/make_fixtures.sh) so that the chain steps are reached; seed the corpus
// with the fixtures' signed files.
#include <cstdlib>
#include <string>

#include "trust/validate_exe.h"

namespace {

class BytesCheck : public lumora::ValidateExe {
 public:
  using ValidateExe::ValidateBytes;
};

std::string Anchors() {
  const char* anchors = std::getenv("LUMORA_FUZZ_ANCHORS");
  return anchors != nullptr ? anchors : "/nonexistent/anchors.pem";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string anchors = Anchors();
  const std::span<const BYTE> file(data, size);
  BytesCheck first;
  first.SetTrustAnchors(anchors);
  const bool valid = first.ValidateBytes(file, "fuzz");
  BytesCheck second;
  second.SetTrustAnchors(anchors);
  if (second.ValidateBytes(file, "fuzz") != valid || second.LastResult() != first.LastResult() ||
      second.SignerName() != first.SignerName()) {
    std::abort();
  }
  return 0;
}
