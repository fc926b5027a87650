// libprprofile.so's exports: the component's class table behind DllGetClassObject,
// DllCanUnloadNow, DllRegisterServer and DllUnregisterServer.
#include "common/component_module.h"
#include "lumora/class_table.h"
#include "lumora/profile.h"
#include "session/profile.h"
#include "store/type_convert.h"

namespace {

using namespace lumora;

// In table order, which is also the order of registration.
const ClassEntry kClasses[] = {
    {{&CLSID_PRProfile, "PRProfile.PRProfile.1", "PRProfile.PRProfile", "PRProfile Class", "Apartment"},
     &MakeFactory<ClassFactory<PRProfile>>},
    {{&CLSID_PRTypeConvert, "PRTypeConvert.PRTypeConvert.1", "PRTypeConvert.PRTypeConvert", "PRTypeConvert Class",
      "Apartment"},
     &MakeFactory<SingletonClassFactory<PRTypeConvert>>},
};

ClassTable& Table() {
  static ClassTable table(ComponentModule(), kClasses);  // factories released when the library unloads
  return table;
}

}  // namespace

LUMORA_DEFINE_SERVER_EXPORTS(Table())
