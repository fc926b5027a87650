// Reading one variable through the super user's read requests.
#include "variable_access.h"

#include <string>
#include <string_view>

#include "lumora/values.h"

namespace lumora::admin {
namespace {

HRESULT ReadElements(IPRKeyAttrsCollection* collection, BSTR uki, VariableDetails* details) {
  ComPtr<IDispatch> dispatch;
  HRESULT hr = collection->GetArray(uki, dispatch.put());
  if (FAILED(hr)) return hr;
  ComPtr<IPRArrayItemsCollection> array;
  if (FAILED(hr = dispatch.query_to(array.put()))) return hr;
  ComPtr<IUnknown> unknown;
  if (FAILED(hr = array->get__NewEnum(unknown.put()))) return hr;
  ComPtr<IEnumVARIANT> items;
  if (FAILED(hr = unknown.query_to(items.put()))) return hr;
  for (;;) {
    Variant item;
    ULONG fetched = 0;
    if (FAILED(hr = items->Next(1, item.put(), &fetched))) return hr;
    if (fetched == 0) return S_OK;
    ComPtr<IPRArrayItem> element;
    if (item.vt() != VT_DISPATCH || item->pdispVal == nullptr ||
        FAILED(hr = item->pdispVal->QueryInterface(IID_IPRArrayItem, element.put_void()))) {
      return FAILED(hr) ? hr : E_UNEXPECTED;
    }
    Bstr key;
    Bstr value;
    if (FAILED(hr = element->get_Index(key.put())) || FAILED(hr = element->get_Value(value.put()))) return hr;
    details->elements.emplace_back(key.ToUtf8(), value.ToUtf8());
  }
}

void ReadOptions(IPRSuperKeyAttr* item, VariableDetails* details) {
  Variant labels;
  if (FAILED(item->get_EnumOptions(labels.put())) || labels.vt() != (VT_ARRAY | VT_BSTR)) return;
  SAFEARRAY* array = labels->parray;
  LONG low = 0;
  LONG high = -1;
  if (FAILED(SafeArrayGetLBound(array, 1, &low)) || FAILED(SafeArrayGetUBound(array, 1, &high))) return;
  for (LONG i = low; i <= high; ++i) {
    Bstr label;
    if (SUCCEEDED(SafeArrayGetElement(array, &i, label.put()))) details->options.push_back(label.ToUtf8());
  }
}

}  // namespace

HRESULT ReadOneVariable(IPRProfileSuperUser* superUser, const std::string& uki, VariableDetails* details) {
  Bstr name = Bstr::FromUtf8(uki);
  HRESULT hr = superUser->AddReadRequest(name.get());
  if (FAILED(hr)) return hr;
  Bstr noMessage = Bstr::FromUtf8("");
  ComPtr<IPRKeyAttrsCollection> collection;
  if (FAILED(hr = superUser->ExecuteReadRequests(-1, noMessage.get(), collection.put()))) return hr;
  Variant index = Variant::Utf8(uki);
  Variant item;
  if (FAILED(hr = collection->Item(*index.get(), item.put()))) return hr;
  ComPtr<IPRSuperKeyAttr> attr;
  if (item.vt() != VT_DISPATCH || item->pdispVal == nullptr) return eErrorKeyNotFound;
  if (FAILED(hr = item->pdispVal->QueryInterface(IID_IPRSuperKeyAttr, attr.put_void()))) return hr;
  if (FAILED(hr = ReadVariable(attr.get(), true, &details->row))) return hr;
  if (details->row.type == eTypeArrayOfStrings && FAILED(hr = ReadElements(collection.get(), name.get(), details))) {
    return hr;
  }
  if (details->row.type == eTypeEnumOfStrings) ReadOptions(attr.get(), details);
  return S_OK;
}

namespace {

bool IsDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

std::string RawValueProblem(LONG type, size_t options, std::string_view value) {
  // An array's own raw value is never shown or read: its value lies in its elements.
  if (type == eTypeArrayOfStrings) return "taken by an array variable (set one of its elements, UKI[KEY])";
  if (type != eTypeInt32 && type != eTypeEnumOfStrings && type != eTypeDateTime && type != eTypeDate &&
      type != eTypeTime) {
    return {};
  }
  std::string_view digits = value;
  if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) digits.remove_prefix(1);
  if (type == eTypeInt32 || type == eTypeEnumOfStrings) {
    if (!IsDigits(digits)) return "a whole number";
    if (type == eTypeInt32) return {};
    if (value[0] == '-' || value[0] == '+' || digits.size() > 5 || std::stoul(std::string(digits)) < 1 ||
        std::stoul(std::string(digits)) > options) {
      return "the number of one of its " + std::to_string(options) + " options (1 to " + std::to_string(options) + ")";
    }
    return {};
  }
  const size_t point = digits.find('.');
  if (!IsDigits(digits.substr(0, point)) || (point != std::string_view::npos && !IsDigits(digits.substr(point + 1)))) {
    return "a number of days since 30 December 1899, with a decimal point in every locale";
  }
  return {};
}

}  // namespace lumora::admin
