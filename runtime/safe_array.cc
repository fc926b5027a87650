// SAFEARRAY storage. The descriptor and its bounds live in one block after a small header
// that keeps the element type; the data is a separate block. Elements of type BSTR,
// VARIANT and interface pointers are owned by the array: destroying it frees them,
// GetElement hands out copies and PutElement stores copies.
#include <cstdlib>
#include <cstring>
#include <new>

#include "lumora/automation.h"

namespace {

struct ArrayHeader {
  VARTYPE vt;
  // Pads the descriptor to pointer alignment.
  alignas(alignof(void*)) unsigned char descriptor[1];
};

constexpr size_t kDescriptorOffset = offsetof(ArrayHeader, descriptor);

ArrayHeader* HeaderOf(SAFEARRAY* psa) {
  return reinterpret_cast<ArrayHeader*>(reinterpret_cast<unsigned char*>(psa) - kDescriptorOffset);
}

ULONG ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_DATE:
    case VT_CY:
      return 8;
    case VT_BSTR:
      return sizeof(BSTR);
    case VT_UNKNOWN:
    case VT_DISPATCH:
      return sizeof(void*);
    case VT_VARIANT:
      return sizeof(VARIANT);
    default:
      return 0;
  }
}

USHORT FeaturesOf(VARTYPE vt) {
  switch (vt) {
    case VT_BSTR:
      return FADF_HAVEVARTYPE | FADF_BSTR;
    case VT_UNKNOWN:
      return FADF_HAVEVARTYPE | FADF_UNKNOWN;
    case VT_DISPATCH:
      return FADF_HAVEVARTYPE | FADF_DISPATCH;
    case VT_VARIANT:
      return FADF_HAVEVARTYPE | FADF_VARIANT;
    default:
      return FADF_HAVEVARTYPE;
  }
}

size_t CellCount(const SAFEARRAY* psa) {
  size_t count = 1;
  for (USHORT d = 0; d < psa->cDims; ++d) count *= psa->rgsabound[d].cElements;
  return count;
}

// Index vectors name dimensions leftmost first; bounds are stored rightmost first.
// The leftmost dimension varies fastest.
bool CellOffset(const SAFEARRAY* psa, const LONG* indices, size_t* cell) {
  size_t offset = 0;
  size_t stride = 1;
  for (USHORT d = 0; d < psa->cDims; ++d) {
    const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - 1 - d];
    const int64_t rel = static_cast<int64_t>(indices[d]) - bound.lLbound;
    if (rel < 0 || rel >= static_cast<int64_t>(bound.cElements)) return false;
    offset += static_cast<size_t>(rel) * stride;
    stride *= bound.cElements;
  }
  *cell = offset;
  return true;
}

void ClearCells(SAFEARRAY* psa, VARTYPE vt) {
  const size_t count = CellCount(psa);
  if (vt == VT_BSTR) {
    auto* cells = static_cast<BSTR*>(psa->pvData);
    for (size_t i = 0; i < count; ++i) {
      SysFreeString(cells[i]);
      cells[i] = nullptr;
    }
  } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
    auto* cells = static_cast<IUnknown**>(psa->pvData);
    for (size_t i = 0; i < count; ++i) {
      if (cells[i] != nullptr) cells[i]->Release();
      cells[i] = nullptr;
    }
  } else if (vt == VT_VARIANT) {
    auto* cells = static_cast<VARIANT*>(psa->pvData);
    for (size_t i = 0; i < count; ++i) VariantClear(&cells[i]);
  }
}

// Copies one element of type vt from `from` into `to` (which holds nothing owned).
HRESULT CopyCell(VARTYPE vt, const void* from, void* to) {
  switch (vt) {
    case VT_BSTR: {
      BSTR source = *static_cast<const BSTR*>(from);
      BSTR copy = nullptr;
      if (source != nullptr) {
        copy = SysAllocStringByteLen(reinterpret_cast<const char*>(source), SysStringByteLen(source));
        if (copy == nullptr) return E_OUTOFMEMORY;
      }
      *static_cast<BSTR*>(to) = copy;
      return S_OK;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH: {
      IUnknown* unknown = *static_cast<IUnknown* const*>(from);
      if (unknown != nullptr) unknown->AddRef();
      *static_cast<IUnknown**>(to) = unknown;
      return S_OK;
    }
    case VT_VARIANT:
      VariantInit(static_cast<VARIANT*>(to));
      return VariantCopy(static_cast<VARIANT*>(to), static_cast<const VARIANT*>(from));
    default:
      std::memcpy(to, from, ElementSize(vt));
      return S_OK;
  }
}

}  // namespace

extern "C" {

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
  const ULONG size = ElementSize(vt);
  if (size == 0 || cDims == 0 || cDims > 64 || rgsabound == nullptr) return nullptr;
  size_t cells = 1;
  for (UINT d = 0; d < cDims; ++d) {
    const size_t n = rgsabound[d].cElements;
    if (n != 0 && cells > (size_t{1} << 40) / n) return nullptr;
    cells *= n;
  }
  const size_t descriptorBytes = sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
  auto* header = static_cast<ArrayHeader*>(std::calloc(1, kDescriptorOffset + descriptorBytes));
  if (header == nullptr) return nullptr;
  header->vt = vt;
  auto* psa = reinterpret_cast<SAFEARRAY*>(header->descriptor);
  psa->cDims = static_cast<USHORT>(cDims);
  psa->fFeatures = FeaturesOf(vt);
  psa->cbElements = size;
  psa->cLocks = 0;
  for (UINT d = 0; d < cDims; ++d) psa->rgsabound[cDims - 1 - d] = rgsabound[d];
  psa->pvData = std::calloc(cells == 0 ? 1 : cells, size);
  if (psa->pvData == nullptr) {
    std::free(header);
    return nullptr;
  }
  return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
  SAFEARRAYBOUND bound{cElements, lLbound};
  return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
  if (psa == nullptr) return S_OK;
  if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  ClearCells(psa, HeaderOf(psa)->vt);
  std::free(psa->pvData);
  std::free(HeaderOf(psa));
  return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
  if (ppsaOut == nullptr) return E_POINTER;
  *ppsaOut = nullptr;
  if (psa == nullptr) return S_OK;
  const VARTYPE vt = HeaderOf(psa)->vt;
  SAFEARRAYBOUND bounds[64];
  for (USHORT d = 0; d < psa->cDims; ++d) bounds[d] = psa->rgsabound[psa->cDims - 1 - d];
  SAFEARRAY* copy = SafeArrayCreate(vt, psa->cDims, bounds);
  if (copy == nullptr) return E_OUTOFMEMORY;
  const size_t count = CellCount(psa);
  const auto* from = static_cast<const unsigned char*>(psa->pvData);
  auto* to = static_cast<unsigned char*>(copy->pvData);
  for (size_t i = 0; i < count; ++i) {
    const HRESULT hr = CopyCell(vt, from + i * psa->cbElements, to + i * psa->cbElements);
    if (FAILED(hr)) {
      SafeArrayDestroy(copy);
      return hr;
    }
  }
  *ppsaOut = copy;
  return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa == nullptr ? 0 : psa->cDims; }

UINT SafeArrayGetElemsize(SAFEARRAY* psa) { return psa == nullptr ? 0 : psa->cbElements; }

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
  if (psa == nullptr || pvt == nullptr) return E_INVALIDARG;
  *pvt = HeaderOf(psa)->vt;
  return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
  if (psa == nullptr || plLbound == nullptr) return E_INVALIDARG;
  if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
  *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
  if (psa == nullptr || plUbound == nullptr) return E_INVALIDARG;
  if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - nDim];
  *plUbound = static_cast<LONG>(static_cast<int64_t>(bound.lLbound) + bound.cElements - 1);
  return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  if (psa == nullptr || rgIndices == nullptr || pv == nullptr) return E_INVALIDARG;
  size_t cell = 0;
  if (!CellOffset(psa, rgIndices, &cell)) return DISP_E_BADINDEX;
  const auto* data = static_cast<const unsigned char*>(psa->pvData);
  return CopyCell(HeaderOf(psa)->vt, data + cell * psa->cbElements, pv);
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  if (psa == nullptr || rgIndices == nullptr) return E_INVALIDARG;
  size_t cell = 0;
  if (!CellOffset(psa, rgIndices, &cell)) return DISP_E_BADINDEX;
  const VARTYPE vt = HeaderOf(psa)->vt;
  void* target = static_cast<unsigned char*>(psa->pvData) + cell * psa->cbElements;
  // BSTR and interface elements are passed as the pointer itself; other types by address.
  const bool byPointer = vt == VT_BSTR || vt == VT_UNKNOWN || vt == VT_DISPATCH;
  if (!byPointer && pv == nullptr) return E_INVALIDARG;
  void* pointer = pv;
  const void* source = byPointer ? static_cast<const void*>(&pointer) : pv;
  unsigned char fresh[sizeof(VARIANT)];
  const HRESULT hr = CopyCell(vt, source, fresh);
  if (FAILED(hr)) return hr;
  if (vt == VT_BSTR) {
    SysFreeString(*static_cast<BSTR*>(target));
  } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
    if (auto* old = *static_cast<IUnknown**>(target)) old->Release();
  } else if (vt == VT_VARIANT) {
    VariantClear(static_cast<VARIANT*>(target));
  }
  std::memcpy(target, fresh, psa->cbElements);
  return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
  if (psa == nullptr) return E_INVALIDARG;
  ++psa->cLocks;
  return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
  if (psa == nullptr) return E_INVALIDARG;
  if (psa->cLocks == 0) return E_UNEXPECTED;
  --psa->cLocks;
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
  if (psa == nullptr || ppvData == nullptr) return E_INVALIDARG;
  ++psa->cLocks;
  *ppvData = psa->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

}  // extern "C"
