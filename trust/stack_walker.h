// The walk over the requesting thread's call chain: each frame's code address and the
// file of the module that holds it, handed nearest first to a callback that may stop the
// walk; and the callback that collects the calling modules, passing over the component's
// own module and every module of the exception list. Calling thread only.
#ifndef LUMORA_TRUST_STACK_WALKER_H_
#define LUMORA_TRUST_STACK_WALKER_H_

#include <cstdint>
#include <string>
#include <vector>

namespace lumora {

// The frame a walk hands its callback.
struct UStackWalkInfo {
  std::string moduleFileName;  // canonical path of the module's file
  uintptr_t codeAddress = 0;
};

class UStackFunctionObject {
 public:
  virtual ~UStackFunctionObject() = default;
  // True stops the walk.
  virtual bool operator()(const UStackWalkInfo& info) = 0;
};

class UStackWalker {
 public:
  // Walks the calling thread's frames, at most 100, nearest first; a frame whose address
  // lies in no module ends the walk. Always false (nobody reads it).
  bool Walk(UStackFunctionObject& callback);
};

// Collects the calling modules: the first module not on the exception list is the
// component's own (the walk starts in its code), and is passed over wherever it occurs
// again; every other module is listed once, at its nearest position.
class FindCallerStackWalker : public UStackFunctionObject {
 public:
  // `exceptions`: canonical paths never taken for a caller.
  explicit FindCallerStackWalker(const std::vector<std::string>& exceptions) : m_exceptions(exceptions) {}
  bool operator()(const UStackWalkInfo& info) override;

  const std::vector<std::string>& Callers() const { return m_callers; }
  const std::string& OwnModule() const { return m_ownModule; }

 private:
  const std::vector<std::string>& m_exceptions;
  std::string m_ownModule;
  std::vector<std::string> m_callers;
  bool m_ownModuleKnown = false;
};

}  // namespace lumora

#endif  // LUMORA_TRUST_STACK_WALKER_H_
