// Handing out the access key.
#include "get_access_key.h"

#include "access_key.h"
#include "lumora/error.h"
#include "lumora/values.h"
#include "store/profile_database.h"
#include "trust/section_access.h"

namespace lumora {

HRESULT PRGetAccessKey::GetKey(BSTR* key) {
  if (key == nullptr) return E_POINTER;
  *key = nullptr;
  return LUMORA_ERROR_BOUNDARY([&]() -> HRESULT {
    if (!CertificateOK("/", {})) return E_ACCESSDENIED;
    // The store is closed and opened again at its next use.
    if (ProfileDatabase() != nullptr && ProfileDatabase()->IsOpen()) CloseProfileDatabase();
    Bstr text = Bstr::FromUtf8(MakeAccessKey());
    if (!text) return E_OUTOFMEMORY;
    *key = text.detach();
    return S_OK;
  });
}

}  // namespace lumora
