// Trading the access key for a super user.
#include "super_key_auth.h"

#include "access_key.h"
#include "common/component_module.h"
#include "lumora/error.h"
#include "lumora/values.h"
#include "session/session_state.h"
#include "super_user.h"

namespace lumora {
namespace {

// Sets the super-key grant flag for its scope; it is cleared on every way out.
class SuperKeyGrant {
 public:
  SuperKeyGrant() { SetSuperKeyGrantFlag(true); }
  ~SuperKeyGrant() { SetSuperKeyGrantFlag(false); }
  SuperKeyGrant(const SuperKeyGrant&) = delete;
  SuperKeyGrant& operator=(const SuperKeyGrant&) = delete;
};

}  // namespace

HRESULT PRProfileSuperKeyAuth::GetProfileSuper(BSTR key, IPRProfileSuperUser** ppSuperUser) {
  if (ppSuperUser == nullptr) return E_POINTER;
  *ppSuperUser = nullptr;
  return CatchAllBoundary("PRProfileSuperKeyAuth::GetProfileSuper", [&]() -> HRESULT {
    if (!AccessKeyMatches(Bstr::ToUtf8(key))) return E_ACCESSDENIED;
    PRProfileSuperUser* superUser = nullptr;
    HRESULT hr = E_FAIL;
    {
      SuperKeyGrant grant;
      hr = ConstructObject<PRProfileSuperUser>(nullptr, &ComponentModule(), &superUser);
    }
    if (FAILED(hr)) return hr;
    *ppSuperUser = superUser;  // the creation's one reference goes to the caller
    return S_OK;
  });
}

}  // namespace lumora
