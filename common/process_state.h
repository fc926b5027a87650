// The one lock that guards the component's process-wide state (the profile database,
// the store context, the kept database path, the exception list, the access key, the
// grant flag, the object count). Objects stay apartment-bound; this lock only keeps
// threads of one process from corrupting what they share. Recursive, because store
// operations nest (opening the database reads the kept path).
#ifndef LUMORA_COMMON_PROCESS_STATE_H_
#define LUMORA_COMMON_PROCESS_STATE_H_

#include <mutex>

namespace lumora {

std::recursive_mutex& ProcessStateMutex();

}  // namespace lumora

#endif  // LUMORA_COMMON_PROCESS_STATE_H_
