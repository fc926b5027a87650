// Hand-crafted signed files for the tests: what an adversary who holds a valid signing key
// makes to smuggle bytes or attributes past the check. The digests here are the tests' own,
// computed the way Authenticode defines them, so a file re-signed here is one the check
// must accept when nothing else is wrong with it.
#ifndef LUMORA_TESTS_TRUST_CRAFTED_SIGNATURES_H_
#define LUMORA_TESTS_TRUST_CRAFTED_SIGNATURES_H_

#include <openssl/pkcs7.h>

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "lumora/automation.h"
#include "tests/trust/signature_fixture.h"

namespace lumora::testing {

// Changes made to a signature before its signed attributes are signed anew.
using SignerEdit = std::function<void(PKCS7* p7, PKCS7_SIGNER_INFO* signer)>;

// Where a signed PE image's certificate table and its directory entry lie.
size_t PeDirectory(const std::vector<BYTE>& pe);
size_t PeOptionalHeader(const std::vector<BYTE>& pe);
// The PKCS #7 of a signed PE image (its one table entry without header or padding), and
// of a signed cabinet.
std::vector<BYTE> PeSignature(const std::vector<BYTE>& pe);
std::vector<BYTE> CabinetSignature(const std::vector<BYTE>& cab);

// SHA-256 Authenticode digests, the tests' own.
std::vector<BYTE> PeDigest(const std::vector<BYTE>& pe);
std::vector<BYTE> CabinetDigest(const std::vector<BYTE>& cab);

// An Authenticode PKCS #7 re-signed with the key in `keyPem`: `digest` in its
// SpcIndirectDataContent, the messageDigest attribute renewed, then `edit` applied.
std::vector<BYTE> ResignAuthenticode(const std::vector<BYTE>& der, const std::string& keyPem,
                                     const std::vector<BYTE>& digest, const SignerEdit& edit = {});

// `pe` with its certificate table replaced by one entry holding `der`, padded to 8.
std::vector<BYTE> WithPeSignature(std::vector<BYTE> pe, const std::vector<BYTE>& der);
// `cab` with its signature replaced by `der`, padded to 8.
std::vector<BYTE> WithCabinetSignature(std::vector<BYTE> cab, const std::vector<BYTE>& der);

// `module` (unsigned) signed by the fixture leaf `leaf` with a detached PKCS #7 in the
// module-signature form; `signingTime` when given replaces the current time; `edit`, when
// given, changes the finished signature, whose attributes are then signed anew.
std::vector<BYTE> SignElf(const std::vector<BYTE>& module, const std::string& leaf, const time_t* signingTime = nullptr,
                          const SignerEdit& edit = {}, bool withCertificates = true);

// Re-signed PE images and cabinets, written into `folder`: "pe-resigned.dll" and
// "cab-resigned.cab" change nothing (the check must accept them); the others each carry one
// fault that only the strict form or the attribute checks can see.
std::vector<Tampered> MakeResignedFiles(const std::string& folder);

// Sets the content-type attribute (and, with `alsoContent`, the content's own type) to `oid`.
SignerEdit SetContentType(const char* oid, bool alsoContent);

}  // namespace lumora::testing

#endif  // LUMORA_TESTS_TRUST_CRAFTED_SIGNATURES_H_
