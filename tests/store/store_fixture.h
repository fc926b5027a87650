// A fresh installation for store tests: LUMORA_HOME with the services registered, the
// database path setting, and an empty profile database without a password. The
// process-wide store state is reset around each test.
#ifndef LUMORA_TESTS_STORE_STORE_FIXTURE_H_
#define LUMORA_TESTS_STORE_STORE_FIXTURE_H_

#include <gtest/gtest.h>

#include "common/settings_client.h"
#include "store/profile_database.h"
#include "store/store_context.h"
#include "tests/support/services_fixture.h"
#include "tools/lumora-admin/store_schema.h"

namespace lumora::testing {

class StoreTest : public ServicesTest {
 protected:
  void SetUp() override {
    ServicesTest::SetUp();
    ResetProcessState();
    m_path = m_home->path() + "/profile.db";
    std::string error;
    ASSERT_TRUE(admin::CreateProfileDatabase(m_path, &error)) << error;
    ASSERT_EQ(WriteSetting(kSettingDatabasePath, m_path), S_OK);
  }
  void TearDown() override {
    while (CryptProviderUseCount() > 0) ReleaseCryptProvider();
    ResetProcessState();
    ServicesTest::TearDown();
  }
  static void ResetProcessState() {
    CloseProfileDatabase();
    ForgetDatabasePath();
    ForgetKeptPasswordForTests();
    SetAfterPasswordStoredHook(nullptr);
  }
  std::vector<std::string> Peer(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {LUMORA_STORE_PEER};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }

  std::string m_path;
};

}  // namespace lumora::testing

#endif  // LUMORA_TESTS_STORE_STORE_FIXTURE_H_
