// The change notification sink. One record per batch: {"time":"...","ukis":["...",...]}.
#include "change_sink_service.h"

#include "lumora/error.h"
#include "lumora/values.h"

namespace lumora {

std::span<const DispEntry> DispatchTable<ILumoraChangeSink>::Get() {
  using I = ILumoraChangeSink;
  static constexpr DispEntry kTable[] = {
      Disp<&I::GetBatchCount, VT_I4>(1, "GetBatchCount"),
      Disp<&I::GetBatchSize, VT_I4, VT_I4>(2, "GetBatchSize"),
      Disp<&I::GetBatchUki, VT_BSTR, VT_I4, VT_I4>(3, "GetBatchUki"),
      Disp<&I::ClearBatches, VT_EMPTY>(4, "ClearBatches"),
      Disp<&I::ProfileChanged, VT_EMPTY, VT_VARIANT>(6, "ProfileChanged"),
  };
  return kTable;
}

}  // namespace lumora

namespace lumora::services {

HRESULT ChangeSinkService::ReadBatch(LONG batch, std::vector<std::string>* ukis) const {
  JsonObject record;
  const HRESULT hr = ReadRecord(m_batches, batch, &record);
  if (FAILED(hr)) return hr;
  const auto found = record.find("ukis");
  ukis->clear();
  if (found != record.end()) *ukis = found->second.strings;
  return S_OK;
}

HRESULT ChangeSinkService::GetBatchCount(LONG* count) {
  return ErrorBoundary("ChangeSinkService::GetBatchCount", [&] { return CountRecords(m_batches, count); });
}

HRESULT ChangeSinkService::GetBatchSize(LONG batch, LONG* count) {
  return ErrorBoundary("ChangeSinkService::GetBatchSize", [&]() -> HRESULT {
    if (count == nullptr) return E_POINTER;
    std::vector<std::string> ukis;
    const HRESULT hr = ReadBatch(batch, &ukis);
    if (FAILED(hr)) return hr;
    *count = static_cast<LONG>(ukis.size());
    return S_OK;
  });
}

HRESULT ChangeSinkService::GetBatchUki(LONG batch, LONG index, BSTR* uki) {
  return ErrorBoundary("ChangeSinkService::GetBatchUki", [&]() -> HRESULT {
    if (uki == nullptr) return E_POINTER;
    std::vector<std::string> ukis;
    const HRESULT hr = ReadBatch(batch, &ukis);
    if (FAILED(hr)) return hr;
    if (index < 0 || static_cast<size_t>(index) >= ukis.size()) return DISP_E_BADINDEX;
    return TextOut(ukis[static_cast<size_t>(index)], uki);
  });
}

HRESULT ChangeSinkService::ClearBatches() {
  return ErrorBoundary("ChangeSinkService::ClearBatches", [&] {
    return m_batches.Rewrite([](std::vector<std::string>& lines) -> HRESULT {
      lines.clear();
      return S_OK;
    });
  });
}

HRESULT ChangeSinkService::Reserved12() { return E_NOTIMPL; }

HRESULT ChangeSinkService::ProfileChanged(VARIANT ukis) {
  return ErrorBoundary("ChangeSinkService::ProfileChanged", [&]() -> HRESULT {
    const VARIANT* value = &ukis;
    while (value->vt == (VT_BYREF | VT_VARIANT) && value->pvarVal != nullptr) value = value->pvarVal;
    SAFEARRAY* array = nullptr;
    if (value->vt == (VT_ARRAY | VT_BSTR)) {
      array = value->parray;
    } else if (value->vt == (VT_BYREF | VT_ARRAY | VT_BSTR) && value->pparray != nullptr) {
      array = *value->pparray;
    }
    if (array == nullptr || SafeArrayGetDim(array) != 1) return E_INVALIDARG;
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper))) {
      return E_INVALIDARG;
    }
    std::vector<std::string> texts;
    for (LONG i = lower; i <= upper; ++i) {
      Bstr item;
      const HRESULT hr = SafeArrayGetElement(array, &i, item.put());
      if (FAILED(hr)) return hr;
      texts.push_back(item.ToUtf8());
    }
    return m_batches.AppendLine(WriteJsonLine(
        {{"time", JsonValue::String(DateToIsoText(NowAsDate()))}, {"ukis", JsonValue::Strings(std::move(texts))}}));
  });
}

}  // namespace lumora::services
