// The trust decision that stands in for the platform's trust provider (never any user
// interface): the signature verifies; the signed digest matches the file (the Authenticode
// image digest of a PE image, the cabinet digest of a cabinet, the detached content of an
// ELF module); the signer's chain reaches an anchor and is valid now; a leaf that names
// its extended key usages allows code signing; MD5 and SHA-1 digests are refused; nothing
// unauthenticated is trusted. Any thread.
#ifndef LUMORA_PLATFORM_CODESIGN_WIN_TRUST_H_
#define LUMORA_PLATFORM_CODESIGN_WIN_TRUST_H_

#include <span>
#include <string>
#include <vector>

#include "lumora/automation.h"

inline constexpr GUID WIN_SPUB_ACTION_PUBLISHED_SOFTWARE_NOBADUI = {
    0xC6B2E8D0, 0xE005, 0x11CF, {0xA1, 0x34, 0x00, 0xC0, 0x4F, 0xD7, 0xBF, 0x43}};
inline constexpr GUID WIN_TRUST_SUBJTYPE_CABINET = {
    0xD17C5374, 0xA392, 0x11CF, {0x9D, 0xF5, 0x00, 0xAA, 0x00, 0xC1, 0x84, 0xE0}};
inline constexpr GUID WIN_TRUST_SUBJTYPE_PE_IMAGE = {
    0x43C9A1E0, 0x8DA0, 0x11CF, {0x87, 0x36, 0x00, 0xAA, 0x00, 0xA4, 0x85, 0xEB}};


struct WIN_TRUST_SUBJECT_FILE {
  int hFile;  // the open file (read through its path here)
  const char16_t* lpPath;
};

struct WIN_TRUST_ACTDATA_CONTEXT_WITH_SUBJECT {
  void* hClientToken;
  const GUID* SubjectType;  // cabinet or PE image (an ELF module counts as an image)
  WIN_TRUST_SUBJECT_FILE* Subject;
  // Our addition: a PEM bundle of trust anchors; null or missing: the system's store.
  const char* lpTrustAnchors;
};

// S_OK when the file is trusted, else the reason (a negative result).
LONG WinVerifyTrust(void* hwnd, const GUID* actionId, WIN_TRUST_ACTDATA_CONTEXT_WITH_SUBJECT* data);

// The Authenticode digests, for tests and benchmarks: false for a file of the wrong form.
bool PeImageDigest(std::span<const BYTE> file, const std::string& digestName, std::vector<BYTE>* digest);
bool CabinetDigest(std::span<const BYTE> file, const std::string& digestName, std::vector<BYTE>* digest);

#endif  // LUMORA_PLATFORM_CODESIGN_WIN_TRUST_H_
