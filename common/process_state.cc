// The process-wide state lock.
#include "process_state.h"

namespace lumora {

std::recursive_mutex& ProcessStateMutex() {
  static std::recursive_mutex mutex;  // lives until the component is unloaded
  return mutex;
}

}  // namespace lumora
