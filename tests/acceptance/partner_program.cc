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
//   batches PREFIX FIRST COUNT SIZE   runs COUNT batches; batch b creates SIZE string variables
//                            PREFIX<b>_<j> = "<b>:<j>" and prints "batch <b>: 0x<result> <executed>"
//                            as soon as it returns (the reliability proofs kill or race it)
#include <cstdio>
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

// --- Write steps -------------------------------------------------------------------------

std::vector<std::string> Split(const std::string& text, char separator) {
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
Variant Typed(const std::string& spec) {
  const size_t colon = spec.find(':');
  const std::string kind = spec.substr(0, colon);
  const std::string text = colon == std::string::npos ? std::string() : spec.substr(colon + 1);
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
  return Variant::Array(SafeArray::OfStrings(Split(list, ',')), VT_BSTR);
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
    if (RunWriteStep(profile.get(), argc, argv, &i)) continue;
    if (step == "create") continue;
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
  return 0;
}
