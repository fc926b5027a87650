// The profile sessions' process-wide state: the number of constructed profile objects
// (the store is open while it is above zero), the super-key grant flag (set only while a
// super user is being created for a caller that traded an access key; while it is set
// the grants made on that thread pass without a caller check: a grant on another thread
// at that moment is checked as usual), and the change notification sink (created on
// first use, forgotten when the last profile object goes). Guarded by the process-wide
// state lock; lives as long as the component.
#ifndef LUMORA_SESSION_SESSION_STATE_H_
#define LUMORA_SESSION_SESSION_STATE_H_

#include "lumora/com_ptr.h"
#include "lumora/services.h"

namespace lumora {

long ProfileObjectCount();
// Counts one more profile object.
void CountProfileObject();
// Counts one fewer and returns how many are left.
long UncountProfileObject();

bool SuperKeyGrantFlag();
void SetSuperKeyGrantFlag(bool set);

// The change notification sink, created on first use; empty when it cannot be had.
ComPtr<ILumoraChangeSink> ChangeSink();
// Releases and forgets the sink.
void ForgetChangeSink();

}  // namespace lumora

#endif  // LUMORA_SESSION_SESSION_STATE_H_
