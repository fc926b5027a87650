// UStoredVariable: every operation loads the service, converts its narrow arguments to
// BSTRs, makes the call and traces a negative result with the operation's message.
#include "stored_variable.h"

#include "lumora/trace.h"
#include "lumora/values.h"
#include "common/service_client.h"

namespace lumora {
namespace {

unsigned long TraceCode(HRESULT hr) { return static_cast<uint32_t>(hr); }

VARIANT_BOOL FlagOf(BYTE flag) { return flag > 0 ? VARIANT_TRUE : VARIANT_FALSE; }

// Converts narrow arguments to BSTRs; false when an allocation failed.
bool ToBstrs(std::initializer_list<std::pair<const std::string*, Bstr*>> pairs) {
  for (const auto& [text, bstr] : pairs) {
    *bstr = Bstr::FromUtf8(*text);
    if (!*bstr) return false;
  }
  return true;
}

// The service's result, traced with `message` when negative.
HRESULT Checked(HRESULT hr, const char* message) {
  if (FAILED(hr)) Trace(message, TraceCode(hr));
  return hr;
}

}  // namespace

UStoredVariable::UStoredVariable(std::string componentName, BYTE flag)
    : m_componentName(std::move(componentName)), m_flag(flag) {}

UStoredVariable::~UStoredVariable() = default;

void UStoredVariable::Unload() { m_service.reset(); }

HRESULT UStoredVariable::Load() {
  if (m_service) return S_OK;
  const HRESULT hr = CreateService(CLSID_LumoraStoredVariables, &m_service);
  if (FAILED(hr)) Trace("UStoredVariable::Load failed: %lx", TraceCode(hr));
  return hr;
}

HRESULT UStoredVariable::InternalGetVariableCollection(const std::string& component, BYTE flag, VARIANT* collection) {
  HRESULT hr = Load();
  if (FAILED(hr)) return hr;
  Bstr componentText;
  if (!ToBstrs({{&component, &componentText}})) return E_FAIL;
  return Checked(m_service->GetVariableCollection(componentText.get(), FlagOf(flag), collection),
                 "UStoredVariable::InternalGetVariableCollection error %lx");
}

HRESULT UStoredVariable::GetVariableCollection(VARIANT* collection) {
  return InternalGetVariableCollection(m_componentName, m_flag, collection);
}

HRESULT UStoredVariable::InternalGetComponentCollection(const std::string& component, BYTE flag, VARIANT* collection) {
  HRESULT hr = Load();
  if (FAILED(hr)) return hr;
  Bstr componentText;
  if (!ToBstrs({{&component, &componentText}})) return E_FAIL;
  return Checked(m_service->GetComponentCollection(componentText.get(), FlagOf(flag), collection),
                 "UStoredVariable::InternalGetComponentCollection error %lx");
}

HRESULT UStoredVariable::GetComponentCollection(VARIANT* collection) {
  return InternalGetComponentCollection(m_componentName, m_flag, collection);
}

HRESULT UStoredVariable::DeleteVariable(const std::string& component, BYTE flag, const std::string& name) {
  HRESULT hr = Load();
  if (FAILED(hr)) return hr;
  Bstr componentText, nameText;
  if (!ToBstrs({{&component, &componentText}, {&name, &nameText}})) return E_FAIL;
  return Checked(m_service->DeleteVariable(componentText.get(), nameText.get(), FlagOf(flag)),
                 "UStoredVariable::DeleteVariable error %lx");
}

HRESULT UStoredVariable::DeleteVariable(const std::string& name) {
  return DeleteVariable(m_componentName, m_flag, name);
}

HRESULT UStoredVariable::DeleteComponent(const std::string& component, BYTE flag) {
  HRESULT hr = Load();
  if (FAILED(hr)) return hr;
  Bstr componentText;
  if (!ToBstrs({{&component, &componentText}})) return E_FAIL;
  return Checked(m_service->DeleteComponent(componentText.get(), FlagOf(flag)),
                 "UStoredVariable::DeleteComponent error %lx");
}

HRESULT UStoredVariable::DeleteComponent() { return DeleteComponent(m_componentName, m_flag); }

HRESULT UStoredVariable::SetStringVariable(const std::string& component, BYTE flag, const std::string& name,
                                           const std::string& value) {
  HRESULT hr = Load();
  if (FAILED(hr)) return hr;
  Bstr componentText, nameText, valueText;
  if (!ToBstrs({{&component, &componentText}, {&name, &nameText}, {&value, &valueText}})) return E_FAIL;
  return Checked(m_service->SetStringVariable(componentText.get(), nameText.get(), FlagOf(flag), valueText.get()),
                 "UStoredVariable::SetStringVariable error %lx");
}

HRESULT UStoredVariable::SetStringVariable(const std::string& name, const std::string& value) {
  return SetStringVariable(m_componentName, m_flag, name, value);
}

HRESULT UStoredVariable::GetStringVariable(const std::string& component, BYTE flag, const std::string& name,
                                           std::string& value) {
  value.clear();
  HRESULT hr = Load();
  if (FAILED(hr)) return hr;
  Bstr componentText, nameText;
  if (!ToBstrs({{&component, &componentText}, {&name, &nameText}})) return E_FAIL;
  Bstr result;
  hr = Checked(m_service->GetStringVariable(componentText.get(), nameText.get(), FlagOf(flag), result.put()),
               "UStoredVariable::GetStringVariable error %lx");
  if (FAILED(hr)) return hr;
  value = result.ToUtf8();
  return hr;
}

HRESULT UStoredVariable::GetStringVariable(const std::string& name, std::string& value) {
  return GetStringVariable(m_componentName, m_flag, name, value);
}

HRESULT UStoredVariable::SetLongVariable(const std::string& component, BYTE flag, const std::string& name, LONG value) {
  HRESULT hr = Load();
  if (FAILED(hr)) return hr;
  Bstr componentText, nameText;
  if (!ToBstrs({{&component, &componentText}, {&name, &nameText}})) return E_FAIL;
  return Checked(m_service->SetLongVariable(componentText.get(), nameText.get(), FlagOf(flag), value),
                 "UStoredVariable::SetLongVariable error %lx");
}

HRESULT UStoredVariable::SetLongVariable(const std::string& name, LONG value) {
  return SetLongVariable(m_componentName, m_flag, name, value);
}

HRESULT UStoredVariable::GetLongVariable(const std::string& component, BYTE flag, const std::string& name,
                                         LONG& value) {
  HRESULT hr = Load();
  if (FAILED(hr)) return hr;
  Bstr componentText, nameText;
  if (!ToBstrs({{&component, &componentText}, {&name, &nameText}})) return E_FAIL;
  return Checked(m_service->GetLongVariable(componentText.get(), nameText.get(), FlagOf(flag), &value),
                 "UStoredVariable::GetLongVariable error %lx");
}

HRESULT UStoredVariable::GetLongVariable(const std::string& name, LONG& value) {
  return GetLongVariable(m_componentName, m_flag, name, value);
}

HRESULT UStoredVariable::SetBoolVariable(const std::string& component, BYTE flag, const std::string& name, bool value) {
  HRESULT hr = Load();
  if (FAILED(hr)) return hr;
  Bstr componentText, nameText;
  if (!ToBstrs({{&component, &componentText}, {&name, &nameText}})) return E_FAIL;
  return Checked(m_service->SetBoolVariable(componentText.get(), nameText.get(), FlagOf(flag),
                                            value ? VARIANT_TRUE : VARIANT_FALSE),
                 "UStoredVariable::SetBoolVariable error %lx");
}

HRESULT UStoredVariable::SetBoolVariable(const std::string& name, bool value) {
  return SetBoolVariable(m_componentName, m_flag, name, value);
}

HRESULT UStoredVariable::GetBoolVariable(const std::string& component, BYTE flag, const std::string& name,
                                         bool& value) {
  HRESULT hr = Load();
  if (FAILED(hr)) return hr;
  Bstr componentText, nameText;
  if (!ToBstrs({{&component, &componentText}, {&name, &nameText}})) return E_FAIL;
  VARIANT_BOOL result = VARIANT_FALSE;
  hr = Checked(m_service->GetBoolVariable(componentText.get(), nameText.get(), FlagOf(flag), &result),
               "UStoredVariable::GetBoolVariable error %lx");
  if (FAILED(hr)) return hr;
  value = result != 0;
  return hr;
}

HRESULT UStoredVariable::GetBoolVariable(const std::string& name, bool& value) {
  return GetBoolVariable(m_componentName, m_flag, name, value);
}

HRESULT UStoredVariable::SetBlobVariable(const std::string& component, BYTE flag, const std::string& name, DWORD size,
                                         const BYTE* data) {
  HRESULT hr = Load();
  if (FAILED(hr)) return hr;
  if (size > 0 && data == nullptr) return E_POINTER;
  Bstr componentText, nameText;
  if (!ToBstrs({{&component, &componentText}, {&name, &nameText}})) return E_FAIL;
  Bstr bytes = Bstr::FromBytes(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!bytes) return E_FAIL;
  return Checked(m_service->SetBlobVariable(componentText.get(), nameText.get(), static_cast<LONG>(size), FlagOf(flag),
                                            bytes.get()),
                 "UStoredVariable::SetBlobVariable error %lx");
}

HRESULT UStoredVariable::SetBlobVariable(const std::string& name, DWORD size, const BYTE* data) {
  return SetBlobVariable(m_componentName, m_flag, name, size, data);
}

HRESULT UStoredVariable::GetBlobVariable(const std::string& component, BYTE flag, const std::string& name,
                                         std::vector<BYTE>& data) {
  data.clear();
  HRESULT hr = Load();
  if (FAILED(hr)) return hr;
  Bstr componentText, nameText;
  if (!ToBstrs({{&component, &componentText}, {&name, &nameText}})) return E_FAIL;
  Bstr bytes;
  hr = Checked(m_service->GetBlobVariable(componentText.get(), nameText.get(), FlagOf(flag), bytes.put()),
               "UStoredVariable::GetBlobVariable error %lx");
  if (FAILED(hr)) return hr;
  const auto* begin = reinterpret_cast<const BYTE*>(bytes.get());
  data.assign(begin, begin + SysStringByteLen(bytes.get()));
  return hr;
}

HRESULT UStoredVariable::GetBlobVariable(const std::string& name, std::vector<BYTE>& data) {
  return GetBlobVariable(m_componentName, m_flag, name, data);
}

}  // namespace lumora
