// UCrypt32 and UImagehlp: process-wide wrappers of the code-signature system libraries.
// Each holds the module handle of its library and looks every entry point up by name at
// each call; a call without the library or the entry point fails with the last error
// 1157. Users load the library on construction and free it on destruction; the wrapper
// counts them, so that one user's end never takes the library from another, and a failed
// load is traced and leaves no handle. The count and the handle are guarded by the
// wrapper's own lock, so users on several threads may come and go at once.
#ifndef LUMORA_TRUST_SYSTEM_WRAPPERS_H_
#define LUMORA_TRUST_SYSTEM_WRAPPERS_H_

#include <mutex>
#include <string>
#include <vector>

#include "platform/codesign/crypt_message.h"
#include "platform/codesign/image_certificates.h"
#include "platform/codesign/system_library.h"

namespace lumora {

class USystemLibrary {
 public:
  USystemLibrary(const char* libraryName, const char* loadTrace) : m_libraryName(libraryName), m_loadTrace(loadTrace) {}
  USystemLibrary(const USystemLibrary&) = delete;
  USystemLibrary& operator=(const USystemLibrary&) = delete;
  void Load();
  void Free();
  bool IsLoaded() const;
  long Users() const;

 protected:
  // The entry point, or null with the last error set to 1157.
  void* Proc(const char* name) const;

 private:
  const char* m_libraryName;
  const char* m_loadTrace;
  mutable std::mutex m_mutex;
  HMODULE m_module = nullptr;  // guarded by m_mutex
  long m_users = 0;            // guarded by m_mutex
};

class UCrypt32 : public USystemLibrary {
 public:
  UCrypt32() : USystemLibrary("CRYPT32.DLL", "CRYPT32::CRYPT32: error loading: %ld") {}
  HRESULT MessageDecode(const BYTE* data, DWORD length, CryptMessagePtr* message) const;
  HRESULT MessageFirstSigner(const CryptMessage* message, CertIssuerSerial* signer) const;
  CertificateStore MessageCertificates(const CryptMessage* message) const;
  CertificatePtr FindByIssuerSerial(const CertificateStore& store, const CertIssuerSerial& id) const;
  HRESULT VerifySignature(const CryptMessage* message, const CryptCertificate* signer) const;
  std::string NameToStr(const CryptCertificate* certificate, DWORD strType) const;
  std::vector<BYTE> PublicKeyInfo(const CryptCertificate* certificate) const;
  bool Compare(const CryptCertificate* a, const CryptCertificate* b) const;
  // -1 before, 0 within, 1 after the validity period; 1 also when the call fails.
  LONG VerifyTimeValidity(const CryptCertificate* certificate) const;
};

class UImagehlp : public USystemLibrary {
 public:
  UImagehlp() : USystemLibrary("IMAGEHLP.DLL", "UImagehlp::UImagehlp: error loading: %ld") {}
  // On the bytes of the open (mapped) file.
  BOOL EnumerateCertificates(FileBytes file, WORD typeFilter, DWORD* count, DWORD* indices, DWORD indexCount) const;
  BOOL GetCertificateData(FileBytes file, DWORD index, WIN_CERTIFICATE* certificate, DWORD* length) const;
};

// The process-wide wrappers: two of CRYPT32 (the decoder's and the container's), one of
// IMAGEHLP (the file check's).
UCrypt32& DecoderCrypt32();
UCrypt32& ContainerCrypt32();
UImagehlp& Imagehlp();

}  // namespace lumora

#endif  // LUMORA_TRUST_SYSTEM_WRAPPERS_H_
