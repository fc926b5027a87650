// The automation catalogue: the dispatch table of every interface of the public and the
// private library, checked against the interfaces' C++ signatures at compile time. Late
// binding of every object of the component answers from these tables. Immutable; any thread.
#ifndef LUMORA_COMMON_CATALOGUE_H_
#define LUMORA_COMMON_CATALOGUE_H_

#include <span>

#include "lumora/dispatch.h"
#include "lumora/profile.h"
#include "lumora/profile_private.h"

namespace lumora {

#define LUMORA_DECLARE_DISPATCH_TABLE(I)     \
  template <>                                \
  struct DispatchTable<I> {                  \
    static std::span<const DispEntry> Get(); \
  };

LUMORA_DECLARE_DISPATCH_TABLE(IPRProfile)
LUMORA_DECLARE_DISPATCH_TABLE(IPRKeyAttrsCollection)
LUMORA_DECLARE_DISPATCH_TABLE(IPRKeyAttr)
LUMORA_DECLARE_DISPATCH_TABLE(IPRArrayItemsCollection)
LUMORA_DECLARE_DISPATCH_TABLE(IPRArrayItem)
LUMORA_DECLARE_DISPATCH_TABLE(IPRScratchItemsCollection)
LUMORA_DECLARE_DISPATCH_TABLE(IPRScratchItem)
LUMORA_DECLARE_DISPATCH_TABLE(IPRProfileSuperUser)
LUMORA_DECLARE_DISPATCH_TABLE(IPRSuperKeyAttr)
LUMORA_DECLARE_DISPATCH_TABLE(IPRProfileSuperKeyAuth)
LUMORA_DECLARE_DISPATCH_TABLE(IPRGetAccessKey)
LUMORA_DECLARE_DISPATCH_TABLE(IPRProfileCertificateManagement)

#undef LUMORA_DECLARE_DISPATCH_TABLE

}  // namespace lumora

#endif  // LUMORA_COMMON_CATALOGUE_H_
