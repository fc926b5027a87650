// The process-wide state lock.
#include "process_state.h"

namespace lumora {

ProcessStateMutexType& ProcessStateMutex() {
  static ProcessStateMutexType mutex;  // lives until the component is unloaded
  return mutex;
}

}  // namespace lumora
