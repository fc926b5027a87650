// The platform's result codes and error numbers, under their familiar names: the
// automation runtime's HRESULTs, the system error numbers (ERROR_*) that GetLastError
// reports, and the codes of the cryptography, certificate and trust services (NTE_*,
// CRYPT_E_*, TRUST_E_*, CERT_E_*). The one place these values are defined.
#ifndef LUMORA_WINERROR_H_
#define LUMORA_WINERROR_H_

#include <cstdint>

using HRESULT = int32_t;

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
constexpr HRESULT MAKE_HRESULT(uint32_t severity, uint32_t facility, uint32_t code) {
  return static_cast<HRESULT>((severity << 31) | (facility << 16) | code);
}
constexpr HRESULT HRESULT_FROM_WIN32(uint32_t error) {
  return static_cast<HRESULT>(error) <= 0 ? static_cast<HRESULT>(error)
                                          : static_cast<HRESULT>((error & 0x0000FFFFu) | (7u << 16) | 0x80000000u);
}

#define LUMORA_HR(value) static_cast<HRESULT>(static_cast<uint32_t>(value))
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT NOERROR = 0;
inline constexpr HRESULT E_NOTIMPL = LUMORA_HR(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = LUMORA_HR(0x80004002);
inline constexpr HRESULT E_POINTER = LUMORA_HR(0x80004003);
inline constexpr HRESULT E_ABORT = LUMORA_HR(0x80004004);
inline constexpr HRESULT E_FAIL = LUMORA_HR(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = LUMORA_HR(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = LUMORA_HR(0x80070005);
inline constexpr HRESULT E_HANDLE = LUMORA_HR(0x80070006);
inline constexpr HRESULT E_OUTOFMEMORY = LUMORA_HR(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = LUMORA_HR(0x80070057);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = LUMORA_HR(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = LUMORA_HR(0x80040111);
inline constexpr HRESULT REGDB_E_READREGDB = LUMORA_HR(0x80040150);
inline constexpr HRESULT REGDB_E_WRITEREGDB = LUMORA_HR(0x80040151);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = LUMORA_HR(0x80040154);
inline constexpr HRESULT CO_E_CLASSSTRING = LUMORA_HR(0x800401F3);
inline constexpr HRESULT CO_E_DLLNOTFOUND = LUMORA_HR(0x800401F8);
inline constexpr HRESULT CO_E_ERRORINDLL = LUMORA_HR(0x800401F9);
inline constexpr HRESULT CO_E_OBJNOTREG = LUMORA_HR(0x800401FB);
inline constexpr HRESULT CONNECT_E_NOCONNECTION = LUMORA_HR(0x80040200);
inline constexpr HRESULT CONNECT_E_ADVISELIMIT = LUMORA_HR(0x80040201);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = LUMORA_HR(0x80040202);
inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = LUMORA_HR(0x80020001);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = LUMORA_HR(0x80020003);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = LUMORA_HR(0x80020004);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = LUMORA_HR(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = LUMORA_HR(0x80020006);
inline constexpr HRESULT DISP_E_NONAMEDARGS = LUMORA_HR(0x80020007);
inline constexpr HRESULT DISP_E_BADVARTYPE = LUMORA_HR(0x80020008);
inline constexpr HRESULT DISP_E_EXCEPTION = LUMORA_HR(0x80020009);
inline constexpr HRESULT DISP_E_OVERFLOW = LUMORA_HR(0x8002000A);
inline constexpr HRESULT DISP_E_BADINDEX = LUMORA_HR(0x8002000B);
inline constexpr HRESULT DISP_E_UNKNOWNLCID = LUMORA_HR(0x8002000C);
inline constexpr HRESULT DISP_E_ARRAYISLOCKED = LUMORA_HR(0x8002000D);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = LUMORA_HR(0x8002000E);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = LUMORA_HR(0x8002000F);
inline constexpr HRESULT DISP_E_BADCALLEE = LUMORA_HR(0x80020010);
inline constexpr HRESULT DISP_E_NOTACOLLECTION = LUMORA_HR(0x80020011);
inline constexpr HRESULT DISP_E_DIVBYZERO = LUMORA_HR(0x80020012);
inline constexpr HRESULT DISP_E_BUFFERTOOSMALL = LUMORA_HR(0x80020013);
#undef LUMORA_HR

// System error numbers (GetLastError).
inline constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr uint32_t ERROR_ACCESS_DENIED = 5;
inline constexpr uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr uint32_t ERROR_INVALID_DATA = 13;
inline constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr uint32_t ERROR_MOD_NOT_FOUND = 126;
inline constexpr uint32_t ERROR_PROC_NOT_FOUND = 127;
inline constexpr uint32_t ERROR_BAD_EXE_FORMAT = 193;
inline constexpr uint32_t ERROR_MORE_DATA = 234;
inline constexpr uint32_t ERROR_DIRECTORY_NOT_SUPPORTED = 336;
inline constexpr uint32_t ERROR_FILE_INVALID = 1006;
inline constexpr uint32_t ERROR_DLL_NOT_FOUND = 1157;
inline constexpr uint32_t ERROR_NOT_FOUND = 1168;
inline constexpr uint32_t ERROR_CANCELLED = 1223;

// Cryptography, signed messages, certificates and trust.
inline constexpr HRESULT NTE_BAD_HASH = static_cast<HRESULT>(0x80090002u);
inline constexpr HRESULT NTE_BAD_KEY = static_cast<HRESULT>(0x80090003u);
inline constexpr HRESULT NTE_BAD_LEN = static_cast<HRESULT>(0x80090004u);
inline constexpr HRESULT NTE_BAD_DATA = static_cast<HRESULT>(0x80090005u);
inline constexpr HRESULT NTE_BAD_SIGNATURE = static_cast<HRESULT>(0x80090006u);
inline constexpr HRESULT NTE_BAD_ALGID = static_cast<HRESULT>(0x80090008u);
inline constexpr HRESULT NTE_BAD_KEYSET = static_cast<HRESULT>(0x80090016u);
inline constexpr HRESULT NTE_FAIL = static_cast<HRESULT>(0x80090020u);
inline constexpr HRESULT CRYPT_E_HASH_VALUE = static_cast<HRESULT>(0x80091007u);
inline constexpr HRESULT CRYPT_E_SIGNER_NOT_FOUND = static_cast<HRESULT>(0x8009100Eu);
inline constexpr HRESULT CRYPT_E_NOT_FOUND = static_cast<HRESULT>(0x80092004u);
inline constexpr HRESULT CRYPT_E_UNEXPECTED_MSG_TYPE = static_cast<HRESULT>(0x8009200Au);
inline constexpr HRESULT CRYPT_E_ASN1_BADTAG = static_cast<HRESULT>(0x8009310Bu);
inline constexpr HRESULT TRUST_E_TIME_STAMP = static_cast<HRESULT>(0x80096005u);
inline constexpr HRESULT TRUST_E_BAD_DIGEST = static_cast<HRESULT>(0x80096010u);
inline constexpr HRESULT TRUST_E_MALFORMED_SIGNATURE = static_cast<HRESULT>(0x80096011u);
inline constexpr HRESULT TRUST_E_BASIC_CONSTRAINTS = static_cast<HRESULT>(0x80096019u);
inline constexpr HRESULT TRUST_E_PROVIDER_UNKNOWN = static_cast<HRESULT>(0x800B0001u);
inline constexpr HRESULT TRUST_E_ACTION_UNKNOWN = static_cast<HRESULT>(0x800B0002u);
inline constexpr HRESULT TRUST_E_SUBJECT_FORM_UNKNOWN = static_cast<HRESULT>(0x800B0003u);
inline constexpr HRESULT TRUST_E_SUBJECT_NOT_TRUSTED = static_cast<HRESULT>(0x800B0004u);
inline constexpr HRESULT TRUST_E_NOSIGNATURE = static_cast<HRESULT>(0x800B0100u);
inline constexpr HRESULT CERT_E_EXPIRED = static_cast<HRESULT>(0x800B0101u);
inline constexpr HRESULT CERT_E_UNTRUSTEDROOT = static_cast<HRESULT>(0x800B0109u);
inline constexpr HRESULT CERT_E_CHAINING = static_cast<HRESULT>(0x800B010Au);
inline constexpr HRESULT CERT_E_REVOKED = static_cast<HRESULT>(0x800B010Cu);
inline constexpr HRESULT CERT_E_REVOCATION_FAILURE = static_cast<HRESULT>(0x800B010Eu);
inline constexpr HRESULT CERT_E_WRONG_USAGE = static_cast<HRESULT>(0x800B0110u);

#endif  // LUMORA_WINERROR_H_
