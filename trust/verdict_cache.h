// Verdicts remembered per process: a file whose identity (device, inode, size, times of
// modification and change) and trust anchors are unchanged since it was last checked
// gets that check's verdict, signer name and record without being hashed again; a
// changed file is always checked. A caller is checked on every grant, and partner
// programs are large. Guarded by the process-wide state lock; any thread.
#ifndef LUMORA_TRUST_VERDICT_CACHE_H_
#define LUMORA_TRUST_VERDICT_CACHE_H_

#include <string>
#include <vector>

#include "lumora/automation.h"
#include "platform/codesign/mapped_file.h"

namespace lumora {

struct CachedVerdict {
  bool valid = false;
  HRESULT result = S_OK;
  std::string signerName;
  std::vector<BYTE> record;
};

// The anchors as a verdict depends on them: the bundle's path and its file's identity
// (or the system's store when the path is empty).
std::string AnchorsKey(const std::string& anchorsPath);

// The remembered verdict of this file state under these anchors, if any is still fresh.
bool FindVerdict(const FileIdentity& file, const std::string& anchorsKey, CachedVerdict* verdict);
// Remembers a verdict. A file changed within the last moments is not remembered: file
// times are kept at a coarse grain, so a second change in the same tick could keep them.
void RememberVerdict(const FileIdentity& file, const std::string& anchorsKey, const CachedVerdict& verdict);
// Forgets every verdict. For tests and benchmarks.
void ForgetVerdicts();

}  // namespace lumora

#endif  // LUMORA_TRUST_VERDICT_CACHE_H_
