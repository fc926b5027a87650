// The profile object's writes: the queueing methods with their checks and merge rules,
// and the batch that shows the queue to the user once and runs it in one transaction.
#include <typeinfo>

#include "consent/confirm_write_dialog.h"
#include "create_link_request_item.h"
#include "create_request_item.h"
#include "delete_request_item.h"
#include "link_request_item.h"
#include "lumora/error.h"
#include "lumora/trace.h"
#include "lumora/values.h"
#include "modify_privacy_request_item.h"
#include "modify_raw_value_request_item.h"
#include "profile.h"
#include "session_state.h"
#include "store/key_set.h"
#include "store/profile_database.h"
#include "store/raw_value.h"
#include "store/uki.h"
#include "store/value_protection.h"
#include "write_request_item.h"

namespace lumora {
namespace {

constexpr LONG kWithoutDialog = -1;

// A string argument in the component's narrow form. A text with an embedded zero
// character cannot be one of the store's names or values (it would be cut short where it
// is stored or read), so it is refused rather than quietly shortened.
bool ToNarrow(BSTR text, std::string* narrow) {
  if (Bstr::View(text).find(u'\0') != std::u16string_view::npos) return false;
  *narrow = Bstr::ToUtf8(text);
  return true;
}

// The check of a creation's value against its type when it is queued. Stricter than the
// check when a value is written: a number, date or enumeration index must be given (a
// variable without a value is created by the privileged routine).
bool CreateValueFitsType(const std::string& value, LONG type) {
  DATE date = 0;
  LONG number = 0;
  switch (type) {
    case eTypeInt32:
    case eTypeEnumOfStrings:
      return SUCCEEDED(ParseRawInteger(value, &number));
    case eTypeDateTime:
      return SUCCEEDED(ParseRawDate(value, &date));
    case eTypeDate:
      return SUCCEEDED(ParseRawDateOnly(value, &date));
    case eTypeTime:
      return SUCCEEDED(ParseRawTime(value, &date));
    case eTypeBoolean:
      return !value.empty() && (value[0] == 'T' || value[0] == '1' || value[0] == 'F' || value[0] == '0');
    default:
      return true;  // strings, string lists and any other type value are taken as they are
  }
}

// The options of an enumeration: the strings of the first dimension of an array of
// strings, given directly or by reference. Anything else (nothing, a null object, an
// array of another element type, whatever its VARIANT claims) is no options. False when
// an option holds an embedded zero character.
bool EnumOptionsOf(const VARIANT* options, std::vector<std::string>* labels) {
  labels->clear();
  if (options == nullptr) return true;
  if (options->vt == (VT_BYREF | VT_VARIANT)) {
    options = options->pvarVal;
    if (options == nullptr) return true;
  }
  const VARTYPE vt = options->vt;
  if ((vt & VT_ARRAY) == 0 || (vt & VT_TYPEMASK) != VT_BSTR) return true;
  SAFEARRAY* array =
      (vt & VT_BYREF) != 0 ? (options->pparray != nullptr ? *options->pparray : nullptr) : options->parray;
  if (array == nullptr) return true;
  VARTYPE elements = VT_EMPTY;
  if (FAILED(SafeArrayGetVartype(array, &elements)) || elements != VT_BSTR) return true;
  const UINT dimensions = SafeArrayGetDim(array);
  if (dimensions == 0) return true;
  // The other dimensions stay at their lower bounds.
  std::vector<LONG> indices(dimensions);
  for (UINT d = 0; d < dimensions; ++d) ThrowIfFailed(SafeArrayGetLBound(array, d + 1, &indices[d]));
  LONG upper = 0;
  ThrowIfFailed(SafeArrayGetUBound(array, 1, &upper));
  for (LONG i = indices[0]; i <= upper; ++i) {
    indices[0] = i;
    Bstr label;
    ThrowIfFailed(SafeArrayGetElement(array, indices.data(), label.put()));
    std::string narrow;
    if (!ToNarrow(label.get(), &narrow)) return false;
    labels->push_back(std::move(narrow));
  }
  return true;
}

// Holds the database's one write transaction while the batch runs. The transaction is
// begun at once (so the batch never waits to upgrade a read lock) and committed on every
// way out: the changes of the items that succeeded are kept even when another item
// fails, and the connection is never left inside a transaction.
class BatchTransaction {
 public:
  explicit BatchTransaction(CDaoDatabase& database) : m_workspace(*database.m_pWorkspace) { m_workspace.BeginTrans(); }
  ~BatchTransaction() {
    if (!m_open) return;
    try {
      m_workspace.CommitTrans();
    } catch (...) {
      Trace("%s: unknown error", "PRProfile::ExecuteWriteRequests");
    }
  }
  BatchTransaction(const BatchTransaction&) = delete;
  BatchTransaction& operator=(const BatchTransaction&) = delete;

  // Commits now; a failure is thrown to the caller.
  void Commit() {
    m_open = false;
    m_workspace.CommitTrans();
  }

 private:
  CDaoWorkspace& m_workspace;
  bool m_open = true;
};

// Empties a write queue when it leaves scope, whichever way that is.
class QueueDiscard {
 public:
  explicit QueueDiscard(std::vector<std::unique_ptr<PRWriteRequestItem>>& queue) : m_queue(queue) {}
  ~QueueDiscard() { m_queue.clear(); }
  QueueDiscard(const QueueDiscard&) = delete;
  QueueDiscard& operator=(const QueueDiscard&) = delete;

 private:
  std::vector<std::unique_ptr<PRWriteRequestItem>>& m_queue;
};

// Hands the changed ukis, in queue order, to the change notification sink as one array
// of strings. The sink's answer is not looked at, and a sink that cannot be had changes
// nothing.
void NotifyChangeSink(const std::vector<std::string>& changed) {
  ComPtr<ILumoraChangeSink> sink = ChangeSink();
  if (!sink) return;
  SafeArray ukis = SafeArray::OfStrings(changed);
  if (!ukis) return;
  Variant value = Variant::Array(std::move(ukis), VT_BSTR);
  sink->ProfileChanged(*value.get());
}

// Runs every item of the queue, in order, in one transaction. Returns the last failure
// of an item (or S_OK) and counts in *executed the items that executed without failure.
HRESULT RunWriteRequests(std::vector<std::unique_ptr<PRWriteRequestItem>>& queue, LONG* executed) {
  CDaoDatabase& database = *ProfileDatabase();
  HRESULT batchResult = S_OK;
  LONG succeeded = 0;
  std::vector<std::string> changed;
  {
    BatchTransaction transaction(database);
    // Opened inside the transaction: the set's rows are then exactly the table's, and no
    // row another process added just before can be missed (a create would add it twice,
    // a modification would not find it).
    CKeySet keys(&database, dbOpenDynaset);
    keys.Open();
    for (const std::unique_ptr<PRWriteRequestItem>& item : queue) {
      const HRESULT hr = item->Execute(keys);
      if (FAILED(hr)) {
        batchResult = hr;  // a later failure replaces an earlier one; the batch goes on
        continue;
      }
      ++succeeded;
      if (hr != eWarningValueUnchanged) changed.push_back(item->GetUki());
    }
    keys.Close();
    transaction.Commit();
  }
  *executed = succeeded;
  // Told only once the changes are committed.
  for (const std::unique_ptr<PRWriteRequestItem>& item : queue) item->SendPrivacyRecords();
  if (!changed.empty()) NotifyChangeSink(changed);
  return batchResult;
}

bool IsEnumerationValue(LONG value, SHORT low, SHORT high) { return value >= low && value <= high; }

}  // namespace

PRProfile::~PRProfile() = default;

HRESULT PRProfile::AddModifyRawValueRequest(BSTR uki, BSTR newRawValue) {
  return LUMORA_CATCH_ALL_BOUNDARY([&]() -> HRESULT {
    std::string given;
    std::string value;
    if (!ToNarrow(uki, &given) || !ToNarrow(newRawValue, &value)) return E_INVALIDARG;
    const std::string qualified = QualifyUki(given);
    if (!IsSectionGranted(SectionOfUki(qualified))) return E_ACCESSDENIED;
    if (value.size() > kMaxRawValueLength) return E_INVALIDARG;
    // A common variable is written through the section's own variable for it, which is
    // made as a link to the common one if it does not exist yet.
    if (qualified != given) QueueCreateLinkRequest(BaseOfUki(qualified), BaseOfUki(given));
    for (const std::unique_ptr<PRWriteRequestItem>& item : m_writeRequests) {
      if (item->Uki() != qualified) continue;
      PRWriteRequestItem& found = *item;
      if (typeid(found) == typeid(PRCreateRequestItem)) {
        static_cast<PRCreateRequestItem&>(found).ReplaceRawValue(value);
        return S_OK;
      }
      if (typeid(found) == typeid(PRCreateLinkRequestItem)) {
        static_cast<PRCreateLinkRequestItem&>(found).ReplaceValue(value);
        return S_OK;
      }
      if (typeid(found) == typeid(PRModifyRawValueRequestItem)) {
        static_cast<PRModifyRawValueRequestItem&>(found).ReplaceNewRawValue(value);
        return S_OK;
      }
      if (typeid(found) == typeid(PRDeleteRequestItem)) return S_OK;  // the variable is to be deleted
      break;  // any other kind of change: the modification is queued on its own
    }
    m_writeRequests.push_back(
        std::make_unique<PRModifyRawValueRequestItem>(qualified, RequesterKind(qualified), std::move(value)));
    return S_OK;
  });
}

HRESULT PRProfile::AddModifyValueRequest(BSTR uki, VARIANT* newValue) {
  return LUMORA_CATCH_ALL_BOUNDARY([&]() -> HRESULT {
    if (newValue == nullptr) return E_POINTER;
    // A value that cannot be turned into a raw value is refused with the conversion's
    // result: queueing whatever text the conversion left would store a value the caller
    // never gave.
    std::string raw;
    const HRESULT converted = VariantToRawString(*newValue, &raw);
    if (FAILED(converted)) return converted;
    Bstr text = Bstr::FromUtf8(raw);
    if (!text) return E_OUTOFMEMORY;
    return AddModifyRawValueRequest(uki, text.get());
  });
}

HRESULT PRProfile::AddCreateKeyRequest(BSTR uki, EProfileDataType Type, BSTR Value, EVolatility volatility,
                                       EPrivacy privacy, BSTR fieldName, VARIANT_BOOL isreadonly,
                                       VARIANT* enumOptions) {
  return AddCreateKeyRequest(uki, Type, Value, volatility, privacy, fieldName, isreadonly, enumOptions, false);
}

HRESULT PRProfile::AddCreateKeyRequest(BSTR uki, EProfileDataType Type, BSTR Value, EVolatility volatility,
                                       EPrivacy privacy, BSTR fieldName, VARIANT_BOOL isreadonly, VARIANT* enumOptions,
                                       bool createNull) {
  return LUMORA_CATCH_ALL_BOUNDARY([&]() -> HRESULT {
    NewVariable variable;
    std::string target;
    if (!ToNarrow(uki, &target) || !ToNarrow(Value, &variable.rawValue) || !ToNarrow(fieldName, &variable.fieldName)) {
      return E_INVALIDARG;
    }
    if (createNull) variable.rawValue = kNotSetMarker;
    if (!IsSectionGranted(SectionOfUki(target))) return E_ACCESSDENIED;
    // The super user's own sessions may not make anything shared on the user's behalf.
    if (m_bPrivileged && privacy != ePrivacyPrivate) return E_ACCESSDENIED;
    // Values the store could not keep as given: a privacy or volatility outside its
    // enumeration, a type that does not fit the stored 16 bits, a value too long to protect.
    if (!IsEnumerationValue(privacy, ePrivacyFirstEnum, ePrivacyLastEnum) ||
        !IsEnumerationValue(volatility, eVolatilityFirstEnum, eVolatilityLastEnum) ||
        Type != static_cast<SHORT>(Type) || variable.rawValue.size() > kMaxRawValueLength) {
      return E_INVALIDARG;
    }
    if (!createNull && Type != eTypeArrayOfStrings && !CreateValueFitsType(variable.rawValue, Type)) {
      return eErrorProfileTypeMismatch;
    }
    if (!EnumOptionsOf(enumOptions, &variable.enumOptions)) return E_INVALIDARG;
    const size_t optionCount = variable.enumOptions.size();
    if ((optionCount == 0) == (Type == eTypeEnumOfStrings)) return E_INVALIDARG;
    if (optionCount > 0 && variable.rawValue != kNotSetMarker) {
      // Enumeration raw values are 1-based indexes into the options. An index beyond 16
      // bits is refused as it is, not cut down to one that happens to fit.
      LONG index = 0;
      ParseRawInteger(variable.rawValue, &index);
      if (index < 1 || static_cast<size_t>(index) > optionCount) return E_INVALIDARG;
    }
    variable.privacy = privacy;
    variable.type = static_cast<SHORT>(Type);
    variable.volatility = static_cast<BYTE>(volatility);
    variable.isReadOnly = isreadonly;  // sign-extended: VARIANT_TRUE is -1
    if (createNull) {
      m_writeRequests.push_back(std::make_unique<PRCreateNullRequestItem>(target, 0, std::move(variable)));
    } else {
      m_writeRequests.push_back(
          std::make_unique<PRCreateRequestItem>(target, RequesterKind(target), std::move(variable)));
    }
    return S_OK;
  });
}

HRESULT PRProfile::AddCreateKeyRequest2(BSTR uki, EProfileDataType Type, VARIANT* Value, EVolatility volatility,
                                        EPrivacy privacy, BSTR fieldName, VARIANT_BOOL isreadonly,
                                        VARIANT* enumOptions) {
  return LUMORA_CATCH_ALL_BOUNDARY([&]() -> HRESULT {
    std::string raw;  // an array variable's value lies in its items
    if (Type != eTypeArrayOfStrings) {
      if (Value == nullptr) return E_POINTER;
      const HRESULT converted = VariantToRawString(*Value, &raw);
      if (FAILED(converted)) return converted;
    }
    Bstr text = Bstr::FromUtf8(raw);
    if (!text) return E_OUTOFMEMORY;
    return AddCreateKeyRequest(uki, Type, text.get(), volatility, privacy, fieldName, isreadonly, enumOptions);
  });
}

HRESULT PRProfile::QueueCreateLinkRequest(const std::string& uki, const std::string& ukiSrc) {
  if (uki.empty()) return eErrorBadKey;
  if (ukiSrc.empty()) return eErrorKeyNotFound;
  if (!IsSectionGranted(SectionOfUki(uki))) return E_ACCESSDENIED;
  if (!m_bAllSections) {
    // A link row's source is the variable its key names, and reading the link reads the
    // source. An ordinary client may therefore only link its section's own variable for
    // a common variable to exactly that variable: a link named after another company's
    // variable would hand that company's value to this client, and a value given to an
    // unset source would be written into the other section.
    if (!IsCommonSection(SectionOfUki(ukiSrc))) return E_ACCESSDENIED;
    if (KeyOfUki(uki) != BaseOfUki(ukiSrc)) return E_INVALIDARG;
  }
  m_writeRequests.push_back(std::make_unique<PRCreateLinkRequestItem>(uki, RequesterKind(uki), ukiSrc));
  return S_OK;
}

HRESULT PRProfile::AddCreateLinkKeyRequest(BSTR uki, BSTR ukiSrc) {
  return LUMORA_CATCH_ALL_BOUNDARY([&]() -> HRESULT {
    std::string link;
    std::string source;
    if (!ToNarrow(uki, &link) || !ToNarrow(ukiSrc, &source)) return E_INVALIDARG;
    return QueueCreateLinkRequest(link, source);
  });
}

HRESULT PRProfile::AddDeleteKeyRequest(BSTR uki) {
  return LUMORA_CATCH_ALL_BOUNDARY([&]() -> HRESULT {
    std::string target;
    if (!ToNarrow(uki, &target)) return E_INVALIDARG;
    if (!IsSectionGranted(SectionOfUki(target))) return E_ACCESSDENIED;
    m_writeRequests.push_back(std::make_unique<PRDeleteRequestItem>(target, 0));
    return S_OK;
  });
}

HRESULT PRProfile::AddModifyPrivacyRequest(BSTR uki, EPrivacy privacy) {
  return LUMORA_CATCH_ALL_BOUNDARY([&]() -> HRESULT {
    if (!m_bAllSections) return E_ACCESSDENIED;
    std::string target;
    if (!ToNarrow(uki, &target) || !IsEnumerationValue(privacy, ePrivacyFirstEnum, ePrivacyLastEnum)) {
      return E_INVALIDARG;
    }
    m_writeRequests.push_back(std::make_unique<PRModifyPrivacyRequestItem>(target, RequesterKind(target), privacy));
    return S_OK;
  });
}

HRESULT PRProfile::AddLinkRequestHelper(BSTR uki, VARIANT_BOOL link) {
  return LUMORA_CATCH_ALL_BOUNDARY([&]() -> HRESULT {
    std::string target;
    if (!ToNarrow(uki, &target)) return E_INVALIDARG;
    m_writeRequests.push_back(std::make_unique<PRLinkRequestItem>(target, 0, link == VARIANT_TRUE));
    return S_OK;
  });
}

HRESULT PRProfile::ExecuteWriteRequests(LONG hwnd, BSTR message, LONG* result) {
  if (result == nullptr) return E_POINTER;
  *result = 0;
  return LUMORA_ERROR_BOUNDARY([&]() -> HRESULT {
    // A store that cannot be opened leaves the queue for another try.
    const HRESULT opened = OpenProfileDatabase();
    if (FAILED(opened)) return opened;
    // From here on the queue is discarded whatever happens.
    QueueDiscard discard(m_writeRequests);
    const bool withoutDialog = hwnd == kWithoutDialog;
    if (withoutDialog && !m_bAllSections && !m_bPrivileged) return E_ACCESSDENIED;
    if (m_writeRequests.empty()) return S_OK;
    if (!withoutDialog) {
      std::vector<WriteConsentRow*> rows;
      rows.reserve(m_writeRequests.size());
      for (const std::unique_ptr<PRWriteRequestItem>& item : m_writeRequests) rows.push_back(item.get());
      // No window of this platform is a window here: the dialog has no owner.
      CConfirmWriteDialog dialog(std::move(rows), m_callerName, 0, Bstr::ToUtf8(message));
      dialog.SetSection(m_section);
      if (dialog.DoModal() != IDOK) return kCancelledByUser;
    }
    return RunWriteRequests(m_writeRequests, result);
  });
}

}  // namespace lumora
