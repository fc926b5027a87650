// The local installation of the acceptance tests.
#include "tests/acceptance/installation_fixture.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/settings_client.h"
#include "lumora/services.h"
#include "lumora/values.h"
#include "store/profile_database.h"
#include "store/store_context.h"
#include "tools/lumora-admin/store_schema.h"

namespace lumora::testing {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The store state of this test process, as a fresh process starts.
void ForgetStore() {
  while (CryptProviderUseCount() > 0) ReleaseCryptProvider();
  CloseProfileDatabase();
  ForgetDatabasePath();
  ForgetKeptPasswordForTests();
}

}  // namespace

void InstallationTest::Install(bool registerRoot) {
  ForgetStore();
  m_home = std::make_unique<TempHome>();
  if (registerRoot) {
    // The installation the administrator's tool makes, trusting the test partners' root.
    std::string output;
    ASSERT_EQ(RunProgram({LUMORA_ADMIN, "--home", m_home->path(), "init"}, &output), 0) << output;
    ASSERT_EQ(RunProgram({LUMORA_ADMIN, "--home", m_home->path(), "trust", "add",
                          std::string(LUMORA_PARTNERS) + "/pki/partners-root.pem"},
                         &output),
              0)
        << output;
    return;
  }
  // The same by hand, but with the root section left unclaimed.
  ASSERT_EQ(m_home->RegisterServices(), S_OK);
  ASSERT_EQ(m_home->RegisterServer(LUMORA_COMPONENT_LIBRARY), S_OK);
  std::string error;
  ASSERT_TRUE(admin::CreateProfileDatabase(DatabasePath(), &error)) << error;
  ASSERT_EQ(WriteSetting(kSettingDatabasePath, DatabasePath()), S_OK);
  ASSERT_EQ(WriteSetting(kSettingInstallDirectory, InstallDirectory()), S_OK);
  fs::create_directories(InstallDirectory());
  fs::copy_file(std::string(LUMORA_PRODUCT_FILES) + "/ExceptionList.dll", InstallDirectory() + "/ExceptionList.dll");
  std::ofstream(InstallDirectory() + "/TrustedRoots.pem")
      << ReadText(std::string(LUMORA_PRODUCT_FILES) + "/product-root.pem")
      << ReadText(std::string(LUMORA_PARTNERS) + "/pki/partners-root.pem");
  fs::create_symlink(LUMORA_RUNTIME_LIBRARY, InstallDirectory() + "/liblumora-automation.so");
  ASSERT_EQ(AcquireCryptProvider(), 0);
  ASSERT_EQ(OpenProfileDatabase(), S_OK);  // makes the password, as the tool's init does
  ForgetStore();
}

void InstallationTest::TearDown() {
  ForgetStore();
  CoFreeUnusedLibraries();
  m_home.reset();
}

std::string InstallationTest::Partner(const std::string& who) {
  return std::string(LUMORA_PARTNERS) + "/bin/partner-" + who;
}

std::string InstallationTest::Admin(const std::string& who) {
  return std::string(LUMORA_PARTNERS) + "/bin/admin-" + who;
}

std::vector<std::string> InstallationTest::RunPartnerInOrder(const std::string& who,
                                                             const std::vector<std::string>& steps) {
  return RunSteps(Partner(who), steps);
}

std::vector<std::string> InstallationTest::RunSteps(const std::string& program, const std::vector<std::string>& steps) {
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), steps.begin(), steps.end());
  std::string output;
  EXPECT_EQ(RunProgram(argv, &output), 0) << program;
  std::vector<std::string> results;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    const size_t colon = line.find(": ");
    if (colon != std::string::npos) results.push_back(line.substr(colon + 2));
  }
  return results;
}

std::map<std::string, std::string> InstallationTest::RunPartner(const std::string& who,
                                                                const std::vector<std::string>& steps) {
  std::vector<std::string> argv = {Partner(who)};
  argv.insert(argv.end(), steps.begin(), steps.end());
  std::string output;
  EXPECT_EQ(RunProgram(argv, &output), 0) << who;
  std::map<std::string, std::string> results;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    const size_t colon = line.find(": ");
    if (colon != std::string::npos) results[line.substr(0, colon)] = line.substr(colon + 2);
  }
  return results;
}

std::vector<CertRow> InstallationTest::CertRows() {
  std::vector<CertRow> rows;
  EXPECT_EQ(AcquireCryptProvider(), 0);
  EXPECT_EQ(OpenProfileDatabase(), S_OK);
  {
    CCertSet set(ProfileDatabase());
    set.Open();
    while (!set.IsEOF()) {
      rows.push_back({set.m_Section, set.m_Usage, set.m_Cert, set.m_CertData});
      set.MoveNext();
    }
  }
  ForgetStore();
  return rows;
}

std::vector<std::pair<std::string, std::string>> InstallationTest::Notices() {
  std::vector<std::pair<std::string, std::string>> notices;
  ComPtr<ILumoraNotification> service;
  EXPECT_EQ(CoCreateInstance(CLSID_LumoraNotification, nullptr, CLSCTX_INPROC_SERVER, IID_ILumoraNotification,
                             service.put_void()),
            S_OK);
  LONG count = 0;
  service->GetNoticeCount(&count);
  for (LONG i = 0; i < count; ++i) {
    Bstr title;
    Bstr text;
    service->GetNoticeTitle(i, title.put());
    service->GetNoticeText(i, text.put());
    notices.emplace_back(title.ToUtf8(), text.ToUtf8());
  }
  return notices;
}

}  // namespace lumora::testing
