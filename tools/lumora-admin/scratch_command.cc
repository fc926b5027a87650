// scratch: a section's scratch area, the plain named strings beside its profile, through
// the super user's scratch collection. Changes are saved at once, one at a time.
#include <cstdio>

#include "admin_command.h"
#include "lumora/values.h"
#include "privileged_objects.h"
#include "result_text.h"
#include "store_names.h"
#include "terminal_text.h"

namespace lumora::admin {
namespace {

// The variable named `key`, or S_FALSE (and no item) when there is none.
HRESULT FindItem(IPRScratchItemsCollection* scratch, const std::string& key, ComPtr<IPRScratchItem>* item) {
  Variant index = Variant::Utf8(key);
  Variant found;
  const HRESULT hr = scratch->Item(*index.get(), found.put());
  if (hr == eErrorKeyNotFound || (SUCCEEDED(hr) && found.vt() != VT_DISPATCH)) return S_FALSE;
  if (FAILED(hr)) return hr;
  if (found->pdispVal == nullptr) return S_FALSE;
  return found->pdispVal->QueryInterface(IID_IPRScratchItem, item->put_void());
}

int List(const Options& options, IPRScratchItemsCollection* scratch, const std::string& section) {
  // The scratch collection hands out values by key but has no way to name its keys: they
  // are read from the store; each value comes through the collection.
  std::vector<std::string> keys;
  {
    StoreNames names;
    std::string problem;
    HRESULT hr = S_OK;
    if (!names.Open(&problem, &hr)) return FailCall(problem, hr);
    try {
      keys = names.ScratchKeys(section);
    } catch (const CDaoException& e) {
      return FailCall(std::string("cannot read the scratch keys: ") + e.what(), e.m_scode);
    }
  }
  std::vector<std::pair<std::string, std::string>> variables;
  for (const std::string& key : keys) {
    ComPtr<IPRScratchItem> item;
    HRESULT hr = FindItem(scratch, key, &item);
    if (hr == S_FALSE) continue;  // deleted meanwhile
    Bstr value;
    if (SUCCEEDED(hr)) hr = item->get_Value(value.put());
    if (hr == eErrorKeyNotFound) continue;
    if (FAILED(hr)) return FailCall("cannot read the scratch variable " + Quoted(key), hr);
    variables.emplace_back(key, value.ToUtf8());
  }
  if (options.Has("--json")) {
    JsonValue list = JsonValue::Array();
    for (const auto& [key, value] : variables) {
      JsonValue entry = JsonValue::Object();
      entry.Add("key", JsonValue::String(key));
      entry.Add("value", JsonValue::String(value));
      list.Append(std::move(entry));
    }
    JsonValue area = JsonValue::Object();
    area.Add("section", JsonValue::String(section));
    area.Add("variables", std::move(list));
    std::printf("%s\n", WriteSafeJson(area).c_str());
    return kExitOk;
  }
  std::printf("scratch area of %s: %zu variable%s\n", Quoted(section).c_str(), variables.size(),
              variables.size() == 1 ? "" : "s");
  for (const auto& [key, value] : variables) std::printf("  %s = %s\n", Quoted(key).c_str(), Quoted(value).c_str());
  return kExitOk;
}

int Scratch(const Options& options) {
  const std::vector<std::string>& words = options.arguments;
  const std::string& section = words[0];
  const std::string action = words.size() > 1 ? words[1] : "list";
  const size_t expected = action == "list" || action == "clear" ? 2 : action == "delete" ? 3 : action == "set" ? 4 : 0;
  if (expected == 0) {
    return UsageMistake("scratch", "unknown scratch action '" + Printable(action) + "' (list, set, delete or clear)");
  }
  if (words.size() != expected && !(action == "list" && words.size() == 1)) {
    return UsageMistake("scratch", "wrong number of arguments for scratch " + action);
  }
  if (section.empty()) return UsageMistake("scratch", "the section name is empty");
  if (words.size() > 2 && words[2].empty()) return UsageMistake("scratch", "the key is empty");
  if (options.Has("--json") && action != "list") return UsageMistake("scratch", "--json belongs to scratch list");

  if (const int failed = RequireInstallation(options); failed != kExitOk) return failed;
  ComPtr<IPRProfileSuperUser> superUser;
  if (const int failed = OpenSuperUser(&superUser); failed != kExitOk) return failed;
  Bstr name = Bstr::FromUtf8(section);
  ComPtr<IPRScratchItemsCollection> scratch;
  HRESULT hr = superUser->UnderAuthenticateForScratch(name.get(), scratch.put());
  if (FAILED(hr)) return FailCall("cannot open the scratch area of " + Quoted(section), hr);

  if (action == "list") return List(options, scratch.get(), section);
  if (action == "set") {
    Bstr key = Bstr::FromUtf8(words[2]);
    Bstr value = Bstr::FromUtf8(words[3]);
    if (FAILED(hr = scratch->CreateKey(key.get(), value.get()))) {
      return FailCall("cannot set the scratch variable " + Quoted(words[2]), hr);
    }
    std::printf("set %s = %s in the scratch area of %s\n", Quoted(words[2]).c_str(), Quoted(words[3]).c_str(),
                Quoted(section).c_str());
    return kExitOk;
  }
  if (action == "delete") {
    ComPtr<IPRScratchItem> item;
    hr = FindItem(scratch.get(), words[2], &item);
    if (hr == S_FALSE) {
      return Fail("the scratch area of " + Quoted(section) + " holds no variable " + Quoted(words[2]) +
                  ": nothing deleted");
    }
    Bstr key = Bstr::FromUtf8(words[2]);
    if (SUCCEEDED(hr)) hr = scratch->DeleteKey(key.get());
    if (FAILED(hr)) return FailCall("cannot delete the scratch variable " + Quoted(words[2]), hr);
    std::printf("deleted %s from the scratch area of %s\n", Quoted(words[2]).c_str(), Quoted(section).c_str());
    return kExitOk;
  }
  LONG count = 0;
  hr = scratch->get_Count(&count);
  if (SUCCEEDED(hr)) hr = scratch->DeleteAllKeys();
  if (FAILED(hr)) return FailCall("cannot clear the scratch area of " + Quoted(section), hr);
  std::printf("cleared the scratch area of %s: %ld variable%s deleted\n", Quoted(section).c_str(),
              static_cast<long>(count), count == 1 ? "" : "s");
  return kExitOk;
}

constexpr OptionSpec kOptions[] = {
    {"--json", nullptr, "list: print the scratch area as one JSON object"},
};

}  // namespace

const Command kScratchCommand = {
    "scratch",
    "list or change a section's scratch area",
    "A section's scratch area: plain named strings kept beside its profile for administration tools.\n"
    "  SECTION [list]            its variables and their values (the keys are read from the store,\n"
    "                            which the scratch collection cannot list; the values come through it)\n"
    "  SECTION set KEY VALUE     creates KEY, or replaces its value (at most 1006 characters)\n"
    "  SECTION delete KEY        deletes KEY (exit 1 when there is none)\n"
    "  SECTION clear             deletes every variable of the area\n"
    "Keys are compared as the store compares them, without regard to letter case.",
    kOptions,
    &Scratch,
    "SECTION [list | set KEY VALUE | delete KEY | clear]",
    1,
    4,
};

}  // namespace lumora::admin
