// The exception list: modules never taken for the caller (the C and C++ runtime, the
// unwinder, the dynamic loader, the product's own object runtime), named in the string
// table of the signed, resource-only image ExceptionList.dll in the installation
// directory. Loaded once per process, at the first caller check that succeeds in loading
// it; kept until the component is unloaded. Guarded by the process-wide state lock.
#ifndef LUMORA_TRUST_EXCEPTION_LIST_H_
#define LUMORA_TRUST_EXCEPTION_LIST_H_

#include <string>
#include <string_view>
#include <vector>

namespace lumora {

inline constexpr char kExceptionListFile[] = "ExceptionList.dll";

// Loads the list unless it is loaded: the file must pass the signature check, be a PE
// image with string resources, and name at least one module. False when it cannot be
// loaded; the next call tries again.
bool LoadExceptionList();
// Adds one module by name: looked for in the installation directory first when asked
// (the file need not exist there), else on the loader's search path (a name found
// nowhere is left out: false). The canonical path is kept.
bool AddException(std::string_view name, bool useInstallDirectory);
// A copy of the canonical paths of the excepted modules, in the order they were added.
std::vector<std::string> ExceptionListEntries();
// The names of one string of the list: split on '|', blanks around each removed, empty
// pieces dropped, order kept.
std::vector<std::string> SplitExceptionNames(std::string_view text);

// Forgets the list, its loaded flag and the cached installation directory, as a freshly
// loaded component starts. For tests only.
void ResetExceptionListForTests();

}  // namespace lumora

#endif  // LUMORA_TRUST_EXCEPTION_LIST_H_
