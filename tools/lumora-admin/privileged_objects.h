// The objects through which lumora-admin administers a store: the super user, the
// certificate management object and the notification service, created by program
// identifier through the component registered in the state folder, as any privileged
// program creates them. lumora-admin carries the product's signature, and init registers
// the product for the root section "/", so the component grants it what it grants the
// product's own tools and nothing more. Every function that returns an exit code has
// already said on standard error what went wrong. One thread.
#ifndef LUMORA_TOOLS_LUMORA_ADMIN_PRIVILEGED_OBJECTS_H_
#define LUMORA_TOOLS_LUMORA_ADMIN_PRIVILEGED_OBJECTS_H_

#include <string>

#include "admin_command.h"
#include "lumora/com_ptr.h"
#include "lumora/profile_private.h"
#include "lumora/services.h"

namespace lumora::admin {

// Whether the state folder is an installation (with a store, when `withStore`); says
// plainly what is missing and what to do when it is not. kExitOk or kExitFailure.
int RequireInstallation(const Options& options, bool withStore = true);

// An object of the class registered under `progId`, asking for interface I.
template <class I>
HRESULT CreateByProgId(const char16_t* progId, ComPtr<I>* object) {
  CLSID clsid{};
  const HRESULT hr = CLSIDFromProgID(progId, &clsid);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IidOf<I>, object->put_void());
}

// The super user; creating it opens the store.
int OpenSuperUser(ComPtr<IPRProfileSuperUser>* superUser);
int OpenCertificateManagement(ComPtr<IPRProfileCertificateManagement>* management);
int OpenNotification(ComPtr<ILumoraNotification>* notification);

// "lumora-admin: <what>: 0xXXXXXXXX: <meaning>" on standard error; kExitFailure.
int FailCall(const std::string& what, HRESULT hr);

}  // namespace lumora::admin

#endif  // LUMORA_TOOLS_LUMORA_ADMIN_PRIVILEGED_OBJECTS_H_
