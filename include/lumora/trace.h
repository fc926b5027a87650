// The diagnostic trace hook: a process-wide function that receives formatted trace texts.
// The texts are discarded unless a host or a test installs a sink. Any thread may trace;
// the sink is called under a lock, one text at a time.
#ifndef LUMORA_TRACE_H_
#define LUMORA_TRACE_H_

namespace lumora {

// Receives one trace text. A sink must not throw (what it throws is dropped) and is not
// re-entered: texts traced from inside the sink, on its own thread, are discarded.
using TraceSink = void (*)(const char* text, void* context);

// Installs `sink` (nullptr removes it) and returns the one it replaces.
TraceSink SetTraceSink(TraceSink sink, void* context);

// Formats printf-style and hands the text to the installed sink, if any. Never throws
// and allocates nothing for texts up to kTraceInlineLength characters, so an error
// boundary may trace while memory is exhausted; a longer text that cannot be allocated
// reaches the sink cut to that length.
inline constexpr int kTraceInlineLength = 511;
void Trace(const char* format, ...) noexcept __attribute__((format(printf, 1, 2)));

}  // namespace lumora

#endif  // LUMORA_TRACE_H_
