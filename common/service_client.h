// Creation of the companion services the component talks to. Every user creates a
// service for one piece of work and releases it afterwards; nothing is cached here.
#ifndef LUMORA_COMMON_SERVICE_CLIENT_H_
#define LUMORA_COMMON_SERVICE_CLIENT_H_

#include "lumora/com_ptr.h"
#include "lumora/services.h"

namespace lumora {

// Creates the service `clsid` in-process or as a local server, asking for interface I.
template <class I>
HRESULT CreateService(REFCLSID clsid, ComPtr<I>* service) {
  return CoCreateInstance(clsid, nullptr, kServiceContext, IidOf<I>, service->put_void());
}

}  // namespace lumora

#endif  // LUMORA_COMMON_SERVICE_CLIENT_H_
