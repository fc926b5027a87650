// ValidateCaller: the signature check of the program that called the component. The
// calling modules are found once per object by walking the requesting thread's call
// chain (passing over the component and the exception list); the first of them, nearest
// first, whose signature passes is the caller, and its signer name and certificate record
// are those the object then holds. Calling thread only.
#ifndef LUMORA_TRUST_VALIDATE_CALLER_H_
#define LUMORA_TRUST_VALIDATE_CALLER_H_

#include <string>
#include <vector>

#include "validate_exe.h"

namespace lumora {

class ValidateCaller : public ValidateExe {
 public:
  ValidateCaller() = default;

  // Empties `unverified`, finds the calling modules and checks them in order. True at the
  // first that passes; every module before it is appended to `unverified`. False when the
  // caller cannot be identified: no exception list, no calling module, or none passes
  // (`unverified` then holds them all).
  bool FindAndValidate(std::vector<std::string>* unverified);
  // FindAndValidate, with the unverified modules thrown away.
  bool Validate() override;

  // The calling modules as the walk found them (canonical paths, nearest first).
  const std::vector<std::string>& Callers() const { return m_callers; }
  // Whether the walk ran and found at least one calling module.
  bool FoundCallers() const { return m_walked; }

 private:
  // Runs the walk at most once per object.
  bool FindCallers();

  std::vector<std::string> m_callers;
  bool m_walked = false;
};

}  // namespace lumora

#endif  // LUMORA_TRUST_VALIDATE_CALLER_H_
