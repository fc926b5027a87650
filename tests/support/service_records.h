// What the companion services received from the component, read back through their own
// interfaces: the change records the notification service keeps, and the batches of ukis
// the change notification sink was told.
#ifndef LUMORA_TESTS_SUPPORT_SERVICE_RECORDS_H_
#define LUMORA_TESTS_SUPPORT_SERVICE_RECORDS_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lumora/services.h"
#include "lumora/values.h"

namespace lumora::testing {

struct ChangeRecord {
  std::string fieldName;
  LONG change;
  LONG requester;
  bool operator==(const ChangeRecord&) const = default;
};

inline std::vector<ChangeRecord> ChangeRecordsOfService() {
  ComPtr<ILumoraNotification> service;
  EXPECT_EQ(CoCreateInstance(CLSID_LumoraNotification, nullptr, CLSCTX_INPROC_SERVER, IID_ILumoraNotification,
                             service.put_void()),
            S_OK);
  std::vector<ChangeRecord> records;
  LONG count = 0;
  if (service) service->GetChangeCount(&count);
  for (LONG i = 0; i < count; ++i) {
    Bstr name;
    ChangeRecord record{};
    service->GetChangeFieldName(i, name.put());
    service->GetChangeKind(i, &record.change);
    service->GetChangeRequester(i, &record.requester);
    record.fieldName = name.ToUtf8();
    records.push_back(record);
  }
  return records;
}

// The batches the change notification sink received, each its ukis in order.
inline std::vector<std::vector<std::string>> SinkBatchesOfService() {
  ComPtr<ILumoraChangeSink> sink;
  EXPECT_EQ(
      CoCreateInstance(CLSID_LumoraChangeSink, nullptr, CLSCTX_INPROC_SERVER, IID_ILumoraChangeSink, sink.put_void()),
      S_OK);
  std::vector<std::vector<std::string>> batches;
  LONG count = 0;
  if (sink) sink->GetBatchCount(&count);
  for (LONG b = 0; b < count; ++b) {
    LONG size = 0;
    sink->GetBatchSize(b, &size);
    std::vector<std::string> ukis;
    for (LONG i = 0; i < size; ++i) {
      Bstr uki;
      sink->GetBatchUki(b, i, uki.put());
      ukis.push_back(uki.ToUtf8());
    }
    batches.push_back(std::move(ukis));
  }
  return batches;
}

}  // namespace lumora::testing

#endif  // LUMORA_TESTS_SUPPORT_SERVICE_RECORDS_H_
