// An administration program, as the product's tools and privileged partners are
// written: it links only the object runtime and works through the private library's
// objects by their program identifiers. Signed at test time. Each step prints one line
// "<step>: 0x<result>" (some add a value after the result) and the program exits 0.
//   super                        create PRProfileSuperUser
//   getkey                       PRGetAccessKey::GetKey; the key is remembered
//   trade                        PRProfileSuperKeyAuth::GetProfileSuper with the remembered key
//   trade-key KEY                the same with KEY ("-" for an empty key)
//   cert-add SECTION CLASS FILE  certificate management with the record in FILE
//   cert-delete / cert-revoke SECTION CLASS FILE
//   cert-get SECTION CLASS SEQ OUT
//   cert-check SECTION CLASS TIME FILE    (TIME: 1 asks for the time check)
//   under SECTION EXE TRUSTED    UnderAuthenticate on the last super user ("-" for no EXE)
//   reset / close                ResetPassword / CloseStore of the last super user
//   all SECTION                  ExecuteReadAllKeysInSection: its count, then one line per
//                                item "item: uki|type|privacy|field name|display value"
//   d-all SECTION                the same late-bound: by program identifier and member names
//   scratch SECTION              opens the section's scratch area (kept for the steps below)
//   scratch-set KEY VALUE, scratch-delete KEY, scratch-clear, scratch-count,
//   scratch-get KEY (by item, "value" after the result), scratch-put KEY VALUE (by item),
//   scratch-hold KEY (keeps an item), scratch-held-get (reads the kept item)
//   reserved                     the reserved methods of the last super user
// Write steps (see RunWriteStep), on the last super user (su-) or on the session the last
// "under" handed out (s-):
//   su-create / s-create UKI TYPE RAW PRIVACY FIELD    AddCreateKeyRequest
//   su-create-null UKI TYPE PRIVACY FIELD              AddCreateNullKeyRequest
//   su-modify / s-modify UKI RAW                       AddModifyRawValueRequest
//   su-privacy UKI PRIVACY                             AddModifyPrivacyRequest
//   su-link UKI 1|0                                    AddLinkRequest
//   su-execute / s-execute HWND                        ExecuteWriteRequests; adds the count executed
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lumora/profile_private.h"
#include "lumora/values.h"

using namespace lumora;

namespace {

void Report(const std::string& step, HRESULT hr, const std::string& value = {}) {
  std::printf("%s: 0x%08X%s%s\n", step.c_str(), static_cast<unsigned>(hr), value.empty() ? "" : " ", value.c_str());
}

template <class I>
HRESULT Create(const char16_t* progId, ComPtr<I>* object) {
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(progId, &clsid);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IidOf<I>, object->put_void());
}

Bstr ReadRecord(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return Bstr::FromBytes(bytes);
}

DISPID IdOf(IDispatch* object, const char16_t* name) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID dispid = DISPID_UNKNOWN;
  object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
  return dispid;
}

HRESULT CallByName(IDispatch* object, const char16_t* name, WORD flags, VARIANT* arg, VARIANT* result) {
  DISPPARAMS params{arg, nullptr, arg == nullptr ? 0u : 1u, 0};
  EXCEPINFO info{};
  const HRESULT hr =
      object->Invoke(IdOf(object, name), IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &info, nullptr);
  return hr == DISP_E_EXCEPTION ? info.scode : hr;
}

// "d-all SECTION": a late-bound administration script's whole-section read. The super user
// is made by its versioned program identifier and asked for IDispatch only; every member is
// found by its name; prints the count, then "item: uki|display value" per item.
HRESULT LateBoundReadAll(const std::string& section) {
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(u"PRProfileSuperUser.PRProfileSuperUser.1", &clsid);
  ComPtr<IDispatch> superUser;
  if (SUCCEEDED(hr)) hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, superUser.put_void());
  if (FAILED(hr)) return hr;
  Variant name = Variant::Utf8(section);
  Variant all;
  hr = CallByName(superUser.get(), u"ExecuteReadAllKeysInSection", DISPATCH_METHOD, name.get(), all.get());
  if (FAILED(hr)) return hr;
  if (all->vt != VT_DISPATCH || all->pdispVal == nullptr) return E_UNEXPECTED;
  Variant count;
  hr = CallByName(all->pdispVal, u"Count", DISPATCH_PROPERTYGET, nullptr, count.get());
  if (FAILED(hr)) return hr;
  Report("d-all", hr, std::to_string(count->lVal));
  for (LONG i = 0; i < count->lVal; ++i) {
    Variant index = Variant::I4(i);
    Variant item;
    Variant uki;
    Variant display;
    hr = CallByName(all->pdispVal, u"Item", DISPATCH_METHOD, index.get(), item.get());
    if (SUCCEEDED(hr)) hr = CallByName(item->pdispVal, u"Uki", DISPATCH_PROPERTYGET, nullptr, uki.get());
    if (FAILED(hr)) return hr;
    // A variable without a value has no display text: the property says so.
    const HRESULT shown = CallByName(item->pdispVal, u"DisplayValue", DISPATCH_PROPERTYGET, nullptr, display.get());
    char failed[16];
    std::snprintf(failed, sizeof failed, "0x%08X", static_cast<unsigned>(shown));
    std::printf("item: %s|%s\n", Bstr::Copy(uki->bstrVal).ToUtf8().c_str(),
                SUCCEEDED(shown) ? Bstr::Copy(display->bstrVal).ToUtf8().c_str() : failed);
  }
  return S_OK;
}

// Runs a write step on the super user or the last session, taking its arguments from
// `next`. False for a step that is not a write step.
template <class Next>
bool RunWriteStep(const std::string& step, Next& next, IPRProfileSuperUser* superUser, IPRProfile* session) {
  const bool onSuper = step.rfind("su-", 0) == 0;
  if (!onSuper && step.rfind("s-", 0) != 0) return false;
  const std::string verb = step.substr(onSuper ? 3 : 2);
  if (onSuper ? superUser == nullptr : session == nullptr) {
    Report(step, E_POINTER);
    return true;
  }
  HRESULT hr = S_OK;
  if (verb == "create" || verb == "create-null") {
    Bstr uki = Bstr::FromUtf8(next());
    const auto type = static_cast<EProfileDataType>(std::stol(next()));
    Bstr raw = Bstr::FromUtf8(verb == "create" ? next() : std::string());
    const auto privacy = static_cast<EPrivacy>(std::stol(next()));
    Bstr field = Bstr::FromUtf8(next());
    if (verb == "create-null") {
      hr = onSuper ? superUser->AddCreateNullKeyRequest(uki.get(), type, eVolatilityChangesNever, privacy, field.get(),
                                                        VARIANT_FALSE, nullptr)
                   : E_NOTIMPL;
    } else if (onSuper) {
      hr = superUser->AddCreateKeyRequest(uki.get(), type, raw.get(), eVolatilityChangesNever, privacy, field.get(),
                                          VARIANT_FALSE, nullptr);
    } else {
      hr = session->AddCreateKeyRequest(uki.get(), type, raw.get(), eVolatilityChangesNever, privacy, field.get(),
                                        VARIANT_FALSE, nullptr);
    }
  } else if (verb == "modify") {
    Bstr uki = Bstr::FromUtf8(next());
    Bstr raw = Bstr::FromUtf8(next());
    hr = onSuper ? superUser->AddModifyRawValueRequest(uki.get(), raw.get())
                 : session->AddModifyRawValueRequest(uki.get(), raw.get());
  } else if (verb == "privacy" && onSuper) {
    Bstr uki = Bstr::FromUtf8(next());
    hr = superUser->AddModifyPrivacyRequest(uki.get(), static_cast<EPrivacy>(std::stol(next())));
  } else if (verb == "link" && onSuper) {
    Bstr uki = Bstr::FromUtf8(next());
    hr = superUser->AddLinkRequest(uki.get(), next() == "1" ? VARIANT_TRUE : VARIANT_FALSE);
  } else if (verb == "execute") {
    const LONG hwnd = std::stol(next());
    Bstr message = Bstr::FromUtf8("Administration");
    LONG executed = -1;
    hr = onSuper ? superUser->ExecuteWriteRequests(hwnd, message.get(), &executed)
                 : session->ExecuteWriteRequests(hwnd, message.get(), &executed);
    Report(step, hr, std::to_string(executed));
    return true;
  } else {
    return false;
  }
  Report(step, hr);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string key;
  ComPtr<IPRProfileSuperUser> superUser;
  ComPtr<IPRProfileCertificateManagement> certificates;
  ComPtr<IPRProfile> lastSession;  // handed out by the last "under"
  ComPtr<IPRScratchItemsCollection> scratch;
  ComPtr<IPRScratchItem> heldItem;
  for (size_t i = 0; i < args.size();) {
    const std::string step = args[i++];
    auto next = [&]() { return i < args.size() ? args[i++] : std::string(); };
    HRESULT hr = S_OK;
    if (RunWriteStep(step, next, superUser.get(), lastSession.get())) continue;
    if (step == "d-all") {
      hr = LateBoundReadAll(next());
      if (FAILED(hr)) Report(step, hr);
    } else if (step == "super") {
      hr = Create(u"PRProfileSuperUser.PRProfileSuperUser", &superUser);
      Report(step, hr);
    } else if (step == "getkey") {
      ComPtr<IPRGetAccessKey> getter;
      hr = Create(u"PRGetAccessKey.PRGetAccessKey", &getter);
      Bstr text;
      if (SUCCEEDED(hr)) hr = getter->GetKey(text.put());
      if (SUCCEEDED(hr)) key = text.ToUtf8();
      Report(step, hr, SUCCEEDED(hr) ? key : std::string());
    } else if (step == "trade" || step == "trade-key") {
      std::string given = step == "trade" ? key : next();
      if (step == "trade-key" && given == "-") given.clear();
      ComPtr<IPRProfileSuperKeyAuth> auth;
      hr = Create(u"PRProfileSuperKeyAuth.PRProfileSuperKeyAuth", &auth);
      Bstr keyText = Bstr::FromUtf8(given);
      ComPtr<IPRProfileSuperUser> traded;
      if (SUCCEEDED(hr)) hr = auth->GetProfileSuper(keyText.get(), traded.put());
      if (SUCCEEDED(hr)) superUser = std::move(traded);
      Report(step, hr);
    } else if (step.rfind("cert-", 0) == 0) {
      if (!certificates) {
        hr = Create(u"PRProfileCertificateManagement.PRProfileCertificateManagement", &certificates);
        if (FAILED(hr)) {
          Report(step, hr);
          continue;
        }
      }
      Bstr section = Bstr::FromUtf8(next());
      const LONG usage = std::stol(next());
      if (step == "cert-add" || step == "cert-delete" || step == "cert-revoke") {
        Bstr record = ReadRecord(next());
        hr = step == "cert-add"      ? certificates->AddCertificate(section.get(), usage, record.get())
             : step == "cert-delete" ? certificates->DeleteCertificate(section.get(), usage, record.get())
                                     : certificates->RevokeCertificate(section.get(), usage, record.get());
        Report(step, hr);
      } else if (step == "cert-get") {
        const LONG sequence = std::stol(next());
        const std::string out = next();
        Bstr record;
        hr = certificates->GetCertificate(section.get(), usage, sequence, record.put());
        if (SUCCEEDED(hr)) {
          std::ofstream(out, std::ios::binary)
              .write(reinterpret_cast<const char*>(record.get()), SysStringByteLen(record.get()));
        }
        Report(step, hr);
      } else if (step == "cert-check") {
        const VARIANT_BOOL time = next() == "1" ? VARIANT_TRUE : VARIANT_FALSE;
        Bstr record = ReadRecord(next());
        hr = certificates->CheckCertificate(section.get(), usage, time, record.get());
        Report(step, hr);
      } else {
        std::fprintf(stderr, "unknown step %s\n", step.c_str());
        return 2;
      }
    } else if (step == "under") {
      Bstr section = Bstr::FromUtf8(next());
      std::string exe = next();
      if (exe == "-") exe.clear();
      Bstr path = Bstr::FromUtf8(exe);
      const VARIANT_BOOL trusted = next() == "1" ? VARIANT_TRUE : VARIANT_FALSE;
      ComPtr<IPRProfile> session;
      hr = superUser ? superUser->UnderAuthenticate(section.get(), path.get(), trusted, session.put()) : E_POINTER;
      lastSession = std::move(session);
      Report(step, hr);
    } else if (step == "all") {
      Bstr section = Bstr::FromUtf8(next());
      ComPtr<IPRKeyAttrsCollection> all;
      hr = superUser ? superUser->ExecuteReadAllKeysInSection(section.get(), all.put()) : E_POINTER;
      LONG count = 0;
      if (SUCCEEDED(hr)) hr = all->get_Count(&count);
      Report(step, hr, std::to_string(count));
      for (LONG i = 0; SUCCEEDED(hr) && i < count; ++i) {
        Variant index = Variant::I4(i);
        Variant item;
        if (FAILED(all->Item(*index.get(), item.get()))) continue;
        ComPtr<IPRSuperKeyAttr> attr;
        if (FAILED(item->pdispVal->QueryInterface(IID_IPRSuperKeyAttr, attr.put_void()))) continue;
        Bstr uki;
        Bstr field;
        Bstr display;
        EProfileDataType type = eTypeUnknown;
        EPrivacy privacy = ePrivacyPrivate;
        attr->get_Uki(uki.put());
        attr->get_FieldName(field.put());
        attr->get_DisplayValue(display.put());
        attr->get_Type(&type);
        attr->get_Privacy(&privacy);
        std::printf("item: %s|%d|%d|%s|%s\n", uki.ToUtf8().c_str(), static_cast<int>(type), static_cast<int>(privacy),
                    field.ToUtf8().c_str(), display.ToUtf8().c_str());
      }
    } else if (step == "scratch") {
      Bstr section = Bstr::FromUtf8(next());
      hr = superUser ? superUser->UnderAuthenticateForScratch(section.get(), scratch.put()) : E_POINTER;
      Report(step, hr);
    } else if (step.rfind("scratch-", 0) == 0) {
      if (!scratch) {
        Report(step, E_POINTER);
        continue;
      }
      auto itemOf = [&](const std::string& key, ComPtr<IPRScratchItem>* item) {
        Variant index = Variant::Utf8(key);
        Variant found;
        HRESULT result = scratch->Item(*index.get(), found.get());
        if (SUCCEEDED(result)) result = found->pdispVal->QueryInterface(IID_IPRScratchItem, item->put_void());
        return result;
      };
      if (step == "scratch-set") {
        Bstr key = Bstr::FromUtf8(next());
        Bstr value = Bstr::FromUtf8(next());
        Report(step, scratch->CreateKey(key.get(), value.get()));
      } else if (step == "scratch-delete") {
        Bstr key = Bstr::FromUtf8(next());
        Report(step, scratch->DeleteKey(key.get()));
      } else if (step == "scratch-clear") {
        Report(step, scratch->DeleteAllKeys());
      } else if (step == "scratch-count") {
        LONG count = 0;
        hr = scratch->get_Count(&count);
        Report(step, hr, std::to_string(count));
      } else if (step == "scratch-get") {
        ComPtr<IPRScratchItem> item;
        hr = itemOf(next(), &item);
        Bstr value;
        if (SUCCEEDED(hr)) hr = item->get_Value(value.put());
        Report(step, hr, SUCCEEDED(hr) ? "[" + value.ToUtf8() + "]" : std::string());
      } else if (step == "scratch-put") {
        ComPtr<IPRScratchItem> item;
        hr = itemOf(next(), &item);
        Bstr value = Bstr::FromUtf8(next());
        if (SUCCEEDED(hr)) hr = item->put_Value(value.get());
        Report(step, hr);
      } else if (step == "scratch-hold") {
        Report(step, itemOf(next(), &heldItem));
      } else if (step == "scratch-held-get") {
        Bstr value;
        hr = heldItem ? heldItem->get_Value(value.put()) : E_POINTER;
        Report(step, hr, SUCCEEDED(hr) ? "[" + value.ToUtf8() + "]" : std::string());
      } else {
        std::fprintf(stderr, "unknown step %s\n", step.c_str());
        return 2;
      }
    } else if (step == "reset") {
      Report(step, superUser ? superUser->ResetPassword() : E_POINTER);
    } else if (step == "close") {
      Report(step, superUser ? superUser->CloseStore() : E_POINTER);
    } else if (step == "reserved") {
      Report("reserved1", superUser ? superUser->Reserved1(1, 2, 3, 4) : E_POINTER);
      Report("reserved2", superUser ? superUser->Reserved2(1, 2, 3) : E_POINTER);
      Report("reserved3", superUser ? superUser->Reserved3(1, 2) : E_POINTER);
      Bstr any = Bstr::FromUtf8("com.whatever");
      Report("grant", superUser ? superUser->GrantSectionAccess(any.get()) : E_POINTER);
    } else {
      std::fprintf(stderr, "unknown step %s\n", step.c_str());
      return 2;
    }
  }
  std::fflush(stdout);
  return 0;
}
