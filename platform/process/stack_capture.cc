// Stack capture over the system unwinder.
#include "stack_capture.h"

#include <unwind.h>

namespace lumora {
namespace {

struct Capture {
  uintptr_t* addresses;
  size_t capacity;
  size_t count;
  size_t skip;  // this function's own frame and the unwinder's
};

_Unwind_Reason_Code OnFrame(_Unwind_Context* context, void* argument) {
  auto* capture = static_cast<Capture*>(argument);
  int beforeInstruction = 0;
  uintptr_t address = _Unwind_GetIPInfo(context, &beforeInstruction);
  if (address == 0) return _URC_END_OF_STACK;
  if (capture->skip > 0) {
    --capture->skip;
    return _URC_NO_REASON;
  }
  // A return address points after its call; step back into the call unless the frame
  // was interrupted (a signal frame), whose address is the instruction itself.
  if (capture->count > 0 && beforeInstruction == 0) --address;
  capture->addresses[capture->count++] = address;
  return capture->count == capture->capacity ? _URC_END_OF_STACK : _URC_NO_REASON;
}

}  // namespace

// Not inlined: its own frame is the one skipped.
__attribute__((noinline)) size_t CaptureCallStack(uintptr_t* addresses, size_t capacity) {
  if (addresses == nullptr || capacity == 0) return 0;
  Capture capture{addresses, capacity, 0, 1};
  _Unwind_Backtrace(&OnFrame, &capture);
  return capture.count;
}

}  // namespace lumora
