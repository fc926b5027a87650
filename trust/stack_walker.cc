// The call chain walk and the calling-module collector.
#include "stack_walker.h"

#include <algorithm>

#include "platform/process/module_map.h"
#include "platform/process/stack_capture.h"

namespace lumora {
namespace {

constexpr size_t kMaxFrames = 100;

}  // namespace

bool UStackWalker::Walk(UStackFunctionObject& callback) {
  uintptr_t addresses[kMaxFrames];
  const size_t count = CaptureCallStack(addresses, kMaxFrames);
  UStackWalkInfo info;
  for (size_t i = 0; i < count; ++i) {
    LoadedModule module;
    if (!MapAddressToModule(addresses[i], &module)) break;
    info.moduleFileName = std::move(module.path);
    info.codeAddress = addresses[i];
    if (callback(info)) break;
  }
  return false;
}

bool FindCallerStackWalker::operator()(const UStackWalkInfo& info) {
  const std::string& name = info.moduleFileName;
  if (m_ownModuleKnown && name == m_ownModule) return false;
  // Module paths and the list's entries are both canonical already.
  if (std::find(m_exceptions.begin(), m_exceptions.end(), name) != m_exceptions.end()) return false;
  if (!m_ownModuleKnown) {
    m_ownModule = name;
    m_ownModuleKnown = true;
    return false;
  }
  if (std::find(m_callers.begin(), m_callers.end(), name) == m_callers.end()) m_callers.push_back(name);
  return false;
}

}  // namespace lumora
