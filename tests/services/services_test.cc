// The companion services through the registry: each operation's contract, late binding,
// round trips through a second process, and several processes writing at once.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "lumora/services.h"
#include "lumora/values.h"
#include "services/json_line.h"
#include "services/state_file.h"
#include "tests/support/services_fixture.h"

namespace lumora {
namespace {

template <class I>
ComPtr<I> Create(REFCLSID clsid) {
  ComPtr<I> service;
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, kServiceContext, IidOf<I>, service.put_void()), S_OK);
  return service;
}

Bstr B(const char* text) { return Bstr::FromUtf8(text); }

std::string Peer(const std::vector<std::string>& args, int expectedExit = 0) {
  std::vector<std::string> argv = {LUMORA_SERVICE_PEER};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string output;
  EXPECT_EQ(testing::RunProgram(argv, &output), expectedExit) << output;
  return output;
}

class ServicesTest : public testing::ServicesTest {};

const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

TEST_F(ServicesTest, EachServiceIsCreatableByProgramId) {
  for (const char16_t* progId :
       {u"Lumora.Settings", u"Lumora.StoredVariables.1", u"Lumora.Notification", u"Lumora.ChangeSink"}) {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(progId, &clsid), S_OK);
    ComPtr<IDispatch> service;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, kServiceContext, IID_IDispatch, service.put_void()), S_OK);
  }
}

TEST_F(ServicesTest, SettingsKeepStringsById) {
  auto settings = Create<ILumoraSettings>(CLSID_LumoraSettings);
  BSTR untouched = SysAllocString(u"untouched");
  BSTR slot = untouched;
  EXPECT_EQ(settings->GetSetting(2, &slot), kNotFound);
  EXPECT_EQ(slot, untouched) << "a failure leaves the caller's copy alone";
  SysFreeString(untouched);
  Bstr value;
  VARIANT_BOOL exists = VARIANT_TRUE;
  ASSERT_EQ(settings->HasSetting(2, &exists), S_OK);
  EXPECT_EQ(exists, VARIANT_FALSE);

  ASSERT_EQ(settings->PutSetting(2, B("/var/lib/lumora/profile \xE2\x82\xAC.db\nsecond line").get()), S_OK);
  ASSERT_EQ(settings->PutSetting(16, B("").get()), S_OK);
  ASSERT_EQ(settings->PutSetting(2, B("/tmp/profile.db").get()), S_OK);
  ASSERT_EQ(settings->GetSetting(2, value.put()), S_OK);
  EXPECT_EQ(value.ToUtf8(), "/tmp/profile.db") << "a second put replaces the first";
  ASSERT_EQ(settings->GetSetting(16, value.put()), S_OK);
  EXPECT_EQ(value.ToUtf8(), "") << "an empty setting exists";
  ASSERT_EQ(settings->DeleteSetting(16), S_OK);
  EXPECT_EQ(settings->GetSetting(16, value.put()), kNotFound);
  EXPECT_EQ(settings->GetSetting(2, nullptr), E_POINTER);
}

TEST_F(ServicesTest, StoredVariablesKeepTypedValues) {
  auto variables = Create<ILumoraStoredVariables>(CLSID_LumoraStoredVariables);
  ASSERT_EQ(variables->SetStringVariable(B("main").get(), B("csum").get(), VARIANT_FALSE, B("0A1B2C3D4E").get()), S_OK);
  ASSERT_EQ(variables->SetLongVariable(B("main").get(), B("count").get(), VARIANT_FALSE, -5), S_OK);
  ASSERT_EQ(variables->SetBoolVariable(B("main").get(), B("on").get(), VARIANT_FALSE, VARIANT_TRUE), S_OK);
  const std::string blob("\x00\x01\xFF\x00z", 5);
  Bstr bytes = Bstr::FromBytes(blob + "tail");
  ASSERT_EQ(variables->SetBlobVariable(B("other").get(), B("blob").get(), 5, VARIANT_FALSE, bytes.get()), S_OK);

  Bstr text;
  ASSERT_EQ(variables->GetStringVariable(B("main").get(), B("csum").get(), VARIANT_FALSE, text.put()), S_OK);
  EXPECT_EQ(text.ToUtf8(), "0A1B2C3D4E");
  LONG number = 0;
  ASSERT_EQ(variables->GetLongVariable(B("main").get(), B("count").get(), VARIANT_FALSE, &number), S_OK);
  EXPECT_EQ(number, -5);
  VARIANT_BOOL flag = 0;
  ASSERT_EQ(variables->GetBoolVariable(B("main").get(), B("on").get(), VARIANT_FALSE, &flag), S_OK);
  EXPECT_EQ(flag, VARIANT_TRUE);
  Bstr readBlob;
  ASSERT_EQ(variables->GetBlobVariable(B("other").get(), B("blob").get(), VARIANT_FALSE, readBlob.put()), S_OK);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(readBlob.get()), SysStringByteLen(readBlob.get())), blob);

  EXPECT_EQ(variables->GetLongVariable(B("main").get(), B("csum").get(), VARIANT_FALSE, &number), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(variables->GetStringVariable(B("main").get(), B("csum").get(), VARIANT_TRUE, text.put()), kNotFound)
      << "the user's variables are apart from the machine's";
  EXPECT_EQ(variables->GetStringVariable(B("Main").get(), B("csum").get(), VARIANT_FALSE, text.put()), kNotFound);
  EXPECT_EQ(variables->SetBlobVariable(B("x").get(), B("y").get(), 99, VARIANT_FALSE, bytes.get()), E_INVALIDARG);
  EXPECT_EQ(variables->SetStringVariable(B("").get(), B("y").get(), VARIANT_FALSE, B("v").get()), E_INVALIDARG);

  Variant names;
  ASSERT_EQ(variables->GetVariableCollection(B("main").get(), VARIANT_FALSE, names.put()), S_OK);
  ASSERT_EQ(names.vt(), VT_ARRAY | VT_BSTR);
  LONG upper = -1;
  SafeArrayGetUBound(names->parray, 1, &upper);
  EXPECT_EQ(upper, 2) << "csum, count and on";
  ASSERT_EQ(variables->GetComponentCollection(B("").get(), VARIANT_FALSE, names.put()), S_OK);
  SafeArrayGetUBound(names->parray, 1, &upper);
  EXPECT_EQ(upper, 1) << "main and other";

  ASSERT_EQ(variables->DeleteVariable(B("main").get(), B("csum").get(), VARIANT_FALSE), S_OK);
  EXPECT_EQ(variables->DeleteVariable(B("main").get(), B("csum").get(), VARIANT_FALSE), kNotFound);
  ASSERT_EQ(variables->DeleteComponent(B("main").get(), VARIANT_FALSE), S_OK);
  EXPECT_EQ(variables->GetLongVariable(B("main").get(), B("count").get(), VARIANT_FALSE, &number), kNotFound);
  EXPECT_EQ(variables->DeleteComponent(B("main").get(), VARIANT_FALSE), kNotFound);
}

TEST_F(ServicesTest, NotificationKeepsNoticesAndChangesAsJsonLines) {
  auto notification = Create<ILumoraNotification>(CLSID_LumoraNotification);
  ASSERT_EQ(
      notification->PostNotice(B("Relationship Settings").get(), B("Unable to determine if \"X\" is trusted.").get()),
      S_OK);
  ASSERT_EQ(notification->RecordProfileChange(B("Home phone").get(), 1, 2), S_OK);
  ASSERT_EQ(notification->RecordProfileChange(B("Age").get(), 2, 0), S_OK);

  LONG count = 0;
  ASSERT_EQ(notification->GetNoticeCount(&count), S_OK);
  EXPECT_EQ(count, 1);
  Bstr text;
  ASSERT_EQ(notification->GetNoticeText(0, text.put()), S_OK);
  EXPECT_EQ(text.ToUtf8(), "Unable to determine if \"X\" is trusted.");
  DATE when = 0;
  ASSERT_EQ(notification->GetNoticeTime(0, &when), S_OK);
  EXPECT_GT(when, 46000.0) << "stamped with the current time";
  EXPECT_EQ(notification->GetNoticeTitle(1, text.put()), DISP_E_BADINDEX);
  EXPECT_EQ(notification->GetNoticeTitle(-1, text.put()), DISP_E_BADINDEX);

  ASSERT_EQ(notification->GetChangeCount(&count), S_OK);
  EXPECT_EQ(count, 2);
  LONG kind = 0, requester = -1;
  ASSERT_EQ(notification->GetChangeFieldName(1, text.put()), S_OK);
  ASSERT_EQ(notification->GetChangeKind(1, &kind), S_OK);
  ASSERT_EQ(notification->GetChangeRequester(1, &requester), S_OK);
  EXPECT_EQ(text.ToUtf8(), "Age");
  EXPECT_EQ(kind, 2);
  EXPECT_EQ(requester, 0);
  EXPECT_EQ(notification->Reserved14(), E_NOTIMPL);

  std::ifstream file(m_home->path() + "/changes.jsonl");
  std::string line;
  int lines = 0;
  while (std::getline(file, line)) {
    services::JsonObject record;
    EXPECT_TRUE(services::ParseJsonLine(line, &record)) << line;
    ++lines;
  }
  EXPECT_EQ(lines, 2);

  ASSERT_EQ(notification->DeleteNotice(0), S_OK);
  EXPECT_EQ(notification->DeleteNotice(0), DISP_E_BADINDEX);
  ASSERT_EQ(notification->ClearChanges(), S_OK);
  ASSERT_EQ(notification->GetChangeCount(&count), S_OK);
  EXPECT_EQ(count, 0);
}

TEST_F(ServicesTest, ChangeSinkKeepsEachBatch) {
  auto sink = Create<ILumoraChangeSink>(CLSID_LumoraChangeSink);
  Variant batch = Variant::Array(SafeArray::OfStrings({"com.example.a", "com.example.b", "com.example.a"}), VT_BSTR);
  ASSERT_EQ(sink->ProfileChanged(*batch.get()), S_OK);
  SAFEARRAY* array = batch->parray;
  VARIANT byRef;
  VariantInit(&byRef);
  byRef.vt = VT_BYREF | VT_ARRAY | VT_BSTR;
  byRef.pparray = &array;
  ASSERT_EQ(sink->ProfileChanged(byRef), S_OK);
  EXPECT_EQ(sink->ProfileChanged(*Variant::Utf8("not an array").get()), E_INVALIDARG);
  Variant numbers = Variant::Array(SafeArray::Vector(VT_I4, 0, 2), VT_I4);
  EXPECT_EQ(sink->ProfileChanged(*numbers.get()), E_INVALIDARG);

  LONG count = 0;
  ASSERT_EQ(sink->GetBatchCount(&count), S_OK);
  EXPECT_EQ(count, 2);
  ASSERT_EQ(sink->GetBatchSize(1, &count), S_OK);
  EXPECT_EQ(count, 3) << "a uki stands once for each change";
  Bstr uki;
  ASSERT_EQ(sink->GetBatchUki(0, 1, uki.put()), S_OK);
  EXPECT_EQ(uki.ToUtf8(), "com.example.b");
  EXPECT_EQ(sink->GetBatchUki(0, 3, uki.put()), DISP_E_BADINDEX);
}

TEST_F(ServicesTest, LateBindingReachesEveryService) {
  auto settings = Create<ILumoraSettings>(CLSID_LumoraSettings);
  ComPtr<IDispatch> dispatch = settings.query<IDispatch>();
  LPOLESTR names[] = {const_cast<LPOLESTR>(u"putsetting")};
  DISPID id = 0;
  ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
  VARIANT args[2];
  args[0] = Variant::Utf8("through dispatch").detach();  // the value: last argument first
  VariantInit(&args[1]);
  args[1].vt = VT_BSTR;
  args[1].bstrVal = SysAllocString(u"6");  // the id, coerced from text
  DISPPARAMS params{args, nullptr, 2, 0};
  EXPECT_EQ(dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
  VariantClear(&args[0]);
  VariantClear(&args[1]);
  Bstr value;
  ASSERT_EQ(settings->GetSetting(6, value.put()), S_OK);
  EXPECT_EQ(value.ToUtf8(), "through dispatch");

  auto notification = Create<ILumoraNotification>(CLSID_LumoraNotification);
  ComPtr<IDispatch> notificationDispatch = notification.query<IDispatch>();
  VARIANT post[2];
  VariantInit(&post[0]);
  VariantInit(&post[1]);
  post[0].vt = VT_BSTR;
  post[0].bstrVal = SysAllocString(u"text");
  post[1].vt = VT_BSTR;
  post[1].bstrVal = SysAllocString(u"title");
  DISPPARAMS postParams{post, nullptr, 2, 0};
  EXPECT_EQ(notificationDispatch->Invoke(16, IID_NULL, 0, DISPATCH_METHOD, &postParams, nullptr, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(notificationDispatch->Invoke(14, IID_NULL, 0, DISPATCH_METHOD, &postParams, nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND)
      << "reserved slots are not reachable by dispid";
  VariantClear(&post[0]);
  VariantClear(&post[1]);
  Bstr title;
  ASSERT_EQ(notification->GetNoticeTitle(0, title.put()), S_OK);
  EXPECT_EQ(title.ToUtf8(), "title");
}

TEST_F(ServicesTest, ValuesRoundTripThroughASecondProcess) {
  Peer({"put-setting", "2", "/srv/profile.db"});
  Bstr value;
  ASSERT_EQ(Create<ILumoraSettings>(CLSID_LumoraSettings)->GetSetting(2, value.put()), S_OK);
  EXPECT_EQ(value.ToUtf8(), "/srv/profile.db");
  ASSERT_EQ(Create<ILumoraSettings>(CLSID_LumoraSettings)->PutSetting(16, B("F00D").get()), S_OK);
  EXPECT_EQ(Peer({"get-setting", "16"}), "F00D\n");
  EXPECT_EQ(Peer({"get-setting", "99"}, 1), "error 80070490\n");

  Peer({"set-string", "main", "csum", "ABCDEF0123"});
  ASSERT_EQ(Create<ILumoraStoredVariables>(CLSID_LumoraStoredVariables)
                ->GetStringVariable(B("main").get(), B("csum").get(), VARIANT_FALSE, value.put()),
            S_OK);
  EXPECT_EQ(value.ToUtf8(), "ABCDEF0123");
  ASSERT_EQ(Create<ILumoraStoredVariables>(CLSID_LumoraStoredVariables)
                ->SetStringVariable(B("main").get(), B("other").get(), VARIANT_FALSE, B("x y").get()),
            S_OK);
  EXPECT_EQ(Peer({"get-string", "main", "other"}), "x y\n");

  Peer({"post-notices", "1", "from peer "});
  Peer({"record-change", "Nickname", "1", "1"});
  auto notification = Create<ILumoraNotification>(CLSID_LumoraNotification);
  ASSERT_EQ(notification->GetNoticeTitle(0, value.put()), S_OK);
  EXPECT_EQ(value.ToUtf8(), "from peer 0");
  ASSERT_EQ(notification->GetChangeFieldName(0, value.put()), S_OK);
  EXPECT_EQ(value.ToUtf8(), "Nickname");
  ASSERT_EQ(notification->PostNotice(B("from test").get(), B("body").get()), S_OK);
  EXPECT_EQ(Peer({"notices"}), "from peer 0|text\nfrom test|body\n");

  Peer({"sink", "a.b", "c.d"});
  auto sink = Create<ILumoraChangeSink>(CLSID_LumoraChangeSink);
  LONG count = 0;
  ASSERT_EQ(sink->GetBatchSize(0, &count), S_OK);
  EXPECT_EQ(count, 2);
}

TEST_F(ServicesTest, SeveralProcessesAtOnceLoseNothing) {
  std::vector<std::thread> writers;
  for (int p = 0; p < 4; ++p) {
    writers.emplace_back([p] {
      Peer({"put-settings", std::to_string(100 + p * 25), "25"});
      Peer({"post-notices", "25", "p" + std::to_string(p) + "-"});
    });
  }
  for (std::thread& writer : writers) writer.join();
  auto settings = Create<ILumoraSettings>(CLSID_LumoraSettings);
  for (LONG id = 100; id < 200; ++id) {
    Bstr value;
    ASSERT_EQ(settings->GetSetting(id, value.put()), S_OK) << id;
    EXPECT_EQ(value.ToUtf8(), "value " + std::to_string(id));
  }
  LONG notices = 0;
  ASSERT_EQ(Create<ILumoraNotification>(CLSID_LumoraNotification)->GetNoticeCount(&notices), S_OK);
  EXPECT_EQ(notices, 100);
}

// A writer that died mid-line leaves a fragment without its newline; a record appended
// after it must still be a record. Lines over 1 MiB are refused on write, and one found
// in a file is skipped (and reported once) without holding it in memory.
TEST_F(ServicesTest, JsonLinesSurviveTornAndOverlongLines) {
  auto notification = Create<ILumoraNotification>(CLSID_LumoraNotification);
  ASSERT_EQ(notification->PostNotice(B("first").get(), B("one").get()), S_OK);
  const std::string path = m_home->path() + "/notices.jsonl";
  std::ofstream(path, std::ios::app) << R"({"time":"2024-01-01T00:00:00Z","title":"torn)";
  ASSERT_EQ(notification->PostNotice(B("after the tear").get(), B("two").get()), S_OK);
  LONG count = 0;
  ASSERT_EQ(notification->GetNoticeCount(&count), S_OK);
  EXPECT_EQ(count, 3);
  Bstr text;
  ASSERT_EQ(notification->GetNoticeTitle(2, text.put()), S_OK);
  EXPECT_EQ(text.ToUtf8(), "after the tear");
  ASSERT_EQ(notification->GetNoticeText(2, text.put()), S_OK);
  EXPECT_EQ(text.ToUtf8(), "two");
  EXPECT_EQ(notification->GetNoticeTitle(1, text.put()), HRESULT_FROM_WIN32(ERROR_INVALID_DATA)) << "the fragment";

  const std::string big(services::kMaxLineLength, 'x');
  const std::string before = [&] {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  }();
  EXPECT_EQ(notification->PostNotice(B("big").get(), Bstr::FromUtf8(big).get()), E_INVALIDARG);
  EXPECT_EQ(notification->RecordProfileChange(Bstr::FromUtf8(big).get(), 1, 1), E_INVALIDARG);
  auto settings = Create<ILumoraSettings>(CLSID_LumoraSettings);
  EXPECT_EQ(settings->PutSetting(50, Bstr::FromUtf8(big).get()), E_INVALIDARG);
  EXPECT_EQ(settings->GetSetting(50, text.put()), kNotFound) << "nothing of a refused line is stored";
  {
    std::ifstream file(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), before);
  }

  std::ofstream(path, std::ios::app) << R"({"title":")" << std::string(3 << 20, 'y') << "\"}\n";
  ASSERT_EQ(notification->PostNotice(B("after the giant").get(), B("three").get()), S_OK);
  testing::TraceCapture trace;
  ASSERT_EQ(notification->GetNoticeCount(&count), S_OK);
  EXPECT_EQ(count, 4) << "the giant line is skipped";
  ASSERT_EQ(notification->GetNoticeTitle(3, text.put()), S_OK);
  EXPECT_EQ(text.ToUtf8(), "after the giant");
  ASSERT_EQ(trace.texts().size(), 1u) << "reported once, not on every read";
  EXPECT_NE(trace.texts()[0].find("notices.jsonl"), std::string::npos) << trace.texts()[0];
  EXPECT_NE(trace.texts()[0].find("longer than 1048576 bytes"), std::string::npos) << trace.texts()[0];
}

// Every file the services and the registry make is for owner and group only, whatever
// the umask of the process that happens to make it.
TEST(ServicesFilesTest, AreForOwnerAndGroupWhateverTheUmask) {
  for (const mode_t mask : {mode_t{0}, mode_t{077}}) {
    SCOPED_TRACE(mask);
    const mode_t previous = ::umask(mask);
    {
      testing::TempHome home;
      ASSERT_EQ(home.RegisterServices(), S_OK);
      ASSERT_EQ(Create<ILumoraSettings>(CLSID_LumoraSettings)->PutSetting(16, B("0123456789").get()), S_OK);
      ASSERT_EQ(Create<ILumoraStoredVariables>(CLSID_LumoraStoredVariables)
                    ->SetStringVariable(B("main").get(), B("csum").get(), VARIANT_FALSE, B("0123456789").get()),
                S_OK);
      auto notification = Create<ILumoraNotification>(CLSID_LumoraNotification);
      ASSERT_EQ(notification->PostNotice(B("t").get(), B("x").get()), S_OK);
      ASSERT_EQ(notification->RecordProfileChange(B("Age").get(), 1, 1), S_OK);
      Variant ukis = Variant::Array(SafeArray::OfStrings({"s.k"}), VT_BSTR);
      ASSERT_EQ(Create<ILumoraChangeSink>(CLSID_LumoraChangeSink)->ProfileChanged(*ukis.get()), S_OK);
      notification.reset();
      CoFreeUnusedLibraries();
      size_t files = 0;
      for (const auto& entry : std::filesystem::recursive_directory_iterator(home.path())) {
        if (!entry.is_regular_file()) continue;
        ++files;
        EXPECT_EQ(static_cast<unsigned>(entry.status().permissions()), 0660u) << entry.path();
      }
      EXPECT_GE(files, 10u) << "five state files, their locks and the registry's values";
    }
    ::umask(previous);
  }
}
}  // namespace
}  // namespace lumora

namespace lumora {
namespace {

// Clients reach the services by slot position, so the positions are a binary contract.
template <class Signature>
Signature Slot(void* object, size_t index) {
  return reinterpret_cast<Signature>((*reinterpret_cast<void***>(object))[index]);
}

TEST_F(ServicesTest, OperationsSitAtTheirContractSlots) {
  auto settings = Create<ILumoraSettings>(CLSID_LumoraSettings);
  Bstr text = B("by slot");
  ASSERT_EQ(Slot<HRESULT (*)(void*, LONG, BSTR)>(settings.get(), 10)(settings.get(), 2, text.get()), S_OK);
  Bstr value;
  ASSERT_EQ(Slot<HRESULT (*)(void*, LONG, BSTR*)>(settings.get(), 9)(settings.get(), 2, value.put()), S_OK);
  EXPECT_EQ(value.ToUtf8(), "by slot") << "GetSetting and PutSetting are the third and fourth operations";

  auto variables = Create<ILumoraStoredVariables>(CLSID_LumoraStoredVariables);
  using SetString = HRESULT (*)(void*, BSTR, BSTR, VARIANT_BOOL, BSTR);
  using GetString = HRESULT (*)(void*, BSTR, BSTR, VARIANT_BOOL, BSTR*);
  ASSERT_EQ(Slot<SetString>(variables.get(), 7)(variables.get(), B("main").get(), B("csum").get(), 0, text.get()),
            S_OK);
  ASSERT_EQ(Slot<GetString>(variables.get(), 8)(variables.get(), B("main").get(), B("csum").get(), 0, value.put()),
            S_OK);
  EXPECT_EQ(value.ToUtf8(), "by slot");
  ASSERT_EQ(Slot<HRESULT (*)(void*, BSTR, VARIANT_BOOL)>(variables.get(), 18)(variables.get(), B("main").get(), 0),
            S_OK)
      << "DeleteComponent is the twelfth operation";

  auto notification = Create<ILumoraNotification>(CLSID_LumoraNotification);
  ASSERT_EQ(
      Slot<HRESULT (*)(void*, BSTR, LONG, LONG)>(notification.get(), 14)(notification.get(), B("Age").get(), 2, 1),
      S_OK);
  ASSERT_EQ(
      Slot<HRESULT (*)(void*, BSTR, BSTR)>(notification.get(), 22)(notification.get(), B("t").get(), B("x").get()),
      S_OK);
  LONG count = 0;
  notification->GetChangeCount(&count);
  EXPECT_EQ(count, 1) << "RecordProfileChange is the eighth operation";
  notification->GetNoticeCount(&count);
  EXPECT_EQ(count, 1) << "PostNotice is the sixteenth operation";

  auto sink = Create<ILumoraChangeSink>(CLSID_LumoraChangeSink);
  Variant ukis = Variant::Array(SafeArray::OfStrings({"s.k"}), VT_BSTR);
  ASSERT_EQ(Slot<HRESULT (*)(void*, VARIANT)>(sink.get(), 12)(sink.get(), *ukis.get()), S_OK)
      << "the sink's method is the thirteenth entry";
  sink->GetBatchCount(&count);
  EXPECT_EQ(count, 1);
}

}  // namespace
}  // namespace lumora
