// libprprofile.so's exports: the component's class table behind DllGetClassObject,
// DllCanUnloadNow, DllRegisterServer and DllUnregisterServer.
#include "common/component_module.h"
#include "lumora/class_table.h"
#include "lumora/profile.h"
#include "privileged/certificate_management.h"
#include "privileged/get_access_key.h"
#include "privileged/super_key_auth.h"
#include "privileged/super_user.h"
#include "session/profile.h"
#include "store/type_convert.h"

namespace {

using namespace lumora;

// In table order, which is also the order of registration.
const ClassEntry kClasses[] = {
    {{&CLSID_PRProfile, "PRProfile.PRProfile.1", "PRProfile.PRProfile", "PRProfile Class", "Apartment"},
     &MakeFactory<ClassFactory<PRProfile>>},
    {{&CLSID_PRProfileSuperUser, "PRProfileSuperUser.PRProfileSuperUser.1", "PRProfileSuperUser.PRProfileSuperUser",
      "PRProfileSuperUser Class", "Apartment"},
     &MakeFactory<ClassFactory<PRProfileSuperUser>>},
    {{&CLSID_PRTypeConvert, "PRTypeConvert.PRTypeConvert.1", "PRTypeConvert.PRTypeConvert", "PRTypeConvert Class",
      "Apartment"},
     &MakeFactory<SingletonClassFactory<PRTypeConvert>>},
    {{&CLSID_PRProfileSuperKeyAuth, "PRProfileSuperKeyAuth.PRProfileSuperKeyAuth.1",
      "PRProfileSuperKeyAuth.PRProfileSuperKeyAuth", "PRProfileSuperKeyAuth Class", "Apartment"},
     &MakeFactory<ClassFactory<PRProfileSuperKeyAuth>>},
    {{&CLSID_PRGetAccessKey, "PRGetAccessKey.PRGetAccessKey.1", "PRGetAccessKey.PRGetAccessKey",
      "PRGetAccessKey Class", "Apartment"},
     &MakeFactory<ClassFactory<PRGetAccessKey>>},
    {{&CLSID_PRProfileCertificateManagement, "PRProfileCertificateManagement.PRProfileCertificateManagement.1",
      "PRProfileCertificateManagement.PRProfileCertificateManagement", "PRProfileCertificateManagement Class",
      "Apartment"},
     &MakeFactory<ClassFactory<PRProfileCertificateManagement>>},
};

ClassTable& Table() {
  static ClassTable table(ComponentModule(), kClasses);  // factories released when the library unloads
  return table;
}

}  // namespace

LUMORA_DEFINE_SERVER_EXPORTS(Table())
