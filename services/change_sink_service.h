// The change notification sink: receives the array of ukis changed by each write batch
// and keeps each batch as one line of $LUMORA_HOME/changed-ukis.jsonl. Each object is
// used on its creating thread; the file is shared safely with other objects and processes.
#ifndef LUMORA_SERVICES_CHANGE_SINK_SERVICE_H_
#define LUMORA_SERVICES_CHANGE_SINK_SERVICE_H_

#include "lumora/object.h"
#include "service_dispatch.h"
#include "state_file.h"

namespace lumora::services {

class ChangeSinkService final : public Implements<DispatchImpl<ILumoraChangeSink>> {
 public:
  ChangeSinkService() : m_batches("changed-ukis.jsonl") {}

  HRESULT GetBatchCount(LONG* count) override;
  HRESULT GetBatchSize(LONG batch, LONG* count) override;
  HRESULT GetBatchUki(LONG batch, LONG index, BSTR* uki) override;
  HRESULT ClearBatches() override;
  HRESULT Reserved12() override;
  HRESULT ProfileChanged(VARIANT ukis) override;

 private:
  ~ChangeSinkService() override = default;
  HRESULT ReadBatch(LONG batch, std::vector<std::string>* ukis) const;

  StateFile m_batches;
};

}  // namespace lumora::services

#endif  // LUMORA_SERVICES_CHANGE_SINK_SERVICE_H_
