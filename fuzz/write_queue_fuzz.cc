// Fuzz target: a hostile client's write queue. The input is a script of queueing calls
// (hostile ukis, values, field names, types, privacies, VARIANTs of any type, enumeration
// options) on a session granted section "S", with share-status presses in the dialog,
// executed against a real store that also holds other companies' variables. Nothing may
// crash, *result never exceeds the queue, the queue is always emptied, and no variable of
// another section ever changes (only the common variables may receive a value).
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/settings_client.h"
#include "consent/consent_presenter_choice.h"
#include "lumora/object.h"
#include "lumora/registry.h"
#include "lumora/values.h"
#include "session/profile.h"
#include "store/key_set.h"
#include "store/profile_database.h"
#include "store/store_context.h"
#include "store/value_protection.h"
#include "tools/lumora-admin/store_schema.h"

using namespace lumora;

namespace {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  bool empty() const { return m_at >= m_size; }
  uint8_t Byte() { return m_at < m_size ? m_data[m_at++] : 0; }
  std::string Text(size_t maxLength) {
    const size_t length = Byte() % (maxLength + 1);
    std::string text;
    for (size_t i = 0; i < length && !empty(); ++i) text.push_back(static_cast<char>(Byte()));
    return text;
  }
  // A uki from pieces a client would try: its own section, common ones, others', and
  // the characters the store gives a meaning to.
  std::string Uki() {
    static const char* const kPrefixes[] = {"S.", "common.", "Common.x.", "other.", "S.common.",  "S.other.",
                                            "",   "s.",      "S",         "/.",     "S.common.c", "S.common.d"};
    std::string uki = kPrefixes[Byte() % (sizeof kPrefixes / sizeof *kPrefixes)];
    uki += Text(6);
    if (Byte() % 4 == 0) uki += "[" + Text(3) + "]";
    return uki;
  }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_at = 0;
};

// The user presses the share buttons on rows the input chooses, then allows.
class ScriptedUser final : public ConsentPresenter {
 public:
  Input* input = nullptr;
  ConsentAnswer Present(const ConsentDialogModel& model, ConsentDialogActions* actions) override {
    for (int presses = input->Byte() % 3; presses > 0 && actions != nullptr; --presses) {
      std::vector<size_t> rows;
      for (int n = input->Byte() % 4; n > 0; --n) rows.push_back(input->Byte() % (model.rows.size() + 2));
      actions->PressShareButton(rows, (input->Byte() & 1) != 0);
    }
    return input->Byte() % 5 == 0 ? ConsentAnswer::kDeny : ConsentAnswer::kAllow;
  }
};

// section.key -> stored value of every row outside "S" and the common sections.
std::map<std::string, std::string> OthersRows() {
  std::map<std::string, std::string> rows;
  CKeySet set(ProfileDatabase(), dbOpenSnapshot);
  set.m_strFilter = "SECTION = 'other' OR SECTION = 's' OR SECTION = '/'";
  set.Open();
  for (; !set.IsEOF(); set.MoveNext()) {
    if (set.m_Section == "S") continue;  // filters ignore case: 's' finds "S" too
    rows[set.m_Section + "." + set.m_Key] =
        set.m_Value + "|" + std::to_string(set.m_Privacy) + "|" + std::to_string(set.m_IsLinked);
  }
  return rows;
}

void Put(CKeySet& set, const char* section, const char* key, const std::string& raw, SHORT type, BOOL linked) {
  set.AddNew();
  set.m_Section = section;
  set.m_Key = key;
  set.m_Value = ProtectValue(raw);
  set.m_FieldName = key;
  set.m_Type = type;
  set.m_IsLinked = linked;
  set.Update();
}

// The store, made once per process and kept: inputs accumulate in it like a user's.
void PrepareStore() {
  static bool prepared = false;
  if (prepared) return;
  prepared = true;
  std::string folder = (std::filesystem::temp_directory_path() / "lumora-write-fuzz-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) abort();
  setenv("LUMORA_HOME", folder.c_str(), 1);
  if (FAILED(RegisterServerLibrary(LUMORA_SERVICES_LIBRARY))) abort();
  std::string error;
  if (!admin::CreateProfileDatabase(folder + "/profile.db", &error)) abort();
  WriteSetting(kSettingDatabasePath, folder + "/profile.db");
  if (AcquireCryptProvider() != 0 || FAILED(OpenProfileDatabase())) abort();
  CKeySet set(ProfileDatabase(), dbOpenDynaset);
  set.Open();
  Put(set, "S", "a", "1", eTypeInt32, FALSE);
  Put(set, "common", "c", "\x02\x02", eTypeString, FALSE);
  Put(set, "common", "d", "shared", eTypeString, FALSE);
  Put(set, "common", "e", "\x02\x02", eTypeEnumOfStrings, FALSE);
  Put(set, "other", "secret", "private", eTypeString, FALSE);
  Put(set, "other", "common.d", "", eTypeString, TRUE);
  Put(set, "s", "a", "lower", eTypeString, FALSE);
  Put(set, "/", "root", "root", eTypeString, FALSE);
  Put(set, "S", "common.c", "", eTypeString, TRUE);
  // A session that lives as long as the process keeps the store open between inputs.
  static ComPtr<PRProfile> keeper = MakeObject<PRProfile>();
}

Variant TypedValue(Input& in) {
  switch (in.Byte() % 10) {
    case 0:
      return Variant::I4(static_cast<LONG>(in.Byte()) - 128);
    case 1:
      return Variant::R8(static_cast<double>(in.Byte()) / 7.0);
    case 2:
      return Variant::Bool((in.Byte() & 1) != 0);
    case 3:
      return Variant::Date(36526.0 + in.Byte());
    case 4: {
      Variant value;
      value->vt = VT_NULL;
      return value;
    }
    case 5:
      return Variant::Array(SafeArray::Vector(VT_I4, 0, in.Byte() % 3), VT_I4);
    case 6: {
      Variant value;
      value->vt = static_cast<VARTYPE>(in.Byte() | (in.Byte() << 8));
      value->llVal = 0;  // whatever it claims, it points nowhere
      return value;
    }
    case 7:
      return Variant();
    default:
      return Variant::Utf8(in.Text(12));
  }
}

Variant Options(Input& in) {
  const int kind = in.Byte() % 4;
  if (kind == 0) return Variant();
  std::vector<std::string> labels;
  for (int n = in.Byte() % 4; n > 0; --n) labels.push_back(in.Text(5));
  if (kind == 1) return Variant::Array(SafeArray::OfStrings(labels), VT_BSTR);
  if (kind == 2) return Variant::Array(SafeArray::Vector(VT_I4, 0, labels.size()), VT_I4);
  return Variant::Utf8("red,green");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PrepareStore();
  Input in(data, size);
  ScriptedUser user;
  user.input = &in;
  SetConsentPresenterForTests(&user);
  const std::map<std::string, std::string> before = OthersRows();
  {
    ComPtr<PRProfile> session = MakeObject<PRProfile>();
    session->m_section = "S";
    session->m_callerName = "Fuzz";
    while (!in.empty()) {
      const uint8_t op = in.Byte() % 8;
      Bstr uki = Bstr::FromBytes(in.Uki());
      if (in.Byte() % 16 == 0) uki = Bstr::FromUtf16(std::u16string(u"S.z\0x", 5));
      switch (op) {
        case 0: {
          Bstr value = Bstr::FromUtf8(in.Text(in.Byte() % 2 == 0 ? 8 : 255) +
                                      (in.Byte() % 8 == 0 ? std::string(1000, 'v') : ""));
          session->AddModifyRawValueRequest(uki.get(), value.get());
          break;
        }
        case 1: {
          Variant value = TypedValue(in);
          session->AddModifyValueRequest(uki.get(), value.get());
          break;
        }
        case 2:
        case 3: {
          const auto type = static_cast<EProfileDataType>(static_cast<int8_t>(in.Byte()) % 12);
          const auto privacy = static_cast<EPrivacy>(in.Byte() % 3);
          const auto volatility = static_cast<EVolatility>(in.Byte() % 4);
          Bstr field = Bstr::FromUtf8(in.Text(6));
          Variant options = Options(in);
          if (op == 2) {
            Bstr value = Bstr::FromUtf8(in.Text(6));
            session->AddCreateKeyRequest(uki.get(), type, value.get(), volatility, privacy, field.get(),
                                         static_cast<VARIANT_BOOL>(in.Byte()), options.get());
          } else {
            Variant value = TypedValue(in);
            session->AddCreateKeyRequest2(uki.get(), type, value.get(), volatility, privacy, field.get(), VARIANT_FALSE,
                                          options.get());
          }
          break;
        }
        case 4: {
          Bstr source = Bstr::FromBytes(in.Uki());
          session->AddCreateLinkKeyRequest(uki.get(), source.get());
          break;
        }
        case 5:
          session->AddDeleteKeyRequest(uki.get());
          break;
        default: {
          const size_t queued = session->m_writeRequests.size();
          LONG executed = -1;
          session->ExecuteWriteRequests(in.Byte() % 2 == 0 ? 1 : -1, nullptr, &executed);
          if (executed < 0 || static_cast<size_t>(executed) > queued) abort();
          if (!session->m_writeRequests.empty()) abort();
          break;
        }
      }
    }
    LONG executed = -1;
    session->ExecuteWriteRequests(1, nullptr, &executed);
  }
  const std::map<std::string, std::string> after = OthersRows();
  if (after != before) {
    for (const auto& [uki, value] : before) {
      const auto found = after.find(uki);
      if (found == after.end() || found->second != value) fprintf(stderr, "changed: %s\n", uki.c_str());
    }
    for (const auto& [uki, value] : after) {
      if (before.count(uki) == 0) fprintf(stderr, "added: %s\n", uki.c_str());
    }
    abort();
  }
  SetConsentPresenterForTests(nullptr);
  return 0;
}
