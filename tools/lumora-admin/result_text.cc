// The result codes an administrator meets, in words.
#include "result_text.h"

#include <cstdio>
#include <map>

#include "lumora/profile.h"
#include "platform/database/dao_exception.h"

namespace lumora::admin {

std::string ResultMeaning(HRESULT hr) {
  static const std::map<HRESULT, const char*> kMeanings = {
      {S_OK, "done"},
      {eWarningValueUnchanged, "unchanged: the variable already holds this value"},
      {eWarningOnlyValueChanged, "only the value changed"},
      {E_NOTIMPL, "not implemented by this version of the profile component"},
      {E_POINTER, "a missing argument"},
      {E_FAIL, "the operation failed"},
      {E_UNEXPECTED, "an unexpected failure"},
      {E_ACCESSDENIED, "access denied"},
      {E_OUTOFMEMORY, "out of memory"},
      {E_INVALIDARG, "an argument was refused (for a value: longer than 1006 characters, or not of the right form)"},
      {REGDB_E_CLASSNOTREG, "the class is not registered in this state folder (run init)"},
      {CO_E_CLASSSTRING, "the program identifier is not registered in this state folder (run init)"},
      {CO_E_DLLNOTFOUND, "the registered library cannot be loaded"},
      {CO_E_ERRORINDLL, "the registered library is not a usable component"},
      {kCancelledByUser, "refused (cancelled) in a consent dialog"},
      {HRESULT_FROM_WIN32(ERROR_NOT_FOUND), "not found"},
      {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "the file does not exist"},
      {HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), "the file cannot be read by this user"},
      {HRESULT_FROM_WIN32(ERROR_DIRECTORY_NOT_SUPPORTED), "a folder, not a file"},
      {HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT), "not a regular file"},
      {HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE), "the file cannot be read"},
      {HRESULT_FROM_WIN32(ERROR_FILE_INVALID), "the file changed while it was read"},
      {DISP_E_BADINDEX, "no such entry"},
      {eErrorRegKeyNotFound, "a setting the store needs is missing"},
      {eErrorCipherInitializingFailed,
       "the database password cannot be put together from its pieces ('lumora-admin check' tells why)"},
      {eErrorCipherEncryptingFailed, "the value could not be encrypted; nothing was stored"},
      {eErrorProfileTypeMismatch, "the value does not fit the variable's type"},
      {eErrorValueIsNotSet, "the variable has no value"},
      {eErrorKeyNotFound, "no such variable (or entry)"},
      {eErrorBadKey, "not a valid uki (section.key, optionally followed by [array key])"},
      {CDaoException::ScodeOf(kJetUnexpected), "the database engine failed"},
      {CDaoException::ScodeOf(kJetFileNotFound), "the database file does not exist"},
      {CDaoException::ScodeOf(kJetReadOnly), "the database or its lock file cannot be written by this user"},
      {CDaoException::ScodeOf(kJetBadPassword), "the database does not open with its password"},
      {CDaoException::ScodeOf(kJetFileInUse),
       "the store is in use by another program (it has the database open for itself, or keeps it open while this "
       "needs it alone)"},
      {CDaoException::ScodeOf(kJetNotADatabase), "the database is damaged ('lumora-admin check' tells more)"},
      {CDaoException::ScodeOf(kJetLockedByOtherUser), "the store is locked by another program; try again"},
      {CRYPT_E_ASN1_BADTAG, "not a signed message"},
      {CRYPT_E_UNEXPECTED_MSG_TYPE, "not a signed message"},
      {CRYPT_E_NOT_FOUND, "the signed message has no signer"},
      {CRYPT_E_SIGNER_NOT_FOUND, "the signer's certificate is missing from the signed message"},
      {TRUST_E_NOSIGNATURE, "the file is not signed"},
      {TRUST_E_MALFORMED_SIGNATURE, "the signature is malformed"},
      {TRUST_E_SUBJECT_FORM_UNKNOWN, "not a PE, cabinet or ELF file"},
      {TRUST_E_BAD_DIGEST, "the signature does not verify"},
      {CRYPT_E_HASH_VALUE, "the file does not match its signature"},
      {NTE_BAD_ALGID, "a weak or unknown digest"},
      {TRUST_E_TIME_STAMP, "signed outside the certificate's validity"},
      {CERT_E_UNTRUSTEDROOT, "the certificate's chain is not trusted here"},
      {CERT_E_CHAINING, "the certificate's chain is not trusted here"},
      {CERT_E_EXPIRED, "the certificate has expired (or is not valid yet)"},
      {CERT_E_REVOKED, "the certificate is revoked"},
      {CERT_E_WRONG_USAGE, "the certificate does not allow code signing"},
      {TRUST_E_BASIC_CONSTRAINTS, "the signer's certificate is a certification authority"},
  };
  const auto found = kMeanings.find(hr);
  if (found != kMeanings.end()) return found->second;
  char text[48];
  std::snprintf(text, sizeof text, "result code 0x%08X", static_cast<unsigned>(hr));
  return text;
}

std::string Explained(HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  return std::string(code) + ": " + ResultMeaning(hr);
}

}  // namespace lumora::admin
