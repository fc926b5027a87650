// The dispatch tables of the services' interfaces (defined beside each service).
#ifndef LUMORA_SERVICES_SERVICE_DISPATCH_H_
#define LUMORA_SERVICES_SERVICE_DISPATCH_H_

#include <span>

#include "lumora/dispatch.h"
#include "lumora/services.h"

namespace lumora {

template <>
struct DispatchTable<ILumoraSettings> {
  static std::span<const DispEntry> Get();
};
template <>
struct DispatchTable<ILumoraStoredVariables> {
  static std::span<const DispEntry> Get();
};
template <>
struct DispatchTable<ILumoraNotification> {
  static std::span<const DispEntry> Get();
};
template <>
struct DispatchTable<ILumoraChangeSink> {
  static std::span<const DispEntry> Get();
};

}  // namespace lumora

#endif  // LUMORA_SERVICES_SERVICE_DISPATCH_H_
