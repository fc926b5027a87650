// UStoredVariable: the accessor of the stored variable service for one component name and
// flag. The service is created by the first operation and released with the accessor
// (or by Unload). Every failure is returned as a result and traced, never thrown. An
// accessor is used on one thread.
#ifndef LUMORA_STORE_STORED_VARIABLE_H_
#define LUMORA_STORE_STORED_VARIABLE_H_

#include <string>
#include <vector>

#include "lumora/com_ptr.h"
#include "lumora/services.h"

namespace lumora {

class UStoredVariable {
 public:
  // `flag` goes to every service call as VARIANT_TRUE when above 0, else VARIANT_FALSE.
  UStoredVariable(std::string componentName, BYTE flag);
  virtual ~UStoredVariable();
  UStoredVariable(const UStoredVariable&) = delete;
  UStoredVariable& operator=(const UStoredVariable&) = delete;

  // Each operation comes as an internal form taking a component name and flag, followed
  // by a public form that passes the accessor's own.
  virtual HRESULT InternalGetVariableCollection(const std::string& component, BYTE flag, VARIANT* collection);
  virtual HRESULT GetVariableCollection(VARIANT* collection);
  virtual HRESULT InternalGetComponentCollection(const std::string& component, BYTE flag, VARIANT* collection);
  virtual HRESULT GetComponentCollection(VARIANT* collection);
  virtual HRESULT DeleteVariable(const std::string& component, BYTE flag, const std::string& name);
  virtual HRESULT DeleteVariable(const std::string& name);
  virtual HRESULT DeleteComponent(const std::string& component, BYTE flag);
  virtual HRESULT DeleteComponent();
  virtual HRESULT SetStringVariable(const std::string& component, BYTE flag, const std::string& name,
                                    const std::string& value);
  virtual HRESULT SetStringVariable(const std::string& name, const std::string& value);
  // `value` is emptied first, so it is empty after any failure.
  virtual HRESULT GetStringVariable(const std::string& component, BYTE flag, const std::string& name,
                                    std::string& value);
  virtual HRESULT GetStringVariable(const std::string& name, std::string& value);
  virtual HRESULT SetLongVariable(const std::string& component, BYTE flag, const std::string& name, LONG value);
  virtual HRESULT SetLongVariable(const std::string& name, LONG value);
  virtual HRESULT GetLongVariable(const std::string& component, BYTE flag, const std::string& name, LONG& value);
  virtual HRESULT GetLongVariable(const std::string& name, LONG& value);
  virtual HRESULT SetBoolVariable(const std::string& component, BYTE flag, const std::string& name, bool value);
  virtual HRESULT SetBoolVariable(const std::string& name, bool value);
  virtual HRESULT GetBoolVariable(const std::string& component, BYTE flag, const std::string& name, bool& value);
  virtual HRESULT GetBoolVariable(const std::string& name, bool& value);
  virtual HRESULT SetBlobVariable(const std::string& component, BYTE flag, const std::string& name, DWORD size,
                                  const BYTE* data);
  virtual HRESULT SetBlobVariable(const std::string& name, DWORD size, const BYTE* data);
  virtual HRESULT GetBlobVariable(const std::string& component, BYTE flag, const std::string& name,
                                  std::vector<BYTE>& data);
  virtual HRESULT GetBlobVariable(const std::string& name, std::vector<BYTE>& data);

  const std::string& ComponentName() const { return m_componentName; }
  BYTE Flag() const { return m_flag; }

  // Releases the service; the next operation creates it again.
  void Unload();

 private:
  // Creates the service if none is held; failures are traced as the Load failure.
  HRESULT Load();

  ComPtr<ILumoraStoredVariables> m_service;
  std::string m_componentName;
  BYTE m_flag;
};

}  // namespace lumora

#endif  // LUMORA_STORE_STORED_VARIABLE_H_
