// UStoredVariable against the real stored variable service, and against a service that
// cannot be created: results, emptied out strings and the exact trace texts.
#include "store/stored_variable.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "lumora/object.h"
#include "lumora/values.h"
#include "tests/support/failing_factory.h"
#include "tests/support/services_fixture.h"

namespace lumora {
namespace {

using ::testing::ElementsAre;

class StoredVariableTest : public testing::ServicesTest {};

TEST_F(StoredVariableTest, StringsRoundTripUnderTheAccessorsName) {
  UStoredVariable main("main", 0);
  EXPECT_EQ(main.ComponentName(), "main");
  EXPECT_EQ(main.Flag(), 0);
  ASSERT_EQ(main.SetStringVariable("csum", "0A1B2C3D4E"), S_OK);
  std::string value = "stale";
  ASSERT_EQ(UStoredVariable("main", 0).GetStringVariable("csum", value), S_OK);
  EXPECT_EQ(value, "0A1B2C3D4E");
  ASSERT_EQ(main.GetStringVariable("other", 0, "csum", value), HRESULT_FROM_WIN32(ERROR_NOT_FOUND))
      << "the internal form names its own component";
  UStoredVariable perUser("main", 1);
  EXPECT_TRUE(FAILED(perUser.GetStringVariable("csum", value))) << "a flag above 0 selects other variables";

  ASSERT_EQ(main.SetLongVariable("n", 41), S_OK);
  LONG number = 0;
  ASSERT_EQ(main.GetLongVariable("n", number), S_OK);
  EXPECT_EQ(number, 41);
  ASSERT_EQ(main.SetBoolVariable("b", true), S_OK);
  bool flag = false;
  ASSERT_EQ(main.GetBoolVariable("b", flag), S_OK);
  EXPECT_TRUE(flag);
  const BYTE bytes[] = {0, 1, 2, 0, 255};
  ASSERT_EQ(main.SetBlobVariable("blob", sizeof bytes, bytes), S_OK);
  std::vector<BYTE> blob;
  ASSERT_EQ(main.GetBlobVariable("blob", blob), S_OK);
  EXPECT_THAT(blob, ElementsAre(0, 1, 2, 0, 255));
  Variant names;
  ASSERT_EQ(main.GetVariableCollection(names.put()), S_OK);
  LONG upper = -1;
  SafeArrayGetUBound(names->parray, 1, &upper);
  EXPECT_EQ(upper, 3);
  ASSERT_EQ(main.DeleteVariable("n"), S_OK);
  ASSERT_EQ(main.DeleteComponent(), S_OK);
}

TEST_F(StoredVariableTest, MissingVariableGivesFailureEmptyTextAndTrace) {
  testing::TraceCapture traces;
  UStoredVariable main("main", 0);
  std::string value = "left over";
  const HRESULT hr = main.GetStringVariable("csum", value);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
  EXPECT_EQ(value, "") << "the out string is emptied first";
  EXPECT_THAT(traces.texts(), ElementsAre("UStoredVariable::GetStringVariable error 80070490"));
}

TEST_F(StoredVariableTest, EveryFailingOperationTracesItsOwnText) {
  UStoredVariable main("main", 0);
  ASSERT_EQ(main.SetStringVariable("text", "v"), S_OK);
  testing::TraceCapture traces;
  LONG number = 0;
  bool flag = false;
  std::vector<BYTE> blob;
  std::string value;
  EXPECT_EQ(main.DeleteVariable("absent"), HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
  EXPECT_EQ(main.DeleteComponent("absent", 0), HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
  EXPECT_EQ(main.SetStringVariable("", "v"), E_INVALIDARG);
  EXPECT_EQ(main.SetLongVariable("", 1), E_INVALIDARG);
  EXPECT_EQ(main.GetLongVariable("text", number), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(main.SetBoolVariable("", true), E_INVALIDARG);
  EXPECT_EQ(main.GetBoolVariable("text", flag), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(main.SetBlobVariable("", 0, nullptr), E_INVALIDARG);
  EXPECT_EQ(main.GetBlobVariable("text", blob), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(main.GetStringVariable("", value), HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
  EXPECT_THAT(
      traces.texts(),
      ElementsAre("UStoredVariable::DeleteVariable error 80070490", "UStoredVariable::DeleteComponent error 80070490",
                  "UStoredVariable::SetStringVariable error 80070057",
                  "UStoredVariable::SetLongVariable error 80070057", "UStoredVariable::GetLongVariable error 80020005",
                  "UStoredVariable::SetBoolVariable error 80070057", "UStoredVariable::GetBoolVariable error 80020005",
                  "UStoredVariable::SetBlobVariable error 80070057", "UStoredVariable::GetBlobVariable error 80020005",
                  "UStoredVariable::GetStringVariable error 80070490"));
}

using testing::FailingFactory;

TEST_F(StoredVariableTest, AServiceThatCannotBeCreatedIsReportedNotThrown) {
  FailingFactory factory(E_OUTOFMEMORY);
  DWORD cookie = 0;
  ASSERT_EQ(
      CoRegisterClassObject(CLSID_LumoraStoredVariables, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
      S_OK);
  testing::TraceCapture traces;
  UStoredVariable main("main", 0);
  std::string value = "left over";
  EXPECT_EQ(main.GetStringVariable("csum", value), E_OUTOFMEMORY);
  EXPECT_EQ(value, "");
  EXPECT_EQ(main.SetStringVariable("csum", "x"), E_OUTOFMEMORY) << "each operation tries to load again";
  EXPECT_THAT(traces.texts(),
              ElementsAre("UStoredVariable::Load failed: 8007000e", "UStoredVariable::Load failed: 8007000e"));
  ASSERT_EQ(CoRevokeClassObject(cookie), S_OK);
  EXPECT_EQ(main.SetStringVariable("csum", "x"), S_OK) << "and succeeds once the service can be had";
}

}  // namespace
}  // namespace lumora
