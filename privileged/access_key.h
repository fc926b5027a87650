// The process-wide access key: made by PRGetAccessKey for a program registered for the
// root section, traded by PRProfileSuperKeyAuth for a super user. Empty until the first
// key is made; replaced by every new key; kept until the component is unloaded. Guarded
// by the process-wide state lock; any thread.
#ifndef LUMORA_PRIVILEGED_ACCESS_KEY_H_
#define LUMORA_PRIVILEGED_ACCESS_KEY_H_

#include <string>
#include <string_view>

namespace lumora {

// Makes a new key (10 upper-case hexadecimal digits from 5 random bytes, or the fixed
// fallback when the provider gives none), keeps it and returns it.
std::string MakeAccessKey();
// Whether `key` is exactly the kept key; never true while no key was made.
bool AccessKeyMatches(std::string_view key);
// Forgets the key, as a freshly loaded component starts. For tests only.
void ForgetAccessKeyForTests();

}  // namespace lumora

#endif  // LUMORA_PRIVILEGED_ACCESS_KEY_H_
