// PRWriteRequestItem: one queued change of the profile. The queue of a profile object
// owns its items; the batch executes each once inside its transaction.
#ifndef LUMORA_SESSION_WRITE_REQUEST_ITEM_H_
#define LUMORA_SESSION_WRITE_REQUEST_ITEM_H_

namespace lumora {

class PRWriteRequestItem {
 public:
  virtual ~PRWriteRequestItem() = default;
};

}  // namespace lumora

#endif  // LUMORA_SESSION_WRITE_REQUEST_ITEM_H_
