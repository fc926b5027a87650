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
// Returns 0 when an existing password was found (kept in this process, or put back
// together from its two pieces), 1 when a new one was just made and its pieces stored,
// and -1 when no password could be had. A new password is made only when no sound pair
// of pieces is stored AND the database file still opens without a password: when the
// file has one, a lost or damaged piece is never "repaired" by overwriting the other,
// which would lose the password for good. Also -1 when the settings service cannot be
// reached, or the pieces of a new password could not be stored (a password that cannot
// be kept is never handed out). Never throws. The caller holds the provider.
int GetDatabasePassword(char* buffer, int size);

// What the two stored pieces say, read without writing anything.
enum class PasswordPieces {
  kNone,        // setting 16 empty or never stored: no password has been made
  kFound,       // both pieces sound: *password holds the password they make
  kDamaged,     // setting 16 holds text but a piece is missing or not 10 hex digits
  kUnreadable,  // a service cannot be created or its file cannot be read (*failure)
};
PasswordPieces ReadPasswordPieces(std::string* password, HRESULT* failure = nullptr);
// Scrambles and writes both pieces: setting 16 = password ^ mask ^ first fixed mask,
// "csum" = mask ^ second fixed mask (digit by digit).
HRESULT StoreDatabasePassword(const std::string& password, const std::string& mask);
// Combines two hexadecimal digit strings digit by digit, in place on `target`, over the
// shorter length; a position where either is not an upper-case hex digit becomes '0'.
void XorHexDigits(std::string& target, const std::string& other);

// The kept password, if one has been obtained in this process.
bool KeptPassword(std::string* password);
// Forgets the kept password. The store does so only when the database file refuses it
// (another process reset or changed the password since), so that it is put back together
// from the pieces again and never written onto the file.
void ForgetKeptPassword();
// Forgets the kept password, as a new process would start. For tests only.
void ForgetKeptPasswordForTests();

}  // namespace lumora

#endif  // LUMORA_STORE_STORE_CONTEXT_H_
