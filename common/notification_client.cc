// The notification service client.
#include "notification_client.h"

#include "lumora/values.h"
#include "service_client.h"

namespace lumora {

HRESULT PostNotice(std::string_view title, std::string_view text) {
  ComPtr<ILumoraNotification> service;
  const HRESULT hr = CreateService(CLSID_LumoraNotification, &service);
  if (FAILED(hr)) return hr;
  Bstr titleText = Bstr::FromUtf8(title);
  Bstr noticeText = Bstr::FromUtf8(text);
  if (titleText && noticeText) service->PostNotice(titleText.get(), noticeText.get());
  return S_OK;
}

HRESULT RecordProfileChange(std::string_view fieldName, LONG change, LONG requester) {
  ComPtr<ILumoraNotification> service;
  const HRESULT hr = CreateService(CLSID_LumoraNotification, &service);
  if (FAILED(hr)) return hr;
  Bstr name = Bstr::FromUtf8(fieldName);
  if (name) service->RecordProfileChange(name.get(), change, requester);
  return S_OK;
}

}  // namespace lumora
