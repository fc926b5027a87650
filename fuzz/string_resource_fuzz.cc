// Hostile bytes as a resource-only image: reading any string must stay inside the bytes.
#include <cstddef>
#include <cstdint>

#include "platform/process/resource_library.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const BYTE> image(data, size);
  for (UINT id : {0u, 1u, 2u, 15u, 16u, 17u, 4095u}) (void)lumora::FindStringResource(image, id);
  return 0;
}
