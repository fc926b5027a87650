// The one lock that guards the component's process-wide state (the profile database,
// the store context, the kept database path, the exception list, the access key, the
// grant flag, the object count). Objects stay apartment-bound; this lock only keeps
// threads of one process from corrupting what they share. Recursive, because store
// operations nest (opening the database reads the kept path).
//
// Clang checks its use where the state is annotated: a function that touches guarded
// state is marked LUMORA_REQUIRES(ProcessStateMutex()) and its callers hold a
// ProcessStateLock (the analysis does not see through std::lock_guard). Clang's check
// knows no recursion: a function marked as requiring the lock must not take it again.
#ifndef LUMORA_COMMON_PROCESS_STATE_H_
#define LUMORA_COMMON_PROCESS_STATE_H_

#include <mutex>

#include "thread_annotations.h"

namespace lumora {

// A std::recursive_mutex that clang's analysis knows as a lock.
class LUMORA_CAPABILITY("mutex") ProcessStateMutexType : public std::recursive_mutex {
 public:
  void lock() LUMORA_ACQUIRE() { std::recursive_mutex::lock(); }
  void unlock() LUMORA_RELEASE() { std::recursive_mutex::unlock(); }
};

ProcessStateMutexType& ProcessStateMutex();

// Holds the process-state lock for its scope.
class LUMORA_SCOPED_CAPABILITY ProcessStateLock {
 public:
  ProcessStateLock() LUMORA_ACQUIRE(ProcessStateMutex()) { ProcessStateMutex().lock(); }
  ~ProcessStateLock() LUMORA_RELEASE() { ProcessStateMutex().unlock(); }
  ProcessStateLock(const ProcessStateLock&) = delete;
  ProcessStateLock& operator=(const ProcessStateLock&) = delete;
};

}  // namespace lumora

#endif  // LUMORA_COMMON_PROCESS_STATE_H_
