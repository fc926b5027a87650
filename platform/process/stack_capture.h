// Stack capture: the return addresses of the calling thread's own call chain, nearest
// first, as the unwinder finds them from the code's unwind tables (frame pointers are
// not needed). The calling thread unwinds itself, so its stack holds still without a
// second thread. Any thread.
#ifndef LUMORA_PLATFORM_PROCESS_STACK_CAPTURE_H_
#define LUMORA_PLATFORM_PROCESS_STACK_CAPTURE_H_

#include <cstddef>
#include <cstdint>

namespace lumora {

// Fills `addresses` with at most `capacity` code addresses of the calling thread's frames,
// nearest first, starting with the caller of this function, and returns their number.
// Every address but the first lies inside the call instruction that made its frame's
// callee (a return address less one), so it falls in the caller's code even when that
// call ends a function.
size_t CaptureCallStack(uintptr_t* addresses, size_t capacity);

}  // namespace lumora

#endif  // LUMORA_PLATFORM_PROCESS_STACK_CAPTURE_H_
