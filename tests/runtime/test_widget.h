// A small dual interface served by the separately built test server library, to exercise
// creation through the registry, aggregation, the construction step and late binding.
#ifndef LUMORA_TESTS_RUNTIME_TEST_WIDGET_H_
#define LUMORA_TESTS_RUNTIME_TEST_WIDGET_H_

#include "lumora/com_ptr.h"

struct ITestWidget : IDispatch {
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT put_Name(BSTR name) = 0;
  virtual HRESULT Add(LONG a, SHORT b, LONG* sum) = 0;
  virtual HRESULT Fail(LONG code) = 0;
  // Describes the VARIANT it was given: "<vt>:<value as text>".
  virtual HRESULT Describe(VARIANT value, BSTR* text) = 0;
  // Replaces the caller's VARIANT with the I4 value 42.
  virtual HRESULT Overwrite(VARIANT* value) = 0;
  virtual HRESULT NextDay(DATE when, DATE* later) = 0;
  virtual HRESULT IsTrue(VARIANT_BOOL flag, LONG* answer) = 0;
};

// {714CA2F1-D9B4-47D4-AC97-B5F84C8A8831}
inline constexpr IID IID_ITestWidget = {0x714CA2F1, 0xD9B4, 0x47D4, {0xAC, 0x97, 0xB5, 0xF8, 0x4C, 0x8A, 0x88, 0x31}};
// {D78DA34F-A670-4CE4-B2AA-A99D3F5CD3A9}
inline constexpr CLSID CLSID_TestWidget = {
    0xD78DA34F, 0xA670, 0x4CE4, {0xB2, 0xAA, 0xA9, 0x9D, 0x3F, 0x5C, 0xD3, 0xA9}};
// A widget whose construction step fails with E_ACCESSDENIED.
// {3641F2E3-6284-476E-ADF1-B53918BEBE73}
inline constexpr CLSID CLSID_TestFailingWidget = {
    0x3641F2E3, 0x6284, 0x476E, {0xAD, 0xF1, 0xB5, 0x39, 0x18, 0xBE, 0xBE, 0x73}};
// A widget that refuses aggregation.
// {61C19B81-B000-4821-BBAE-3BF30D0AEAAB}
inline constexpr CLSID CLSID_TestLoneWidget = {
    0x61C19B81, 0xB000, 0x4821, {0xBB, 0xAE, 0x3B, 0xF3, 0x0D, 0x0A, 0xEA, 0xAB}};
// Not served by anyone.
// {BE2D170F-80F9-40FF-8D45-93C3CEC89425}
inline constexpr CLSID CLSID_Nobody = {0xBE2D170F, 0x80F9, 0x40FF, {0x8D, 0x45, 0x93, 0xC3, 0xCE, 0xC8, 0x94, 0x25}};

LUMORA_INTERFACE_ID(ITestWidget, IID_ITestWidget)

// Exported by the test server: widgets constructed and destroyed so far.
extern "C" {
using PFN_TestServerCounts = void (*)(long* constructed, long* destroyed);
}

#endif  // LUMORA_TESTS_RUNTIME_TEST_WIDGET_H_
