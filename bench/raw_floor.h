// The floors' own value protection, done directly with nettle: the key is RC2 under the
// MD5 of the store's password, a stored value is hex of an 8-byte IV, a byte, the
// ciphertext and a last byte (as the store writes it).
#ifndef LUMORA_BENCH_RAW_FLOOR_H_
#define LUMORA_BENCH_RAW_FLOOR_H_

#include <benchmark/benchmark.h>
#include <nettle/arctwo.h>
#include <nettle/cbc.h>
#include <nettle/md5.h>

#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/value_protection.h"

namespace lumora::bench {

struct RawKeyDigest {
  uint8_t bytes[MD5_DIGEST_SIZE];
};

inline RawKeyDigest DigestOfPassword(const std::string& password) {
  RawKeyDigest digest;
  md5_ctx md5;
  md5_init(&md5);
  md5_update(&md5, password.size(), reinterpret_cast<const uint8_t*>(password.data()));
  md5_digest(&md5, sizeof digest.bytes, digest.bytes);
  return digest;
}

inline void SetRawKey(arctwo_ctx* key, const RawKeyDigest& digest) {
  arctwo_set_key_ekb(key, sizeof digest.bytes, digest.bytes, 128);
}

// Decrypts one stored value (a column's text) and keeps the result from the optimiser.
inline void DecryptStored(const arctwo_ctx& key, const char* text, size_t length) {
  const std::optional<std::vector<BYTE>> bytes = HexToBytes(std::string_view(text == nullptr ? "" : text, length));
  if (!bytes || bytes->size() <= 17 || (bytes->size() - 17) % 8 != 0) return;
  uint8_t iv[8];
  std::memcpy(iv, bytes->data(), 8);
  std::vector<uint8_t> plain(bytes->size() - 17);
  cbc_decrypt(&key, reinterpret_cast<nettle_cipher_func*>(&arctwo_decrypt), 8, iv, plain.size(), plain.data(),
              bytes->data() + 16);
  benchmark::DoNotOptimize(plain.data());
}

}  // namespace lumora::bench

#endif  // LUMORA_BENCH_RAW_FLOOR_H_
