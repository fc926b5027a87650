// The notification service: notices for the user ($LUMORA_HOME/notices.jsonl) and
// records of profile changes ($LUMORA_HOME/changes.jsonl), appended one JSON object per
// line. Each object is used on its creating thread; the files are shared safely with
// other objects and processes.
#ifndef LUMORA_SERVICES_NOTIFICATION_SERVICE_H_
#define LUMORA_SERVICES_NOTIFICATION_SERVICE_H_

#include "lumora/object.h"
#include "service_dispatch.h"
#include "state_file.h"

namespace lumora::services {

class NotificationService final : public Implements<DispatchImpl<ILumoraNotification>> {
 public:
  NotificationService() : m_notices("notices.jsonl"), m_changes("changes.jsonl") {}

  HRESULT GetNoticeCount(LONG* count) override;
  HRESULT GetNoticeTitle(LONG index, BSTR* title) override;
  HRESULT GetNoticeText(LONG index, BSTR* text) override;
  HRESULT GetNoticeTime(LONG index, DATE* when) override;
  HRESULT DeleteNotice(LONG index) override;
  HRESULT ClearNotices() override;
  HRESULT GetChangeCount(LONG* count) override;
  HRESULT RecordProfileChange(BSTR fieldName, LONG change, LONG requester) override;
  HRESULT GetChangeFieldName(LONG index, BSTR* fieldName) override;
  HRESULT GetChangeKind(LONG index, LONG* change) override;
  HRESULT GetChangeRequester(LONG index, LONG* requester) override;
  HRESULT GetChangeTime(LONG index, DATE* when) override;
  HRESULT ClearChanges() override;
  HRESULT Reserved14() override;
  HRESULT Reserved15() override;
  HRESULT PostNotice(BSTR title, BSTR text) override;

 private:
  ~NotificationService() override = default;

  StateFile m_notices;
  StateFile m_changes;
};

}  // namespace lumora::services

#endif  // LUMORA_SERVICES_NOTIFICATION_SERVICE_H_
