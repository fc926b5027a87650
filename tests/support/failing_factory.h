// A class object whose every creation fails with one result, standing in for a broken or
// missing service when registered in the process (CoRegisterClassObject). It lives on
// the caller's stack: AddRef and Release count nothing.
#ifndef LUMORA_TESTS_SUPPORT_FAILING_FACTORY_H_
#define LUMORA_TESTS_SUPPORT_FAILING_FACTORY_H_

#include "lumora/automation.h"

namespace lumora::testing {

class FailingFactory final : public IClassFactory {
 public:
  explicit FailingFactory(HRESULT failure) : m_failure(failure) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
    *ppv = this;
    return S_OK;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown*, REFIID, void** ppv) override {
    *ppv = nullptr;
    return m_failure;
  }
  HRESULT LockServer(BOOL) override { return S_OK; }

 private:
  HRESULT m_failure;
};

}  // namespace lumora::testing

#endif  // LUMORA_TESTS_SUPPORT_FAILING_FACTORY_H_
