// The component library's lock count, and the making of the objects it hands out. Every
// live object of the component counts, creatable or not: a client that keeps only a
// collection after releasing its profile object still holds code of this library, so
// the library must not be unloaded under it. Any thread.
#ifndef LUMORA_COMMON_COMPONENT_MODULE_H_
#define LUMORA_COMMON_COMPONENT_MODULE_H_

#include "lumora/object.h"

namespace lumora {

// The lock count behind DllCanUnloadNow; lives as long as the library.
ModuleState& ComponentModule();

// An object the component hands out (a collection, an item, an enumerator, a session),
// counted on the component's module while it lives. Failures are thrown.
template <class T>
ComPtr<T> MakeComponentObject() {
  return MakeObject<T>(&ComponentModule());
}

}  // namespace lumora

#endif  // LUMORA_COMMON_COMPONENT_MODULE_H_
