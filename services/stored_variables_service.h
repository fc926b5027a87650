// The stored variable service: typed variables grouped under component names, kept in
// $LUMORA_HOME/variables.jsonl, machine-wide or per user. Each object is used on its
// creating thread; the file is shared safely with other objects and processes.
#ifndef LUMORA_SERVICES_STORED_VARIABLES_SERVICE_H_
#define LUMORA_SERVICES_STORED_VARIABLES_SERVICE_H_

#include <string>

#include "lumora/object.h"
#include "service_dispatch.h"
#include "state_file.h"

namespace lumora::services {

class StoredVariablesService final : public Implements<DispatchImpl<ILumoraStoredVariables>> {
 public:
  StoredVariablesService() : m_file("variables.jsonl") {}

  HRESULT SetStringVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser, BSTR value) override;
  HRESULT GetStringVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser, BSTR* value) override;
  HRESULT SetLongVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser, LONG value) override;
  HRESULT GetLongVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser, LONG* value) override;
  HRESULT SetBoolVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser, VARIANT_BOOL value) override;
  HRESULT GetBoolVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser, VARIANT_BOOL* value) override;
  HRESULT SetBlobVariable(BSTR component, BSTR variable, LONG byteCount, VARIANT_BOOL perUser, BSTR data) override;
  HRESULT GetBlobVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser, BSTR* data) override;
  HRESULT GetVariableCollection(BSTR component, VARIANT_BOOL perUser, VARIANT* names) override;
  HRESULT GetComponentCollection(BSTR component, VARIANT_BOOL perUser, VARIANT* names) override;
  HRESULT DeleteVariable(BSTR component, BSTR variable, VARIANT_BOOL perUser) override;
  HRESULT DeleteComponent(BSTR component, VARIANT_BOOL perUser) override;

 private:
  ~StoredVariablesService() override = default;
  HRESULT Store(BSTR component, BSTR variable, VARIANT_BOOL perUser, const char* type, const std::string& value);
  HRESULT Load(BSTR component, BSTR variable, VARIANT_BOOL perUser, const char* type, std::string* value) const;
  HRESULT Names(BSTR component, VARIANT_BOOL perUser, bool components, VARIANT* names) const;

  StoredVariablesService(const StoredVariablesService&) = delete;
  StateFile m_file;
};

}  // namespace lumora::services

#endif  // LUMORA_SERVICES_STORED_VARIABLES_SERVICE_H_
