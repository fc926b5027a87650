// The process-wide trace hook. The sink and its context are guarded by one mutex that is
// also held while the sink runs, so a sink sees texts one at a time.
#include "lumora/trace.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>

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

// Set while this thread runs the sink: the mutex is not recursive, and a sink that
// traced (directly or through a failing call) would otherwise deadlock on it.
thread_local bool t_inSink = false;

}  // namespace

TraceSink SetTraceSink(TraceSink sink, void* context) {
  TraceState& state = State();
  std::lock_guard lock(state.mutex);
  TraceSink previous = state.sink;
  state.sink = sink;
  state.context = context;
  return previous;
}

void Trace(const char* format, ...) noexcept {
  if (t_inSink) return;
  TraceState& state = State();
  std::lock_guard lock(state.mutex);  // std::mutex::lock only throws on misuse
  if (state.sink == nullptr) return;

  char inlineText[kTraceInlineLength + 1];
  std::unique_ptr<char[]> longText;
  const char* text = inlineText;
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(inlineText, sizeof inlineText, format, args);
  if (length < 0) {
    inlineText[0] = '\0';  // a format the C library refuses: an empty text
  } else if (length > kTraceInlineLength) {
    longText.reset(new (std::nothrow) char[static_cast<size_t>(length) + 1]);
    if (longText) {
      std::vsnprintf(longText.get(), static_cast<size_t>(length) + 1, format, again);
      text = longText.get();
    }
  }
  va_end(again);
  va_end(args);

  t_inSink = true;
  try {
    state.sink(text, state.context);
  } catch (...) {
    // A sink's failure is not the traced method's failure.
  }
  t_inSink = false;
}

}  // namespace lumora
