// BSTR allocation. A BSTR points just past a 32-bit byte count and is followed by two zero
// bytes, so that byte strings of any length (binary data included) stay terminated.
#include <cstdlib>
#include <cstring>

#include "lumora/automation.h"

namespace {

constexpr UINT kMaxBytes = 0x7FFFFFF0u;

uint32_t* HeaderOf(BSTR bstr) { return reinterpret_cast<uint32_t*>(bstr) - 1; }

BSTR AllocBytes(const void* data, UINT bytes) {
  if (bytes > kMaxBytes) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(sizeof(uint32_t) + bytes + 2));
  if (block == nullptr) return nullptr;
  const uint32_t count = bytes;
  std::memcpy(block, &count, sizeof count);
  unsigned char* payload = block + sizeof(uint32_t);
  if (data != nullptr) {
    std::memcpy(payload, data, bytes);
  } else {
    std::memset(payload, 0, bytes);
  }
  payload[bytes] = 0;
  payload[bytes + 1] = 0;
  return reinterpret_cast<BSTR>(payload);
}

}  // namespace

extern "C" {

BSTR SysAllocString(const OLECHAR* psz) {
  if (psz == nullptr) return nullptr;
  UINT length = 0;
  while (psz[length] != 0) ++length;
  return SysAllocStringLen(psz, length);
}

BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch) {
  if (cch > kMaxBytes / sizeof(OLECHAR)) return nullptr;
  return AllocBytes(pch, cch * static_cast<UINT>(sizeof(OLECHAR)));
}

BSTR SysAllocStringByteLen(const char* psz, UINT len) { return AllocBytes(psz, len); }

UINT SysStringLen(BSTR bstr) { return bstr == nullptr ? 0 : *HeaderOf(bstr) / static_cast<UINT>(sizeof(OLECHAR)); }

UINT SysStringByteLen(BSTR bstr) { return bstr == nullptr ? 0 : *HeaderOf(bstr); }

void SysFreeString(BSTR bstr) {
  if (bstr != nullptr) std::free(HeaderOf(bstr));
}

}  // extern "C"
