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
  DWORD error = 0;
  {
    std::lock_guard lock(m_mutex);
    ++m_users;
    if (m_module != nullptr) return;
    m_module = LoadSystemLibrary(m_libraryName);
    if (m_module == nullptr) error = GetLastError();
  }
  if (error != 0) Trace(m_loadTrace, static_cast<long>(error));
}

void USystemLibrary::Free() {
  std::lock_guard lock(m_mutex);
  if (m_users == 0 || --m_users > 0) return;
  if (m_module != nullptr) FreeSystemLibrary(m_module);
  m_module = nullptr;
}

bool USystemLibrary::IsLoaded() const {
  std::lock_guard lock(m_mutex);
  return m_module != nullptr;
}

long USystemLibrary::Users() const {
  std::lock_guard lock(m_mutex);
  return m_users;
}

void* USystemLibrary::Proc(const char* name) const {
  void* entry = nullptr;
  {
    std::lock_guard lock(m_mutex);
    if (m_module != nullptr) entry = GetSystemProcAddress(m_module, name);
  }
  if (entry == nullptr) SetLastError(ERROR_DLL_NOT_FOUND);
  return entry;
}

HRESULT UCrypt32::MessageDecode(const BYTE* data, DWORD length, CryptMessagePtr* message) const {
  auto f = As<decltype(&CryptMessageDecode)>(Proc("CryptMessageDecode"));
  return f != nullptr ? f(data, length, message) : HRESULT_FROM_WIN32(GetLastError());
}

HRESULT UCrypt32::MessageFirstSigner(const CryptMessage* message, CertIssuerSerial* signer) const {
  auto f = As<decltype(&CryptMessageFirstSigner)>(Proc("CryptMessageFirstSigner"));
  return f != nullptr ? f(message, signer) : HRESULT_FROM_WIN32(GetLastError());
}

CertificateStore UCrypt32::MessageCertificates(const CryptMessage* message) const {
  auto f = As<decltype(&CryptMessageCertificates)>(Proc("CryptMessageCertificates"));
  return f != nullptr ? f(message) : CertificateStore();
}

CertificatePtr UCrypt32::FindByIssuerSerial(const CertificateStore& store, const CertIssuerSerial& id) const {
  auto f = As<decltype(&CertFindByIssuerSerial)>(Proc("CertFindByIssuerSerial"));
  return f != nullptr ? f(store, id) : nullptr;
}

HRESULT UCrypt32::VerifySignature(const CryptMessage* message, const CryptCertificate* signer) const {
  auto f = As<decltype(&CryptMessageVerifySignature)>(Proc("CryptMessageVerifySignature"));
  return f != nullptr ? f(message, signer, nullptr, 0) : HRESULT_FROM_WIN32(GetLastError());
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

BOOL UImagehlp::EnumerateCertificates(FileBytes file, WORD typeFilter, DWORD* count, DWORD* indices,
                                      DWORD indexCount) const {
  auto f = As<decltype(&ImageEnumerateCertificates)>(Proc("ImageEnumerateCertificates"));
  return f != nullptr ? f(file, typeFilter, count, indices, indexCount) : FALSE;
}

BOOL UImagehlp::GetCertificateData(FileBytes file, DWORD index, WIN_CERTIFICATE* certificate, DWORD* length) const {
  auto f = As<decltype(&ImageGetCertificateData)>(Proc("ImageGetCertificateData"));
  return f != nullptr ? f(file, index, certificate, length) : FALSE;
}

// Process-wide for the life of the process. Each loads its library once while any user
// holds it and gives it back when the last user frees it; users on any thread are
// counted under the wrapper's lock.
UCrypt32& DecoderCrypt32() {
  static UCrypt32 wrapper;
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
