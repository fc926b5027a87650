// A fresh LUMORA_HOME with the test server library registered in it.
#ifndef LUMORA_TESTS_RUNTIME_SERVER_FIXTURE_H_
#define LUMORA_TESTS_RUNTIME_SERVER_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>

#include "tests/runtime/test_widget.h"
#include "tests/support/temp_home.h"

namespace lumora::testing {

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_home = std::make_unique<TempHome>();
    ASSERT_EQ(m_home->RegisterServer(LUMORA_TEST_SERVER_LIBRARY), S_OK);
  }
  void TearDown() override {
    CoFreeUnusedLibraries();
    m_home.reset();
  }

  ComPtr<ITestWidget> MakeWidget() {
    ComPtr<ITestWidget> widget;
    EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_INPROC_SERVER, IID_ITestWidget, widget.put_void()),
              S_OK);
    return widget;
  }

  std::unique_ptr<TempHome> m_home;
};

}  // namespace lumora::testing

#endif  // LUMORA_TESTS_RUNTIME_SERVER_FIXTURE_H_
