// Creating the privileged objects, and saying why when they cannot be had.
#include "privileged_objects.h"

#include <cstdio>

#include "platform/process/path_search.h"
#include "result_text.h"
#include "store_checkup.h"
#include "terminal_text.h"
#include "trust/validate_exe.h"

namespace lumora::admin {
namespace {

// The component refuses the privileged objects to a program whose certificate is not
// registered for the root section. Either this copy of the tool is not validly signed
// (a build without the product signature, a root the installation does not trust), or
// the root section belongs to another certificate.
int AccessDenied(const std::string& what) {
  std::fprintf(stderr, "lumora-admin: %s: %s\n", what.c_str(), Explained(E_ACCESSDENIED).c_str());
  ValidateExe self(CanonicalPath("/proc/self/exe"));
  if (!self.Validate()) {
    std::fprintf(stderr,
                 "lumora-admin: this copy of lumora-admin does not pass the signature check (%s), so the store "
                 "does not take it for the product's tool\n",
                 Explained(self.LastResult()).c_str());
  } else {
    std::fprintf(stderr,
                 "lumora-admin: the root section \"/\" of this store is not registered for the certificate of %s "
                 "that signs lumora-admin ('lumora-admin certs list /' run by its administrator shows who holds it)\n",
                 Printable(self.SignerName()).c_str());
  }
  return kExitFailure;
}

int CreationFailed(const std::string& what, HRESULT hr) {
  if (hr == E_ACCESSDENIED) return AccessDenied(what);
  return FailCall(what, hr);
}

}  // namespace

int RequireInstallation(const Options& options, bool withStore) {
  const StoreCheckup report = CheckUpInstallation(options.home, withStore);
  if (report.verdict == StoreCheckup::Verdict::kHealthy) return kExitOk;
  std::fprintf(stderr, "lumora-admin: %s\n", Printable(report.problem).c_str());
  if (!report.advice.empty()) std::fprintf(stderr, "what to do: %s\n", Printable(report.advice).c_str());
  return kExitFailure;
}

int OpenSuperUser(ComPtr<IPRProfileSuperUser>* superUser) {
  const HRESULT hr = CreateByProgId(u"PRProfileSuperUser.PRProfileSuperUser", superUser);
  return FAILED(hr) ? CreationFailed("cannot open the store as its administrator", hr) : kExitOk;
}

int OpenCertificateManagement(ComPtr<IPRProfileCertificateManagement>* management) {
  const HRESULT hr = CreateByProgId(u"PRProfileCertificateManagement.PRProfileCertificateManagement", management);
  return FAILED(hr) ? CreationFailed("cannot open the certificate registry", hr) : kExitOk;
}

int OpenNotification(ComPtr<ILumoraNotification>* notification) {
  const HRESULT hr = CoCreateInstance(CLSID_LumoraNotification, nullptr, kServiceContext, IID_ILumoraNotification,
                                      notification->put_void());
  return FAILED(hr) ? FailCall("cannot open the notification service", hr) : kExitOk;
}

int FailCall(const std::string& what, HRESULT hr) {
  std::fprintf(stderr, "lumora-admin: %s: %s\n", what.c_str(), Explained(hr).c_str());
  return kExitFailure;
}

}  // namespace lumora::admin
