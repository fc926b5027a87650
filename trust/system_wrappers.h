// UCrypt32 and UImagehlp: process-wide wrappers of the code-signature system libraries.
// Each holds the module handle of its library and looks every entry point up by name at
// each call; a call without the library or the entry point fails with the last error
// 1157. Users load the library on construction and free it on destruction; the wrapper
// counts them, so that one user's end never takes the library from another (a failed load
// is traced and leaves no handle). Calling thread only.
#ifndef LUMORA_TRUST_SYSTEM_WRAPPERS_H_
#define LUMORA_TRUST_SYSTEM_WRAPPERS_H_

#include <string>
#include <vector>

#include "platform/codesign/crypt_message.h"
#include "platform/codesign/image_certificates.h"
#include "platform/codesign/system_library.h"

namespace lumora {

class USystemLibrary {
 public:
  USystemLibrary(const char* libraryName, const char* loadTrace) : m_libraryName(libraryName), m_loadTrace(loadTrace) {}
  void Load();
  void Free();
  bool IsLoaded() const { return m_module != nullptr; }

 protected:
  // The entry point, or null with the last error set to 1157.
  void* Proc(const char* name) const;

 private:
  const char* m_libraryName;
  const char* m_loadTrace;
  HMODULE m_module = nullptr;
  long m_users = 0;
};

class UCrypt32 : public USystemLibrary {
 public:
  UCrypt32() : USystemLibrary("CRYPT32.DLL", "CRYPT32::CRYPT32: error loading: %ld") {}
  HRESULT MessageDecode(const BYTE* data, DWORD length, CryptMessage** message) const;
  void MessageClose(CryptMessage* message) const;
  HRESULT MessageFirstSigner(const CryptMessage* message, CertIssuerSerial* signer) const;
  std::vector<CryptCertificate*> MessageCertificates(const CryptMessage* message) const;
  CryptCertificate* FindByIssuerSerial(const std::vector<CryptCertificate*>& store, const CertIssuerSerial& id) const;
  HRESULT VerifySignature(const CryptMessage* message, const CryptCertificate* signer) const;
  void Free(CryptCertificate* certificate) const;
  std::string NameToStr(const CryptCertificate* certificate, DWORD strType) const;
  std::vector<BYTE> PublicKeyInfo(const CryptCertificate* certificate) const;
  bool Compare(const CryptCertificate* a, const CryptCertificate* b) const;
  // -1 before, 0 within, 1 after the validity period; 1 also when the call fails.
  LONG VerifyTimeValidity(const CryptCertificate* certificate) const;
  using USystemLibrary::Free;
};

class UImagehlp : public USystemLibrary {
 public:
  UImagehlp() : USystemLibrary("IMAGEHLP.DLL", "UImagehlp::UImagehlp: error loading: %ld") {}
  IMAGE_HANDLE FindImage(const char* fileName, char* imageFilePath) const;
  BOOL EnumerateCertificates(IMAGE_HANDLE image, WORD typeFilter, DWORD* count, DWORD* indices, DWORD indexCount) const;
  BOOL GetCertificateData(IMAGE_HANDLE image, DWORD index, WIN_CERTIFICATE* certificate, DWORD* length) const;
  void Close(IMAGE_HANDLE image) const;
};

// The process-wide wrappers: two of CRYPT32 (the decoder's and the container's), one of
// IMAGEHLP (the file check's).
UCrypt32& DecoderCrypt32();
UCrypt32& ContainerCrypt32();
UImagehlp& Imagehlp();

}  // namespace lumora

#endif  // LUMORA_TRUST_SYSTEM_WRAPPERS_H_
