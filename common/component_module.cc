// The component library's lock count.
#include "component_module.h"

namespace lumora {

ModuleState& ComponentModule() {
  static ModuleState module;  // lives as long as the library; counts are atomic
  return module;
}

}  // namespace lumora
