// The process-wide trace hook. The sink and its context are guarded by one mutex that is
// also held while the sink runs, so a sink sees texts one at a time.
#include "lumora/trace.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace lumora {
namespace {

struct TraceState {
  std::mutex mutex;
  TraceSink sink = nullptr;
  void* context = nullptr;
};

TraceState& State() {
  static TraceState state;  // lives until the runtime library is unloaded
  return state;
}

}  // namespace

TraceSink SetTraceSink(TraceSink sink, void* context) {
  TraceState& state = State();
  std::lock_guard lock(state.mutex);
  TraceSink previous = state.sink;
  state.sink = sink;
  state.context = context;
  return previous;
}

void Trace(const char* format, ...) {
  TraceState& state = State();
  std::lock_guard lock(state.mutex);
  if (state.sink == nullptr) return;
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (length > 0) {
    text.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(length));
  }
  va_end(args);
  state.sink(text.c_str(), state.context);
}

}  // namespace lumora
