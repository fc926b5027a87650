// The profile sessions' process-wide state.
#include "session_state.h"

#include <mutex>
#include <thread>

#include "common/process_state.h"
#include "common/service_client.h"

namespace lumora {
namespace {

struct SessionState {
  long objectCount = 0;
  bool superKeyGrant = false;
  std::thread::id superKeyGrantThread;  // the thread creating the super user
  ComPtr<ILumoraChangeSink> changeSink;
};

SessionState& State() {
  static SessionState state;  // guarded by ProcessStateMutex; lives as long as the component
  return state;
}

}  // namespace

long ProfileObjectCount() {
  std::lock_guard lock(ProcessStateMutex());
  return State().objectCount;
}

void CountProfileObject() {
  std::lock_guard lock(ProcessStateMutex());
  ++State().objectCount;
}

long UncountProfileObject() {
  std::lock_guard lock(ProcessStateMutex());
  return --State().objectCount;
}

bool SuperKeyGrantFlag() {
  std::lock_guard lock(ProcessStateMutex());
  return State().superKeyGrant && State().superKeyGrantThread == std::this_thread::get_id();
}

void SetSuperKeyGrantFlag(bool set) {
  std::lock_guard lock(ProcessStateMutex());
  State().superKeyGrant = set;
  State().superKeyGrantThread = set ? std::this_thread::get_id() : std::thread::id();
}

ComPtr<ILumoraChangeSink> ChangeSink() {
  std::lock_guard lock(ProcessStateMutex());
  ComPtr<ILumoraChangeSink>& sink = State().changeSink;
  if (!sink) CreateService(CLSID_LumoraChangeSink, &sink);
  return sink.copy();
}

void ForgetChangeSink() {
  ComPtr<ILumoraChangeSink> released;
  {
    std::lock_guard lock(ProcessStateMutex());
    released = std::move(State().changeSink);
  }
}

}  // namespace lumora
