// A counting fake: an IUnknown that counts AddRef and Release, so a test can check that
// whatever held it gave every reference back.
#ifndef LUMORA_TESTS_SUPPORT_COUNTING_UNKNOWN_H_
#define LUMORA_TESTS_SUPPORT_COUNTING_UNKNOWN_H_

#include <gtest/gtest.h>

#include "lumora/automation.h"

namespace lumora::testing {

class CountingUnknown final : public IUnknown {
 public:
  CountingUnknown() = default;
  CountingUnknown(const CountingUnknown&) = delete;
  CountingUnknown& operator=(const CountingUnknown&) = delete;
  ~CountingUnknown() { EXPECT_EQ(m_adds, m_releases) << "references were not balanced"; }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown) return E_NOINTERFACE;
    AddRef();
    *ppv = this;
    return S_OK;
  }
  ULONG AddRef() override { return static_cast<ULONG>(++m_adds - m_releases); }
  ULONG Release() override { return static_cast<ULONG>(m_adds - ++m_releases); }

  long held() const { return m_adds - m_releases; }

 private:
  long m_adds = 0;
  long m_releases = 0;
};

}  // namespace lumora::testing

#endif  // LUMORA_TESTS_SUPPORT_COUNTING_UNKNOWN_H_
