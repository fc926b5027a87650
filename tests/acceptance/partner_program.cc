// A partner program, as a company would write one: it links only the object runtime,
// creates the profile object by its program identifier and works through its interfaces.
// Signed at test time with the test companies' certificates. Each argument group is one
// step; each step prints one line "<step>: 0x<result>" and the program exits 0.
//   grant SECTION            GrantSectionAccess through the interface
//   grant-dispid SECTION     the same through IDispatch::Invoke with dispid 10
//   grant-name SECTION       the same through IDispatch, the dispid looked up by name
//   grant-helper SECTION     the same from inside the program's own (unsigned) library
//   create                   creation only
// Write steps (each takes the arguments shown; see RunWriteStep):
//   modify UKI RAW           AddModifyRawValueRequest
//   modify-value UKI TYPED   AddModifyValueRequest; TYPED is i4:N, r8:X, bool:1|0, date:X, str:TEXT,
//                            empty:, null:, byref-i4:N, i4-array: (an array of numbers)
//   create-key UKI TYPE RAW PRIVACY FIELD         AddCreateKeyRequest
//   create-enum UKI RAW PRIVACY FIELD OPTIONS     the same for an enumeration with options "a,b,c"
//   create-key2 UKI TYPE TYPED PRIVACY FIELD      AddCreateKeyRequest2
//   link UKI SOURCE          AddCreateLinkKeyRequest
//   delete UKI               AddDeleteKeyRequest
//   execute-write HWND MESSAGE   ExecuteWriteRequests; also prints "executed: N"
//   d-create-key, d-modify-value, d-delete, d-execute-write: the same through IDispatch by name
//   batches PREFIX FIRST COUNT SIZE   runs COUNT batches; batch b creates SIZE string variables
//                            PREFIX<b>_<j> = "<b>:<j>" and prints "batch <b>: 0x<result> <executed>"
//                            as soon as it returns (the reliability proofs kill or race it)
// Read steps (see RunReadStep) print the step's result followed by what was read.
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lumora/profile.h"
#include "lumora/values.h"

using namespace lumora;

extern "C" long PartnerHelperGrant(IPRProfile* profile, const char* section);

namespace {

void Report(const char* step, HRESULT hr) { std::printf("%s: 0x%08X\n", step, static_cast<unsigned>(hr)); }

HRESULT InvokeGrant(IPRProfile* profile, const std::string& section, bool byName) {
  ComPtr<IDispatch> dispatch;
  HRESULT hr = profile->QueryInterface(IID_IDispatch, dispatch.put_void());
  if (FAILED(hr)) return hr;
  DISPID dispid = 10;
  if (byName) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"GrantSectionAccess")};
    hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
    if (FAILED(hr)) return hr;
  }
  Variant argument = Variant::Utf8(section);
  DISPPARAMS params{argument.get(), nullptr, 1, 0};
  EXCEPINFO info{};
  Variant result;
  hr = dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.get(), &info, nullptr);
  return hr == DISP_E_EXCEPTION ? info.scode : hr;
}

// ---------------------------------------------------------------------------------------
// Read steps. The program keeps the collection of its last read.
//   read UKI[,UKI..]          AddReadRequest of each; the first failure or S_OK
//   execute-read HWND MSG     ExecuteReadRequests
//   count                     Count                          -> "count: 0x.. N"
//   item INDEX                Item (a number is a position)  -> "item: 0x.. type=T set=S value=0x..:TEXT"
//   exists INDEX              Exists                         -> "exists: 0x.. -1|0"
//   enum                      _NewEnum, Next one at a time   -> "enum: 0x.. V1|V2|.."
//   enum-skip N               Skip(N), Next(1), then a Clone's Next(1)
//                             -> "enum-skip: 0x<skip> next=0x..:V clone=0x..:V"
//   array UKI                 GetArray, its elements by _NewEnum -> "array: 0x.. count=N K=V;K=V"
//   array-item UKI KEY        the element by key (string by reference) -> "array-item: 0x..:V"
//   d-read, d-execute-read, d-count, d-item, d-enum
//                             the same through IDispatch only: names looked up for
//                             AddReadRequest and Count, dispid 2 for ExecuteReadRequests,
//                             the default member (dispid 0) for Item and Value,
//                             DISPID_NEWENUM for _NewEnum
//   pipe-answer TEXT          puts TEXT into the program's own standard input
//   setenv NAME=VALUE         sets an environment variable of the program
//   setlocale NAME            switches the program's locale (setlocale(LC_ALL, NAME))

ComPtr<IPRKeyAttrsCollection> g_collection;

std::string Describe(const VARIANT& value) {
  char text[64];
  switch (value.vt) {
    case VT_BSTR:
      return Bstr::ToUtf8(value.bstrVal);
    case VT_I4:
      std::snprintf(text, sizeof text, "%ld", static_cast<long>(value.lVal));
      return text;
    case VT_I2:
      std::snprintf(text, sizeof text, "%d", value.iVal);
      return text;
    case VT_BOOL:
      std::snprintf(text, sizeof text, "%d", value.boolVal);
      return text;
    case VT_DATE:
      std::snprintf(text, sizeof text, "%.6f", value.date);
      return text;
    case VT_EMPTY:
      return "empty";
    default:
      std::snprintf(text, sizeof text, "vt=%d", value.vt);
      return text;
  }
}

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

void ReportRead(const std::string& step, HRESULT hr, const std::string& detail) {
  std::printf("%s: %s %s\n", step.c_str(), Hex(hr).c_str(), detail.c_str());
}

Variant IndexOf(const std::string& text) {
  char* end = nullptr;
  const long number = std::strtol(text.c_str(), &end, 10);
  if (!text.empty() && *end == '\0') return Variant::I4(static_cast<LONG>(number));
  return Variant::Utf8(text);
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (size_t comma = text.find(','); comma != std::string::npos; comma = text.find(',', from)) {
    parts.push_back(text.substr(from, comma - from));
    from = comma + 1;
  }
  parts.push_back(text.substr(from));
  return parts;
}

// Invokes a member of `object` with arguments in declaration order.
HRESULT Call(IDispatch* object, DISPID dispid, WORD flags, std::vector<Variant>& args, VARIANT* result) {
  std::vector<VARIANT> reversed;
  for (auto arg = args.rbegin(); arg != args.rend(); ++arg) reversed.push_back(*arg->get());
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  EXCEPINFO info{};
  const HRESULT hr = object->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &info, nullptr);
  return hr == DISP_E_EXCEPTION ? info.scode : hr;
}

DISPID IdOf(IDispatch* object, const char16_t* name) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID dispid = DISPID_UNKNOWN;
  object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
  return dispid;
}

// What an item hands out, asked through its interface or through IDispatch only.
std::string DescribeItem(IDispatch* item, bool lateBound) {
  Variant value;
  Variant type;
  Variant set;
  HRESULT valueHr = S_OK;
  std::vector<Variant> none;
  if (lateBound) {
    valueHr = Call(item, DISPID_VALUE, DISPATCH_PROPERTYGET, none, value.put());
    Call(item, IdOf(item, u"Type"), DISPATCH_PROPERTYGET, none, type.put());
    Call(item, kDispidIsValueSet, DISPATCH_PROPERTYGET, none, set.put());
  } else {
    ComPtr<IPRKeyAttr> attr;
    item->QueryInterface(IID_IPRKeyAttr, attr.put_void());
    if (!attr) return "not a key attribute";
    valueHr = attr->get_Value(value.put());
    EProfileDataType t = eTypeUnknown;
    VARIANT_BOOL s = VARIANT_FALSE;
    attr->get_Type(&t);
    attr->get_IsValueSet(&s);
    type = Variant::I4(t);
    set = Variant::I2(s);
  }
  return "type=" + Describe(*type.get()) + " set=" + Describe(*set.get()) + " value=" + Hex(valueHr) + ":" +
         Describe(*value.get());
}

std::string DescribeItems(IUnknown* enumerator, bool lateBound) {
  ComPtr<IEnumVARIANT> items;
  if (FAILED(enumerator->QueryInterface(IID_IEnumVARIANT, items.put_void()))) return "no enumerator";
  std::string text;
  for (;;) {
    Variant item;
    ULONG fetched = 0;
    if (items->Next(1, item.put(), &fetched) != S_OK || fetched != 1) break;
    if (!text.empty()) text += "|";
    Variant value;
    std::vector<Variant> none;
    if (lateBound) {
      Call(item->pdispVal, DISPID_VALUE, DISPATCH_PROPERTYGET, none, value.put());
    } else {
      ComPtr<IPRKeyAttr> attr;
      item->pdispVal->QueryInterface(IID_IPRKeyAttr, attr.put_void());
      if (attr) attr->get_Value(value.put());
    }
    text += Describe(*value.get());
  }
  return text;
}

std::string ArrayElementText(const VARIANT& element) {
  ComPtr<IPRArrayItem> item;
  if (element.vt != VT_DISPATCH || element.pdispVal == nullptr ||
      FAILED(element.pdispVal->QueryInterface(IID_IPRArrayItem, item.put_void()))) {
    return "no item";
  }
  Bstr key;
  Bstr value;
  item->get_Index(key.put());
  item->get_Value(value.put());
  return key.ToUtf8() + "=" + value.ToUtf8();
}

// Steps that change the program's own surroundings, as a program that tries to answer
// for its user would.
template <class Next>
bool RunProcessStep(const std::string& step, Next& next) {
  if (step == "pipe-answer") {
    const std::string text = next() + "\n";
    int ends[2];
    if (pipe(ends) != 0) return false;
    if (write(ends[1], text.data(), text.size()) != static_cast<ssize_t>(text.size())) return false;
    close(ends[1]);
    dup2(ends[0], 0);
    close(ends[0]);
    ReportRead(step, S_OK, "");
    return true;
  }
  if (step == "setlocale") {  // as a host that follows its user's locale does
    const HRESULT hr = std::setlocale(LC_ALL, next().c_str()) != nullptr ? S_OK : E_INVALIDARG;
    ReportRead(step, hr, "");
    return true;
  }
  if (step == "setenv") {
    const std::string assignment = next();
    const size_t equals = assignment.find('=');
    const HRESULT hr = equals != std::string::npos && setenv(assignment.substr(0, equals).c_str(),
                                                             assignment.substr(equals + 1).c_str(), 1) == 0
                           ? S_OK
                           : E_INVALIDARG;
    ReportRead(step, hr, "");
    return true;
  }
  return false;
}

// Runs the read step at argv[*i] and moves *i past its arguments; false for a step that
// is not a read step.
bool RunReadStep(IPRProfile* profile, int argc, char** argv, int* i) {
  const std::string step = argv[*i];
  auto next = [&]() -> std::string { return *i + 1 < argc ? argv[++*i] : ""; };
  ComPtr<IDispatch> session;
  profile->QueryInterface(IID_IDispatch, session.put_void());
  ComPtr<IDispatch> collection;
  if (g_collection) g_collection->QueryInterface(IID_IDispatch, collection.put_void());
  std::vector<Variant> none;
  if (RunProcessStep(step, next)) return true;
  // The steps that read the last collection, and how many arguments each takes.
  const std::vector<std::pair<std::string, int>> collectionSteps = {
      {"count", 0}, {"d-count", 0}, {"item", 1},      {"d-item", 1}, {"exists", 1},
      {"enum", 0},  {"d-enum", 0},  {"enum-skip", 1}, {"array", 1},  {"array-item", 2}};
  const auto collectionStep = std::find_if(collectionSteps.begin(), collectionSteps.end(),
                                           [&](const auto& known) { return known.first == step; });
  if (collectionStep != collectionSteps.end() && !g_collection) {
    for (int skipped = 0; skipped < collectionStep->second; ++skipped) next();
    ReportRead(step, E_POINTER, "no collection");
    return true;
  }

  if (step == "read" || step == "d-read") {
    HRESULT result = S_OK;
    for (const std::string& uki : Split(next())) {
      HRESULT hr = S_OK;
      if (step == "read") {
        hr = profile->AddReadRequest(Bstr::FromUtf8(uki).get());
      } else {
        std::vector<Variant> args;
        args.push_back(Variant::Utf8(uki));
        hr = Call(session.get(), IdOf(session.get(), u"AddReadRequest"), DISPATCH_METHOD, args, nullptr);
      }
      if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    ReportRead(step, result, "");
  } else if (step == "execute-read" || step == "d-execute-read") {
    const LONG hwnd = static_cast<LONG>(std::strtol(next().c_str(), nullptr, 10));
    const std::string message = next();
    g_collection.reset();
    HRESULT hr = S_OK;
    if (step == "execute-read") {
      hr = profile->ExecuteReadRequests(hwnd, Bstr::FromUtf8(message).get(), g_collection.put());
    } else {
      std::vector<Variant> args;
      args.push_back(Variant::I4(hwnd));
      args.push_back(Variant::Utf8(message));
      Variant result;
      hr = Call(session.get(), kDispidExecuteReadRequests, DISPATCH_METHOD, args, result.put());
      if (SUCCEEDED(hr) && result.vt() == VT_DISPATCH && result->pdispVal != nullptr) {
        result->pdispVal->QueryInterface(IID_IPRKeyAttrsCollection, g_collection.put_void());
      }
    }
    ReportRead(step, hr, g_collection ? "collection" : "none");
  } else if (step == "count") {
    LONG count = -1;
    const HRESULT hr = g_collection->get_Count(&count);
    ReportRead(step, hr, std::to_string(count));
  } else if (step == "d-count") {
    Variant count;
    const HRESULT hr =
        Call(collection.get(), IdOf(collection.get(), u"Count"), DISPATCH_PROPERTYGET, none, count.put());
    ReportRead(step, hr, Describe(*count.get()));
  } else if (step == "item" || step == "d-item") {
    Variant index = IndexOf(next());
    Variant item;
    HRESULT hr = S_OK;
    if (step == "item") {
      hr = g_collection->Item(*index.get(), item.put());
    } else {
      std::vector<Variant> args;
      args.push_back(std::move(index));
      hr = Call(collection.get(), DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args, item.put());
    }
    const bool made = SUCCEEDED(hr) && item.vt() == VT_DISPATCH && item->pdispVal != nullptr;
    ReportRead(step, hr, made ? DescribeItem(item->pdispVal, step == "d-item") : "no item");
  } else if (step == "exists") {
    Variant index = IndexOf(next());
    VARIANT_BOOL exists = 1;
    const HRESULT hr = g_collection->Exists(*index.get(), &exists);
    ReportRead(step, hr, std::to_string(exists));
  } else if (step == "enum" || step == "d-enum") {
    Variant enumerator;
    HRESULT hr = S_OK;
    if (step == "enum") {
      enumerator->vt = VT_UNKNOWN;
      hr = g_collection->get__NewEnum(&enumerator->punkVal);
      if (FAILED(hr)) enumerator->vt = VT_EMPTY;
    } else {
      hr = Call(collection.get(), DISPID_NEWENUM, DISPATCH_PROPERTYGET, none, enumerator.put());
    }
    const bool made = SUCCEEDED(hr) && enumerator.vt() == VT_UNKNOWN && enumerator->punkVal != nullptr;
    ReportRead(step, hr, made ? DescribeItems(enumerator->punkVal, step == "d-enum") : "none");
  } else if (step == "enum-skip") {
    const ULONG count = static_cast<ULONG>(std::strtoul(next().c_str(), nullptr, 10));
    ComPtr<IUnknown> unknown;
    HRESULT hr = g_collection->get__NewEnum(unknown.put());
    ComPtr<IEnumVARIANT> items;
    if (SUCCEEDED(hr)) hr = unknown->QueryInterface(IID_IEnumVARIANT, items.put_void());
    if (FAILED(hr)) {
      ReportRead(step, hr, "");
    } else {
      const HRESULT skipped = items->Skip(count);
      ComPtr<IEnumVARIANT> clone;
      items->Clone(clone.put());
      std::string detail;
      for (IEnumVARIANT* walker : {items.get(), clone.get()}) {
        Variant item;
        ULONG fetched = 0;
        const HRESULT got = walker->Next(1, item.put(), &fetched);
        std::string value = "-";
        if (fetched == 1) {
          ComPtr<IPRKeyAttr> attr;
          item->pdispVal->QueryInterface(IID_IPRKeyAttr, attr.put_void());
          Variant v;
          if (attr) attr->get_Value(v.put());
          value = Describe(*v.get());
        }
        detail += std::string(detail.empty() ? "next=" : " clone=") + Hex(got) + ":" + value;
      }
      ReportRead(step, skipped, detail);
    }
  } else if (step == "array" || step == "array-item") {
    const std::string uki = next();
    const std::string key = step == "array-item" ? next() : "";
    ComPtr<IDispatch> dispatch;
    HRESULT hr = g_collection->GetArray(Bstr::FromUtf8(uki).get(), dispatch.put());
    ComPtr<IPRArrayItemsCollection> array;
    if (SUCCEEDED(hr)) hr = dispatch->QueryInterface(IID_IPRArrayItemsCollection, array.put_void());
    if (FAILED(hr)) {
      ReportRead(step, hr, "");
    } else if (step == "array-item") {
      Bstr text = Bstr::FromUtf8(key);
      BSTR raw = text.get();
      VARIANT index{};
      index.vt = VT_BSTR | VT_BYREF;
      index.pbstrVal = &raw;
      Variant element;
      hr = array->Item(index, element.put());
      ReportRead(step, hr, SUCCEEDED(hr) ? ArrayElementText(*element.get()) : "");
    } else {
      LONG count = 0;
      array->get_Count(&count);
      std::string detail = "count=" + std::to_string(count) + " ";
      ComPtr<IUnknown> unknown;
      array->get__NewEnum(unknown.put());
      ComPtr<IEnumVARIANT> elements;
      if (unknown) unknown->QueryInterface(IID_IEnumVARIANT, elements.put_void());
      for (bool first = true; elements;) {
        Variant element;
        ULONG fetched = 0;
        if (elements->Next(1, element.put(), &fetched) != S_OK) break;
        detail += (first ? "" : ";") + ArrayElementText(*element.get());
        first = false;
      }
      ReportRead(step, hr, detail);
    }
  } else {
    return false;
  }
  std::fflush(stdout);
  return true;
}

// --- Write steps -------------------------------------------------------------------------

std::vector<std::string> SplitOn(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at = text.find(separator); at != std::string::npos; at = text.find(separator, start)) {
    parts.push_back(text.substr(start, at - start));
    start = at + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}

// A VARIANT from "kind:text".
Variant Typed(const std::string& typed) {
  const size_t colon = typed.find(':');
  const std::string kind = typed.substr(0, colon);
  const std::string text = colon == std::string::npos ? std::string() : typed.substr(colon + 1);
  if (kind == "i4") return Variant::I4(std::stol(text));
  if (kind == "r8") return Variant::R8(std::stod(text));
  if (kind == "bool") return Variant::Bool(text == "1");
  if (kind == "date") return Variant::Date(std::stod(text));
  if (kind == "str") return Variant::Utf8(text);
  Variant value;
  if (kind == "null") value->vt = VT_NULL;
  if (kind == "i4-array") return Variant::Array(SafeArray::Vector(VT_I4, 0, 2), VT_I4);
  return value;  // "empty"
}

Variant Options(const std::string& list) {
  if (list.empty()) return Variant();
  return Variant::Array(SafeArray::OfStrings(SplitOn(list, ',')), VT_BSTR);
}

HRESULT RunBatches(IPRProfile* profile, const std::string& prefix, long first, long count, long size) {
  for (long b = first; b < first + count; ++b) {
    for (long j = 0; j < size; ++j) {
      Bstr uki = Bstr::FromUtf8(prefix + std::to_string(b) + "_" + std::to_string(j));
      Bstr value = Bstr::FromUtf8(std::to_string(b) + ":" + std::to_string(j));
      Bstr field = Bstr::FromUtf8("Item " + std::to_string(j));
      const HRESULT hr = profile->AddCreateKeyRequest(uki.get(), eTypeString, value.get(), eVolatilityChangesOften,
                                                      ePrivacyPrivate, field.get(), VARIANT_FALSE, nullptr);
      if (FAILED(hr)) return hr;
    }
    LONG executed = 0;
    Bstr message = Bstr::FromUtf8("Batch " + std::to_string(b));
    const HRESULT hr = profile->ExecuteWriteRequests(1, message.get(), &executed);
    std::printf("batch %ld: 0x%08X %ld\n", b, static_cast<unsigned>(hr), static_cast<long>(executed));
    std::fflush(stdout);
  }
  return S_OK;
}

// The write steps of a late-bound client: every member found by its name, every argument
// a VARIANT, the count executed as the call's result.
//   d-create-key UKI TYPE RAW PRIVACY FIELD, d-modify-value UKI TYPED, d-delete UKI,
//   d-execute-write HWND MESSAGE (also prints "executed: N")
template <class Take>
HRESULT RunLateBoundWriteStep(IPRProfile* profile, const std::string& step, Take& take) {
  ComPtr<IDispatch> dispatch;
  HRESULT hr = profile->QueryInterface(IID_IDispatch, dispatch.put_void());
  if (FAILED(hr)) return hr;
  std::vector<Variant> args;
  Variant result;
  const char16_t* name = u"";
  if (step == "d-create-key") {
    const auto a = take(5);
    name = u"AddCreateKeyRequest";
    args.push_back(Variant::Utf8(a[0]));
    args.push_back(Variant::I4(std::stol(a[1])));
    args.push_back(Variant::Utf8(a[2]));
    args.push_back(Variant::I4(eVolatilityChangesRarely));
    args.push_back(Variant::I4(std::stol(a[3])));
    args.push_back(Variant::Utf8(a[4]));
    args.push_back(Variant::Bool(false));
    args.push_back(Variant());
  } else if (step == "d-modify-value") {
    const auto a = take(2);
    name = u"AddModifyValueRequest";
    args.push_back(Variant::Utf8(a[0]));
    args.push_back(Typed(a[1]));
  } else if (step == "d-delete") {
    name = u"AddDeleteKeyRequest";
    args.push_back(Variant::Utf8(take(1)[0]));
  } else {
    const auto a = take(2);
    name = u"ExecuteWriteRequests";
    args.push_back(Variant::I4(std::stol(a[0])));
    args.push_back(Variant::Utf8(a[1]));
  }
  hr = Call(dispatch.get(), IdOf(dispatch.get(), name), DISPATCH_METHOD, args, result.get());
  if (step == "d-execute-write") {
    Report(step.c_str(), hr);
    std::printf("executed: %ld\n", result->vt == VT_I4 ? static_cast<long>(result->lVal) : -1L);
  }
  return hr;
}

// Runs the write step at argv[*i] with the arguments that follow it, leaving *i on its
// last argument. False for a step that is not a write step.
bool RunWriteStep(IPRProfile* profile, int argc, char** argv, int* i) {
  const std::string step = argv[*i];
  const auto take = [&](int count) {
    std::vector<std::string> args;
    for (int k = 0; k < count; ++k) args.push_back(*i + 1 < argc ? argv[++*i] : "");
    return args;
  };
  HRESULT hr = S_OK;
  if (step == "modify") {
    const auto a = take(2);
    hr = profile->AddModifyRawValueRequest(Bstr::FromUtf8(a[0]).get(), Bstr::FromUtf8(a[1]).get());
  } else if (step == "modify-value") {
    const auto a = take(2);
    if (a[1].rfind("byref-i4:", 0) == 0) {
      LONG number = std::stol(a[1].substr(9));
      VARIANT reference;
      VariantInit(&reference);
      reference.vt = VT_BYREF | VT_I4;
      reference.plVal = &number;
      hr = profile->AddModifyValueRequest(Bstr::FromUtf8(a[0]).get(), &reference);
    } else {
      Variant value = Typed(a[1]);
      hr = profile->AddModifyValueRequest(Bstr::FromUtf8(a[0]).get(), value.get());
    }
  } else if (step == "create-key" || step == "create-key2" || step == "create-enum") {
    // create-enum UKI RAW PRIVACY FIELD OPTIONS has no type argument: it is an enumeration.
    auto a = take(5);
    Variant options;
    if (step == "create-enum") {
      options = Options(a[4]);
      a = {a[0], std::to_string(eTypeEnumOfStrings), a[1], a[2], a[3]};
    }
    const auto type = static_cast<EProfileDataType>(std::stol(a[1]));
    const auto privacy = static_cast<EPrivacy>(std::stol(a[3]));
    if (step == "create-key2") {
      Variant value = Typed(a[2]);
      hr = profile->AddCreateKeyRequest2(Bstr::FromUtf8(a[0]).get(), type, value.get(), eVolatilityChangesRarely,
                                         privacy, Bstr::FromUtf8(a[4]).get(), VARIANT_FALSE, nullptr);
    } else {
      hr = profile->AddCreateKeyRequest(Bstr::FromUtf8(a[0]).get(), type, Bstr::FromUtf8(a[2]).get(),
                                        eVolatilityChangesRarely, privacy, Bstr::FromUtf8(a[4]).get(), VARIANT_FALSE,
                                        options.get());
    }
  } else if (step == "link") {
    const auto a = take(2);
    hr = profile->AddCreateLinkKeyRequest(Bstr::FromUtf8(a[0]).get(), Bstr::FromUtf8(a[1]).get());
  } else if (step == "delete") {
    const auto a = take(1);
    hr = profile->AddDeleteKeyRequest(Bstr::FromUtf8(a[0]).get());
  } else if (step == "execute-write") {
    const auto a = take(2);
    LONG executed = -1;
    hr = profile->ExecuteWriteRequests(std::stol(a[0]), Bstr::FromUtf8(a[1]).get(), &executed);
    Report(step.c_str(), hr);
    std::printf("executed: %ld\n", static_cast<long>(executed));
    return true;
  } else if (step == "d-create-key" || step == "d-modify-value" || step == "d-delete" || step == "d-execute-write") {
    hr = RunLateBoundWriteStep(profile, step, take);
    if (step == "d-execute-write") return true;
  } else if (step == "batches") {
    const auto a = take(4);
    hr = RunBatches(profile, a[0], std::stol(a[1]), std::stol(a[2]), std::stol(a[3]));
  } else {
    return false;
  }
  Report(step.c_str(), hr);
  return true;
}

}  // namespace

#ifndef LUMORA_PARTNER_VARIANT
#define LUMORA_PARTNER_VARIANT 1
#endif
// Which build of the program this is: two builds make two different signed programs.
extern "C" __attribute__((used)) const int kPartnerVariant = LUMORA_PARTNER_VARIANT;

int main(int argc, char** argv) {
  ComPtr<IPRProfile> profile;
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(u"PRProfile.PRProfile", &clsid);
  if (SUCCEEDED(hr)) hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPRProfile, profile.put_void());
  Report("create", hr);
  if (FAILED(hr)) return 0;
  for (int i = 1; i < argc; ++i) {
    const std::string step = argv[i];
    const std::string argument = i + 1 < argc ? argv[i + 1] : "";
    if (step == "create") continue;
    if (RunReadStep(profile.get(), argc, argv, &i)) continue;
    if (RunWriteStep(profile.get(), argc, argv, &i)) continue;
    ++i;
    if (step == "grant") {
      Bstr section = Bstr::FromUtf8(argument);
      hr = profile->GrantSectionAccess(section.get());
    } else if (step == "grant-dispid") {
      hr = InvokeGrant(profile.get(), argument, false);
    } else if (step == "grant-name") {
      hr = InvokeGrant(profile.get(), argument, true);
    } else if (step == "grant-helper") {
      hr = static_cast<HRESULT>(PartnerHelperGrant(profile.get(), argument.c_str()));
    } else {
      std::fprintf(stderr, "unknown step %s\n", step.c_str());
      return 2;
    }
    Report(step.c_str(), hr);
  }
  std::fflush(stdout);
  g_collection.reset();
  return 0;
}
