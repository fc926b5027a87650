// PRGetAccessKey: hands a fresh random access key to a program whose signing certificate
// is registered for the root section "/". Keeps no state of its own; called only on the
// thread that created it.
#ifndef LUMORA_PRIVILEGED_GET_ACCESS_KEY_H_
#define LUMORA_PRIVILEGED_GET_ACCESS_KEY_H_

#include "common/catalogue.h"
#include "lumora/object.h"

namespace lumora {

class PRGetAccessKey : public Implements<DispatchImpl<IPRGetAccessKey>> {
 public:
  HRESULT GetKey(BSTR* key) override;

 protected:
  ~PRGetAccessKey() override = default;
};

}  // namespace lumora

#endif  // LUMORA_PRIVILEGED_GET_ACCESS_KEY_H_
