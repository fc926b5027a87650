// Protection of stored values: a raw value is encrypted with RC2 under a key derived from
// the database password, behind 16 random bytes (the first 8 are the IV), and stored as
// upper-case hexadecimal text. The provider must be held (a profile object holds it).
// Any thread.
#ifndef LUMORA_STORE_VALUE_PROTECTION_H_
#define LUMORA_STORE_VALUE_PROTECTION_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lumora/automation.h"

namespace lumora {

// The not-set marker: "no value" for every type; stored as it is.
inline constexpr std::string_view kNotSetMarker = "\x02\x02";
// The longest raw value that can be protected (with its terminating zero byte it fills
// the 1008-byte encryption buffer).
inline constexpr size_t kMaxRawValueLength = 1006;

// The stored text of `raw`. A raw value longer than kMaxRawValueLength is refused with
// E_INVALIDARG and a failed encryption with eErrorCipherEncryptingFailed (both thrown as
// HResultException): nothing that could not be protected is ever stored.
std::string ProtectValue(std::string_view raw);
// The raw text of a stored text; the empty text for anything that does not decrypt.
std::string UnprotectValue(std::string_view stored);
// UnprotectValue(stored) == raw, decrypting no further than the first block that differs:
// a write asks it of every value it replaces, and a new value mostly differs early.
bool StoredValueIs(std::string_view stored, std::string_view raw);

// A new block: 16 random bytes, then the RC2-CBC ciphertext of `data`. S_OK or E_FAIL.
HRESULT EncryptBytes(const BYTE* data, DWORD length, std::vector<BYTE>* block);
// Decrypts a block made by EncryptBytes; on success the plaintext stands at the start of
// `block` and *plainLength tells its length. S_OK or E_FAIL (the block is then unchanged).
HRESULT DecryptBytes(BYTE* block, DWORD length, DWORD* plainLength);
// Two upper-case digits per byte, high nibble first.
std::string BytesToHex(const BYTE* bytes, size_t count);
// Half as many bytes plus a terminating zero byte, or nothing for an odd length or any
// character other than '0'-'9' and 'A'-'F'.
std::optional<std::vector<BYTE>> HexToBytes(std::string_view text);

}  // namespace lumora

#endif  // LUMORA_STORE_VALUE_PROTECTION_H_
