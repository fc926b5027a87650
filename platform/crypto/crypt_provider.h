// The cryptographic provider: provider contexts, random bytes, MD5 hashing, RC2 keys
// derived from a hash, and RC2-CBC with PKCS#5 padding, under the platform's CryptoAPI
// names so that the store reads as written. Handles are owned by the caller and given
// back with the matching Destroy / Release call. A handle that is not live (released,
// destroyed, never given out, or of another kind) fails the call: ERROR_INVALID_HANDLE
// for a provider, NTE_BAD_HASH for a hash, NTE_BAD_KEY for a key. Failures return FALSE
// and leave the reason in GetLastError. Any thread; a handle is used by one thread at a
// time.
#ifndef LUMORA_PLATFORM_CRYPTO_CRYPT_PROVIDER_H_
#define LUMORA_PLATFORM_CRYPTO_CRYPT_PROVIDER_H_

#include <cstdint>

#include "lumora/automation.h"

using HCRYPTPROV = uintptr_t;
using HCRYPTHASH = uintptr_t;
using HCRYPTKEY = uintptr_t;
using ALG_ID = uint32_t;

inline constexpr DWORD PROV_RSA_FULL = 1;
inline constexpr DWORD CRYPT_NEWKEYSET = 0x8;
inline constexpr DWORD CRYPT_VERIFYCONTEXT = 0xF0000000;
inline constexpr ALG_ID CALG_MD5 = 0x8003;
inline constexpr ALG_ID CALG_RC2 = 0x6602;
inline constexpr DWORD KP_IV = 1;
inline constexpr DWORD KP_EFFECTIVE_KEYLEN = 19;
inline constexpr BYTE PLAINTEXTKEYBLOB = 0x8;
inline constexpr DWORD HP_HASHVAL = 2;
inline constexpr DWORD HP_HASHSIZE = 4;

BOOL CryptAcquireContextA(HCRYPTPROV* phProv, const char* container, const char* provider, DWORD provType, DWORD flags);
BOOL CryptReleaseContext(HCRYPTPROV hProv, DWORD flags);
BOOL CryptGenRandom(HCRYPTPROV hProv, DWORD length, BYTE* buffer);
BOOL CryptCreateHash(HCRYPTPROV hProv, ALG_ID algid, HCRYPTKEY hKey, DWORD flags, HCRYPTHASH* phHash);
BOOL CryptHashData(HCRYPTHASH hHash, const BYTE* data, DWORD length, DWORD flags);
BOOL CryptGetHashParam(HCRYPTHASH hHash, DWORD param, BYTE* data, DWORD* length, DWORD flags);
BOOL CryptDestroyHash(HCRYPTHASH hHash);
// RC2 keys: the 16 bytes of the MD5 hash, effective key length 128 bits; IV zero until set.
BOOL CryptDeriveKey(HCRYPTPROV hProv, ALG_ID algid, HCRYPTHASH hBaseData, DWORD flags, HCRYPTKEY* phKey);
// Imports a plain RC2 key: BLOBHEADER {PLAINTEXTKEYBLOB, 2, 0, CALG_RC2}, a DWORD key
// length, then the key bytes. The effective key length starts at 128 bits.
BOOL CryptImportKey(HCRYPTPROV hProv, const BYTE* data, DWORD length, HCRYPTKEY hPubKey, DWORD flags, HCRYPTKEY* phKey);
// KP_IV (8 bytes) or KP_EFFECTIVE_KEYLEN (a DWORD count of bits, 1 to 1024).
BOOL CryptSetKeyParam(HCRYPTKEY hKey, DWORD param, const BYTE* data, DWORD flags);
// Encrypts *length bytes in place; with `final` the PKCS#5 padding is added, which needs
// room in the buffer (else ERROR_MORE_DATA with the needed length in *length).
BOOL CryptEncrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL final, DWORD flags, BYTE* data, DWORD* length,
                  DWORD bufferLength);
// Decrypts *length bytes in place; with `final` the padding is checked and removed. A
// length that is not whole blocks, or bad padding, fails with NTE_BAD_DATA and leaves the
// buffer as it was.
BOOL CryptDecrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL final, DWORD flags, BYTE* data, DWORD* length);
BOOL CryptDestroyKey(HCRYPTKEY hKey);

namespace lumora::crypto {

// Test seams. A failure code other than S_OK makes every acquisition fail with it
// (NTE_BAD_KEYSET fails only acquisitions without CRYPT_NEWKEYSET); `noRandom` makes
// CryptGenRandom fail.
void SetAcquisitionFailure(HRESULT failure);
void SetRandomFailure(bool noRandom);
// Provider contexts acquired and not yet released in this process.
long OpenProviderContexts();

}  // namespace lumora::crypto

#endif  // LUMORA_PLATFORM_CRYPTO_CRYPT_PROVIDER_H_
