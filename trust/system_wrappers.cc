// The system library wrappers.
#include "system_wrappers.h"

#include "lumora/trace.h"

namespace lumora {
namespace {

template <class F>
F As(void* entry) {
  return reinterpret_cast<F>(entry);
}

}  // namespace

void USystemLibrary::Load() {
  ++m_users;
  if (m_module != nullptr) return;
  m_module = LoadSystemLibrary(m_libraryName);
  if (m_module == nullptr) Trace(m_loadTrace, static_cast<long>(GetLastError()));
}

void USystemLibrary::Free() {
  if (m_users > 0 && --m_users > 0) return;
  if (m_module != nullptr) FreeSystemLibrary(m_module);
  m_module = nullptr;
}

void* USystemLibrary::Proc(const char* name) const {
  void* entry = m_module != nullptr ? GetSystemProcAddress(m_module, name) : nullptr;
  if (entry == nullptr) SetLastError(ERROR_DLL_NOT_FOUND);
  return entry;
}

HRESULT UCrypt32::MessageDecode(const BYTE* data, DWORD length, CryptMessage** message) const {
  auto f = As<decltype(&CryptMessageDecode)>(Proc("CryptMessageDecode"));
  return f != nullptr ? f(data, length, message) : HRESULT_FROM_WIN32(GetLastError());
}

void UCrypt32::MessageClose(CryptMessage* message) const {
  if (auto f = As<decltype(&CryptMessageClose)>(Proc("CryptMessageClose"))) f(message);
}

HRESULT UCrypt32::MessageFirstSigner(const CryptMessage* message, CertIssuerSerial* signer) const {
  auto f = As<decltype(&CryptMessageFirstSigner)>(Proc("CryptMessageFirstSigner"));
  return f != nullptr ? f(message, signer) : HRESULT_FROM_WIN32(GetLastError());
}

std::vector<CryptCertificate*> UCrypt32::MessageCertificates(const CryptMessage* message) const {
  auto f = As<decltype(&CryptMessageCertificates)>(Proc("CryptMessageCertificates"));
  return f != nullptr ? f(message) : std::vector<CryptCertificate*>();
}

CryptCertificate* UCrypt32::FindByIssuerSerial(const std::vector<CryptCertificate*>& store,
                                               const CertIssuerSerial& id) const {
  auto f = As<decltype(&CertFindByIssuerSerial)>(Proc("CertFindByIssuerSerial"));
  return f != nullptr ? f(store, id) : nullptr;
}

HRESULT UCrypt32::VerifySignature(const CryptMessage* message, const CryptCertificate* signer) const {
  auto f = As<decltype(&CryptMessageVerifySignature)>(Proc("CryptMessageVerifySignature"));
  return f != nullptr ? f(message, signer, nullptr, 0) : HRESULT_FROM_WIN32(GetLastError());
}

void UCrypt32::Free(CryptCertificate* certificate) const {
  if (auto f = As<decltype(&CertFree)>(Proc("CertFree"))) f(certificate);
}

std::string UCrypt32::NameToStr(const CryptCertificate* certificate, DWORD strType) const {
  auto f = As<decltype(&CertNameToStr)>(Proc("CertNameToStr"));
  return f != nullptr ? f(certificate, strType) : std::string();
}

std::vector<BYTE> UCrypt32::PublicKeyInfo(const CryptCertificate* certificate) const {
  auto f = As<decltype(&CertPublicKeyInfo)>(Proc("CertPublicKeyInfo"));
  return f != nullptr ? f(certificate) : std::vector<BYTE>();
}

bool UCrypt32::Compare(const CryptCertificate* a, const CryptCertificate* b) const {
  auto f = As<decltype(&CertCompare)>(Proc("CertCompare"));
  return f != nullptr && f(a, b);
}

LONG UCrypt32::VerifyTimeValidity(const CryptCertificate* certificate) const {
  auto f = As<decltype(&CertVerifyTimeValidityNow)>(Proc("CertVerifyTimeValidityNow"));
  return f != nullptr ? f(certificate) : 1;
}

IMAGE_HANDLE UImagehlp::FindImage(const char* fileName, char* imageFilePath) const {
  auto f = As<decltype(&FindExecutableImage)>(Proc("FindExecutableImage"));
  return f != nullptr ? f(fileName, nullptr, imageFilePath) : nullptr;
}

BOOL UImagehlp::EnumerateCertificates(IMAGE_HANDLE image, WORD typeFilter, DWORD* count, DWORD* indices,
                                      DWORD indexCount) const {
  auto f = As<decltype(&ImageEnumerateCertificates)>(Proc("ImageEnumerateCertificates"));
  return f != nullptr ? f(image, typeFilter, count, indices, indexCount) : FALSE;
}

BOOL UImagehlp::GetCertificateData(IMAGE_HANDLE image, DWORD index, WIN_CERTIFICATE* certificate, DWORD* length) const {
  auto f = As<decltype(&ImageGetCertificateData)>(Proc("ImageGetCertificateData"));
  return f != nullptr ? f(image, index, certificate, length) : FALSE;
}

void UImagehlp::Close(IMAGE_HANDLE image) const {
  if (auto f = As<decltype(&CloseImageHandle)>(Proc("CloseImageHandle"))) f(image);
}

UCrypt32& DecoderCrypt32() {
  static UCrypt32 wrapper;  // process-wide; its handle is overwritten by each load
  return wrapper;
}

UCrypt32& ContainerCrypt32() {
  static UCrypt32 wrapper;
  return wrapper;
}

UImagehlp& Imagehlp() {
  static UImagehlp wrapper;
  return wrapper;
}

}  // namespace lumora
