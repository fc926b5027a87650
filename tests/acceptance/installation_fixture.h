// A local installation made by the administrator's tool (lumora-admin init, then trust
// add of the test partners' root), for tests that run signed partner programs against it
// in their own processes: LUMORA_HOME with the companion services and the component
// registered, the settings, the profile database with its password, the installation
// directory (the signed exception list, the trusted roots, a link to the object runtime)
// and the root section "/" registered for the product certificate.
#ifndef LUMORA_TESTS_ACCEPTANCE_INSTALLATION_FIXTURE_H_
#define LUMORA_TESTS_ACCEPTANCE_INSTALLATION_FIXTURE_H_

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "store/cert_set.h"
#include "tests/support/temp_home.h"

namespace lumora::testing {

// One Certs row as the tests look at it.
struct CertRow {
  std::string section;
  LONG usage;
  std::string cert;
  std::vector<BYTE> data;
};

class InstallationTest : public ::testing::Test {
 protected:
  void SetUp() override { Install(true); }
  void TearDown() override;

  // Makes the installation; without `registerRoot` the root section stays unclaimed.
  void Install(bool registerRoot);

  // A signed partner program of the fixtures ("acme", "globex", "product", "unsigned"...).
  static std::string Partner(const std::string& who);
  // A signed administration program of the fixtures ("product", "acme", "unsigned").
  static std::string Admin(const std::string& who);
  // Runs a program with arguments; the results of its steps in order, each "0x..." and
  // whatever value the step printed after it.
  std::vector<std::string> RunSteps(const std::string& program, const std::vector<std::string>& steps);
  // Runs a partner program with steps; the lines it printed, step -> result.
  std::map<std::string, std::string> RunPartner(const std::string& who, const std::vector<std::string>& steps);
  // The results of the partner's steps in order ("0x00000000" ...), "create" first.
  std::vector<std::string> RunPartnerInOrder(const std::string& who, const std::vector<std::string>& steps);

  std::vector<CertRow> CertRows();
  // Notices of the notification service: title and text.
  std::vector<std::pair<std::string, std::string>> Notices();

  std::string InstallDirectory() const { return m_home->path() + "/install"; }
  std::string DatabasePath() const { return m_home->path() + "/profile.db"; }

  std::unique_ptr<TempHome> m_home;
};

inline constexpr char kOk[] = "0x00000000";
inline constexpr char kAccessDenied[] = "0x80070005";

}  // namespace lumora::testing

#endif  // LUMORA_TESTS_ACCEPTANCE_INSTALLATION_FIXTURE_H_
