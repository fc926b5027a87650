// partner-planner: a partner program as Example Planner Ltd would write one. It links
// only the object runtime, creates the profile component by its program identifier,
// claims its company's section, saves a trip in it, changes it, and reads it back with the
// user's first name from the shared common section. Every save and every read shows the
// user a consent dialog; the program prints what each call returned and what it read.
//
// The same flow runs twice: first through the component's interfaces (early binding, as
// a C++ program would), then through IDispatch with every member looked up by its name
// (late binding, as a script host would).
//
//   partner-planner [--early | --late]      both flows by default
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "lumora/profile.h"
#include "lumora/values.h"

using namespace lumora;

namespace {

// The company's section: its reverse domain name, written without dots, since a uki's
// section ends at its first dot ("com_example_planner.TripName").
constexpr char kSection[] = "com_example_planner";
constexpr char kTripName[] = "com_example_planner.TripName";
constexpr char kTravellers[] = "com_example_planner.Travellers";
constexpr char kDeparture[] = "com_example_planner.Departure";
constexpr char kNeedsVisa[] = "com_example_planner.NeedsVisa";
// The user's first name, kept by the product for every company; a read of a common
// variable finds the section's own copy, or else the shared one.
constexpr char kFirstName[] = "common.FirstName";
constexpr DATE kFourteenthOfMay2027 = 46521.0;  // days since 30 December 1899

// A result code in words, for the few codes a partner meets every day.
std::string Meaning(HRESULT hr) {
  switch (static_cast<unsigned>(hr)) {
    case 0x00000000u:
      return "done";
    case 0x80070005u:
      return "access denied: the program's signature is not trusted, or the section belongs to another company";
    case 0x800704C7u:
      return "the user said no (or nobody could answer the dialog)";
    case 0x8004E302u:
      return "no such variable";
    case 0x8004E301u:
      return "(no value)";
    case 0x0004E303u:
      return "the value was already that";
    case 0x80040154u:
      return "the profile component is not registered on this machine (lumora-admin init)";
    default:
      return "see the result codes in the partner guide";
  }
}

void Report(const char* what, HRESULT hr) {
  std::printf("  %-44s 0x%08X  %s\n", what, static_cast<unsigned>(hr), Meaning(hr).c_str());
}

// What a value reads as, in the user's locale for dates as a dialog shows them.
std::string Text(const VARIANT& value) {
  if (value.vt == VT_EMPTY) return "(not set)";
  Variant text;
  if (FAILED(VariantChangeType(text.get(), &value, 0, VT_BSTR))) return "(vt " + std::to_string(value.vt) + ")";
  if (value.vt == VT_BOOL) return value.boolVal != VARIANT_FALSE ? "yes" : "no";
  return Bstr::ToUtf8(text->bstrVal);
}

HRESULT CreateProfile(REFIID iid, void** object) {
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(u"PRProfile.PRProfile", &clsid);
  if (SUCCEEDED(hr)) hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object);
  return hr;
}

// --- Early binding: the interfaces as declared in lumora/profile.h ----------------------

bool EarlyBound() {
  std::printf("\nThrough the interfaces (early binding)\n");
  ComPtr<IPRProfile> profile;
  HRESULT hr = CreateProfile(IID_IPRProfile, profile.put_void());
  Report("create PRProfile.PRProfile", hr);
  if (FAILED(hr)) return false;
  hr = profile->GrantSectionAccess(Bstr::FromUtf8(kSection).get());
  Report("GrantSectionAccess com_example_planner", hr);
  if (FAILED(hr)) return false;

  // A trip of four variables of four types, saved in one batch: one dialog for all.
  struct NewVariable {
    const char* uki;
    EProfileDataType type;
    Variant value;
    const char* field;
    EPrivacy privacy;
  };
  NewVariable trip[] = {
      {kTripName, eTypeString, Variant::Utf8("Lake Bled weekend"), "Trip name", ePrivacyPrivate},
      {kTravellers, eTypeInt32, Variant::I4(2), "Travellers", ePrivacyPrivate},
      {kDeparture, eTypeDate, Variant::Date(kFourteenthOfMay2027), "Departure", ePrivacyPrivate},
      {kNeedsVisa, eTypeBoolean, Variant::Bool(false), "Needs a visa", ePrivacyShared},
  };
  for (NewVariable& variable : trip) {
    hr = profile->AddCreateKeyRequest2(Bstr::FromUtf8(variable.uki).get(), variable.type, variable.value.get(),
                                       eVolatilityChangesOften, variable.privacy, Bstr::FromUtf8(variable.field).get(),
                                       VARIANT_FALSE, nullptr);
    Report((std::string("AddCreateKeyRequest2 ") + (std::strrchr(variable.uki, '.') + 1)).c_str(), hr);
  }
  LONG executed = 0;
  hr = profile->ExecuteWriteRequests(0, Bstr::FromUtf8("Example Planner would like to save your trip.").get(),
                                     &executed);
  Report("ExecuteWriteRequests (write dialog)", hr);
  std::printf("  %ld of 4 saved (a variable that exists already is not made again)\n", static_cast<long>(executed));

  // A change of plans: one more traveller, a day later.
  Variant travellers = Variant::I4(3);
  Variant departure = Variant::Date(kFourteenthOfMay2027 + 1);
  Report("AddModifyValueRequest Travellers = 3",
         profile->AddModifyValueRequest(Bstr::FromUtf8(kTravellers).get(), travellers.get()));
  Report("AddModifyValueRequest Departure + 1 day",
         profile->AddModifyValueRequest(Bstr::FromUtf8(kDeparture).get(), departure.get()));
  hr = profile->ExecuteWriteRequests(0, Bstr::FromUtf8("Example Planner would like to update your trip.").get(),
                                     &executed);
  Report("ExecuteWriteRequests (write dialog)", hr);

  // Everything back, with the user's first name: one read dialog.
  const char* const reads[] = {kTripName, kTravellers, kDeparture, kNeedsVisa, kFirstName};
  for (const char* uki : reads) profile->AddReadRequest(Bstr::FromUtf8(uki).get());
  ComPtr<IPRKeyAttrsCollection> collection;
  hr = profile->ExecuteReadRequests(0, Bstr::FromUtf8("Example Planner would like to show your trip.").get(),
                                    collection.put());
  Report("ExecuteReadRequests (read dialog)", hr);
  if (FAILED(hr)) return false;
  for (const char* uki : reads) {
    Variant index = Variant::Utf8(uki);
    Variant item;
    Variant value;
    hr = collection->Item(*index.get(), item.put());
    ComPtr<IPRKeyAttr> attribute;
    if (SUCCEEDED(hr)) hr = item->pdispVal->QueryInterface(IID_IPRKeyAttr, attribute.put_void());
    if (SUCCEEDED(hr)) hr = attribute->get_Value(value.put());
    std::printf("  read %-38s %s\n", uki, SUCCEEDED(hr) ? Text(*value.get()).c_str() : Meaning(hr).c_str());
  }
  return true;
}

// --- Late binding: IDispatch only, every member found by its name -----------------------

// Calls the member `name` of `object` with `args` in declaration order; a method's own
// failure comes back in EXCEPINFO.
HRESULT CallByName(IDispatch* object, const char16_t* name, WORD flags, std::vector<Variant> args,
                   VARIANT* result = nullptr) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID dispid = DISPID_UNKNOWN;
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
  if (FAILED(hr)) return hr;
  std::vector<VARIANT> reversed;  // IDispatch takes the arguments last first
  for (auto arg = args.rbegin(); arg != args.rend(); ++arg) reversed.push_back(*arg->get());
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  EXCEPINFO info{};
  hr = object->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &info, nullptr);
  return hr == DISP_E_EXCEPTION ? info.scode : hr;
}

std::vector<Variant> Args(Variant a) {
  std::vector<Variant> args;
  args.push_back(std::move(a));
  return args;
}
std::vector<Variant> Args(Variant a, Variant b) {
  std::vector<Variant> args = Args(std::move(a));
  args.push_back(std::move(b));
  return args;
}

bool LateBound() {
  std::printf("\nThrough IDispatch, members found by name (late binding)\n");
  ComPtr<IDispatch> profile;
  HRESULT hr = CreateProfile(IID_IDispatch, profile.put_void());
  Report("create PRProfile.PRProfile", hr);
  if (FAILED(hr)) return false;
  hr = CallByName(profile.get(), u"GrantSectionAccess", DISPATCH_METHOD, Args(Variant::Utf8(kSection)));
  Report("GrantSectionAccess com_example_planner", hr);
  if (FAILED(hr)) return false;

  Report("AddModifyValueRequest NeedsVisa = yes", CallByName(profile.get(), u"AddModifyValueRequest", DISPATCH_METHOD,
                                                             Args(Variant::Utf8(kNeedsVisa), Variant::Bool(true))));
  Report("AddModifyValueRequest TripName",
         CallByName(profile.get(), u"AddModifyValueRequest", DISPATCH_METHOD,
                    Args(Variant::Utf8(kTripName), Variant::Utf8("Lake Bled and Ljubljana"))));
  Variant executed;
  hr = CallByName(profile.get(), u"ExecuteWriteRequests", DISPATCH_METHOD,
                  Args(Variant::I4(0), Variant::Utf8("Example Planner would like to update your trip.")),
                  executed.put());
  Report("ExecuteWriteRequests (write dialog)", hr);

  const char* const reads[] = {kTripName, kNeedsVisa, kFirstName};
  for (const char* uki : reads) {
    CallByName(profile.get(), u"AddReadRequest", DISPATCH_METHOD, Args(Variant::Utf8(uki)));
  }
  Variant collection;
  hr = CallByName(profile.get(), u"ExecuteReadRequests", DISPATCH_METHOD,
                  Args(Variant::I4(0), Variant::Utf8("Example Planner would like to show your trip.")),
                  collection.put());
  Report("ExecuteReadRequests (read dialog)", hr);
  if (FAILED(hr) || collection.vt() != VT_DISPATCH || collection->pdispVal == nullptr) return false;
  Variant count;
  CallByName(collection->pdispVal, u"Count", DISPATCH_PROPERTYGET, {}, count.put());
  std::printf("  Count = %s\n", Text(*count.get()).c_str());
  for (const char* uki : reads) {
    Variant item;
    Variant value;
    hr = CallByName(collection->pdispVal, u"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, Args(Variant::Utf8(uki)),
                    item.put());
    if (SUCCEEDED(hr) && item.vt() == VT_DISPATCH) {
      hr = CallByName(item->pdispVal, u"Value", DISPATCH_PROPERTYGET, {}, value.put());
    }
    std::printf("  read %-38s %s\n", uki, SUCCEEDED(hr) ? Text(*value.get()).c_str() : Meaning(hr).c_str());
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string only = argc > 1 ? argv[1] : "";
  if (argc > 2 || (!only.empty() && only != "--early" && only != "--late")) {
    std::fprintf(stderr, "usage: partner-planner [--early | --late]\n");
    return 2;
  }
  std::setlocale(LC_ALL, "");  // dates as the user writes them, as the dialogs show them
  std::printf("Example Planner, a partner program of Example Planner Ltd\n");
  bool ok = true;
  if (only != "--late") ok = EarlyBound() && ok;
  if (only != "--early") ok = LateBound() && ok;
  return ok ? 0 : 1;
}
