// PRProfileSuperKeyAuth: trades the process's access key for a super user. While the
// super user is being created, the grant of its inner session passes without a caller
// check; the flag that lets it pass is set only around that one creation, on this thread.
// Called only on the thread that created it.
#ifndef LUMORA_PRIVILEGED_SUPER_KEY_AUTH_H_
#define LUMORA_PRIVILEGED_SUPER_KEY_AUTH_H_

#include "common/catalogue.h"
#include "lumora/object.h"

namespace lumora {

class PRProfileSuperKeyAuth : public Implements<DispatchImpl<IPRProfileSuperKeyAuth>> {
 public:
  HRESULT GetProfileSuper(BSTR key, IPRProfileSuperUser** ppSuperUser) override;

 protected:
  ~PRProfileSuperKeyAuth() override = default;
};

}  // namespace lumora

#endif  // LUMORA_PRIVILEGED_SUPER_KEY_AUTH_H_
