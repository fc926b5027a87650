// Finding and checking the calling program.
#include "validate_caller.h"

#include "exception_list.h"
#include "stack_walker.h"

namespace lumora {

bool ValidateCaller::FindCallers() {
  if (m_walked) return true;
  if (!LoadExceptionList()) return false;
  const std::vector<std::string> exceptions = ExceptionListEntries();
  FindCallerStackWalker walker(exceptions);
  UStackWalker().Walk(walker);
  m_walked = !walker.Callers().empty();
  m_callers = walker.Callers();
  return m_walked;
}

bool ValidateCaller::FindAndValidate(std::vector<std::string>* unverified) {
  unverified->clear();
  if (!FindCallers()) return false;
  for (const std::string& module : m_callers) {
    if (ValidatePath(module)) return true;
    unverified->push_back(module);
  }
  return false;
}

bool ValidateCaller::Validate() {
  std::vector<std::string> unverified;
  return FindAndValidate(&unverified);
}

}  // namespace lumora
