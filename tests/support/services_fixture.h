// A test with a fresh LUMORA_HOME in which the companion services are registered.
#ifndef LUMORA_TESTS_SUPPORT_SERVICES_FIXTURE_H_
#define LUMORA_TESTS_SUPPORT_SERVICES_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/temp_home.h"

namespace lumora::testing {

class ServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_home = std::make_unique<TempHome>();
    ASSERT_EQ(m_home->RegisterServices(), S_OK);
  }
  void TearDown() override {
    CoFreeUnusedLibraries();
    m_home.reset();
  }
  std::unique_ptr<TempHome> m_home;
};

}  // namespace lumora::testing

#endif  // LUMORA_TESTS_SUPPORT_SERVICES_FIXTURE_H_
