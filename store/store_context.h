// The store context, one per process: the kept database password, the cryptographic
// provider handle and its use count; and the pieces in which the password is kept
// (setting 16 and the stored variable "csum" of component "main", neither in plain).
// Guarded by the process-wide state lock; any thread.
#ifndef LUMORA_STORE_STORE_CONTEXT_H_
#define LUMORA_STORE_STORE_CONTEXT_H_

#include <string>

#include "platform/crypto/crypt_provider.h"

namespace lumora {

// Takes a counted reference on the process-wide provider, acquiring it for the first
// user. 0 on success, -1 when the provider cannot be had (the count is then unchanged).
int AcquireCryptProvider();
// Gives one reference back; the last one releases the provider. Always 0.
int ReleaseCryptProvider();
// The provider handle while someone holds it, else 0.
HCRYPTPROV CryptProvider();
long CryptProviderUseCount();

// Copies the password (at most size - 1 characters and a terminator) into `buffer`.
// Returns 0 when an existing password was found, 1 when a new one was just made and its
// pieces stored, and -1 when no password could be had: the settings service cannot be
// reached, or the pieces of a new one could not be stored (a password that cannot be
// kept is never handed out). The caller holds the provider.
int GetDatabasePassword(char* buffer, int size);
// Scrambles and writes both pieces: setting 16 = password ^ mask ^ first fixed mask,
// "csum" = mask ^ second fixed mask (digit by digit).
HRESULT StoreDatabasePassword(const std::string& password, const std::string& mask);
// Combines two hexadecimal digit strings digit by digit, in place on `target`, over the
// shorter length; a position where either is not an upper-case hex digit becomes '0'.
void XorHexDigits(std::string& target, const std::string& other);

// Forgets the kept password, as a new process would start. For tests only.
void ForgetKeptPasswordForTests();

}  // namespace lumora

#endif  // LUMORA_STORE_STORE_CONTEXT_H_
