// The notification service. Notices: {"time":"...","title":"...","text":"..."};
// changes: {"time":"...","fieldName":"...","change":N,"requester":N}.
#include "notification_service.h"

#include "lumora/error.h"
#include "lumora/values.h"

namespace lumora {

std::span<const DispEntry> DispatchTable<ILumoraNotification>::Get() {
  using I = ILumoraNotification;
  static constexpr DispEntry kTable[] = {
      Disp<&I::GetNoticeCount, VT_I4>(1, "GetNoticeCount"),
      Disp<&I::GetNoticeTitle, VT_BSTR, VT_I4>(2, "GetNoticeTitle"),
      Disp<&I::GetNoticeText, VT_BSTR, VT_I4>(3, "GetNoticeText"),
      Disp<&I::GetNoticeTime, VT_DATE, VT_I4>(4, "GetNoticeTime"),
      Disp<&I::DeleteNotice, VT_EMPTY, VT_I4>(5, "DeleteNotice"),
      Disp<&I::ClearNotices, VT_EMPTY>(6, "ClearNotices"),
      Disp<&I::GetChangeCount, VT_I4>(7, "GetChangeCount"),
      Disp<&I::RecordProfileChange, VT_EMPTY, VT_BSTR, VT_I4, VT_I4>(8, "RecordProfileChange"),
      Disp<&I::GetChangeFieldName, VT_BSTR, VT_I4>(9, "GetChangeFieldName"),
      Disp<&I::GetChangeKind, VT_I4, VT_I4>(10, "GetChangeKind"),
      Disp<&I::GetChangeRequester, VT_I4, VT_I4>(11, "GetChangeRequester"),
      Disp<&I::GetChangeTime, VT_DATE, VT_I4>(12, "GetChangeTime"),
      Disp<&I::ClearChanges, VT_EMPTY>(13, "ClearChanges"),
      Disp<&I::PostNotice, VT_EMPTY, VT_BSTR, VT_BSTR>(16, "PostNotice"),
  };
  return kTable;
}

}  // namespace lumora

namespace lumora::services {

namespace {

HRESULT DeleteRecord(const StateFile& file, LONG index) {
  return file.Rewrite([&](std::vector<std::string>& lines) -> HRESULT {
    if (index < 0 || static_cast<size_t>(index) >= lines.size()) return DISP_E_BADINDEX;
    lines.erase(lines.begin() + index);
    return S_OK;
  });
}

HRESULT ClearRecords(const StateFile& file) {
  return file.Rewrite([](std::vector<std::string>& lines) -> HRESULT {
    lines.clear();
    return S_OK;
  });
}

// Reads one field of record `index` into an out parameter.
template <class Out, class Field>
HRESULT ReadField(const StateFile& file, LONG index, Out* out, Field field) {
  if (out == nullptr) return E_POINTER;
  JsonObject record;
  const HRESULT hr = ReadRecord(file, index, &record);
  if (FAILED(hr)) return hr;
  return field(record, out);
}

}  // namespace

HRESULT NotificationService::GetNoticeCount(LONG* count) {
  return ErrorBoundary("NotificationService::GetNoticeCount", [&] { return CountRecords(m_notices, count); });
}

HRESULT NotificationService::GetNoticeTitle(LONG index, BSTR* title) {
  return ErrorBoundary("NotificationService::GetNoticeTitle", [&] {
    return ReadField(m_notices, index, title,
                     [](const JsonObject& r, BSTR* out) { return TextOut(TextField(r, "title"), out); });
  });
}

HRESULT NotificationService::GetNoticeText(LONG index, BSTR* text) {
  return ErrorBoundary("NotificationService::GetNoticeText", [&] {
    return ReadField(m_notices, index, text,
                     [](const JsonObject& r, BSTR* out) { return TextOut(TextField(r, "text"), out); });
  });
}

HRESULT NotificationService::GetNoticeTime(LONG index, DATE* when) {
  return ErrorBoundary("NotificationService::GetNoticeTime", [&] {
    return ReadField(m_notices, index, when, [](const JsonObject& r, DATE* out) {
      *out = IsoTextToDate(TextField(r, "time"));
      return S_OK;
    });
  });
}

HRESULT NotificationService::DeleteNotice(LONG index) {
  return ErrorBoundary("NotificationService::DeleteNotice", [&] { return DeleteRecord(m_notices, index); });
}

HRESULT NotificationService::ClearNotices() {
  return ErrorBoundary("NotificationService::ClearNotices", [&] { return ClearRecords(m_notices); });
}

HRESULT NotificationService::GetChangeCount(LONG* count) {
  return ErrorBoundary("NotificationService::GetChangeCount", [&] { return CountRecords(m_changes, count); });
}

HRESULT NotificationService::RecordProfileChange(BSTR fieldName, LONG change, LONG requester) {
  return ErrorBoundary("NotificationService::RecordProfileChange", [&] {
    return m_changes.AppendLine(WriteJsonLine({{"time", JsonValue::String(DateToIsoText(NowAsDate()))},
                                               {"fieldName", JsonValue::String(Bstr::ToUtf8(fieldName))},
                                               {"change", JsonValue::Integer(change)},
                                               {"requester", JsonValue::Integer(requester)}}));
  });
}

HRESULT NotificationService::GetChangeFieldName(LONG index, BSTR* fieldName) {
  return ErrorBoundary("NotificationService::GetChangeFieldName", [&] {
    return ReadField(m_changes, index, fieldName,
                     [](const JsonObject& r, BSTR* out) { return TextOut(TextField(r, "fieldName"), out); });
  });
}

HRESULT NotificationService::GetChangeKind(LONG index, LONG* change) {
  return ErrorBoundary("NotificationService::GetChangeKind", [&] {
    return ReadField(m_changes, index, change, [](const JsonObject& r, LONG* out) {
      *out = static_cast<LONG>(IntegerField(r, "change"));
      return S_OK;
    });
  });
}

HRESULT NotificationService::GetChangeRequester(LONG index, LONG* requester) {
  return ErrorBoundary("NotificationService::GetChangeRequester", [&] {
    return ReadField(m_changes, index, requester, [](const JsonObject& r, LONG* out) {
      *out = static_cast<LONG>(IntegerField(r, "requester"));
      return S_OK;
    });
  });
}

HRESULT NotificationService::GetChangeTime(LONG index, DATE* when) {
  return ErrorBoundary("NotificationService::GetChangeTime", [&] {
    return ReadField(m_changes, index, when, [](const JsonObject& r, DATE* out) {
      *out = IsoTextToDate(TextField(r, "time"));
      return S_OK;
    });
  });
}

HRESULT NotificationService::ClearChanges() {
  return ErrorBoundary("NotificationService::ClearChanges", [&] { return ClearRecords(m_changes); });
}

HRESULT NotificationService::Reserved14() { return E_NOTIMPL; }
HRESULT NotificationService::Reserved15() { return E_NOTIMPL; }

HRESULT NotificationService::PostNotice(BSTR title, BSTR text) {
  return ErrorBoundary("NotificationService::PostNotice", [&] {
    return m_notices.AppendLine(WriteJsonLine({{"time", JsonValue::String(DateToIsoText(NowAsDate()))},
                                               {"title", JsonValue::String(Bstr::ToUtf8(title))},
                                               {"text", JsonValue::String(Bstr::ToUtf8(text))}}));
  });
}

}  // namespace lumora::services
