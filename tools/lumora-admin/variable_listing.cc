// Reading a section's variables through the privileged items, and printing them.
#include "variable_listing.h"

#include <algorithm>

#include "lumora/values.h"
#include "terminal_text.h"

namespace lumora::admin {
namespace {

// Items are taken from the enumerator this many at a time.
constexpr ULONG kBatch = 256;

JsonValue Flag(bool value) { return JsonValue::Integer(value ? 1 : 0); }

}  // namespace

HRESULT ReadVariable(IPRSuperKeyAttr* item, bool withRawValue, VariableRow* row) {
  Bstr text;
  HRESULT hr = item->get_Uki(text.put());
  if (FAILED(hr)) return hr;
  row->uki = text.ToUtf8();
  if (FAILED(hr = item->get_FieldName(text.put()))) return hr;
  row->fieldName = text.ToUtf8();
  EProfileDataType type = eTypeUnknown;
  EPrivacy privacy = ePrivacyPrivate;
  EVolatility volatility = eVolatilityChangesNever;
  VARIANT_BOOL flag = VARIANT_FALSE;
  if (FAILED(hr = item->get_Type(&type)) || FAILED(hr = item->get_Privacy(&privacy)) ||
      FAILED(hr = item->get_Volatility(&volatility))) {
    return hr;
  }
  row->type = type;
  row->privacy = privacy;
  row->volatility = volatility;
  if (FAILED(hr = item->get_IsReadOnly(&flag))) return hr;
  row->readOnly = flag != VARIANT_FALSE;
  if (FAILED(hr = item->get_IsLinked(&flag))) return hr;
  row->linked = flag != VARIANT_FALSE;
  row->linkSource.clear();
  if (row->linked && SUCCEEDED(item->get_LinkSource(text.put()))) row->linkSource = text.ToUtf8();
  if (FAILED(hr = item->get_IsValueSet(&flag))) return hr;
  row->valueSet = flag != VARIANT_FALSE;
  row->displayValue.clear();
  row->rawValue.clear();
  if (row->valueSet) {
    if (FAILED(hr = item->get_DisplayValue(text.put()))) return hr;
    row->displayValue = text.ToUtf8();
    if (withRawValue) {
      if (FAILED(hr = item->get_RawValue(text.put()))) return hr;
      row->rawValue = text.ToUtf8();
    }
  }
  return item->get_LastShared(&row->lastShared);
}

HRESULT ReadSectionVariables(IPRProfileSuperUser* superUser, const std::string& section,
                             std::vector<VariableRow>* rows) {
  rows->clear();
  return ReadSectionVariables(
      superUser, section, [rows](LONG count) { rows->reserve(static_cast<size_t>(count)); },
      [rows](const VariableRow& row) { rows->push_back(row); });
}

HRESULT ReadSectionVariables(IPRProfileSuperUser* superUser, const std::string& section,
                             const std::function<void(LONG count)>& start,
                             const std::function<void(const VariableRow&)>& each) {
  Bstr name = Bstr::FromUtf8(section);
  ComPtr<IPRKeyAttrsCollection> collection;
  HRESULT hr = superUser->ExecuteReadAllKeysInSection(name.get(), collection.put());
  if (FAILED(hr)) return hr;
  LONG count = 0;
  if (FAILED(hr = collection->get_Count(&count))) return hr;
  start(std::max<LONG>(count, 0));  // a count is a size to reserve for
  // One walk over the snapshot: the enumerator makes every item in one pass.
  ComPtr<IUnknown> unknown;
  if (FAILED(hr = collection->get__NewEnum(unknown.put()))) return hr;
  ComPtr<IEnumVARIANT> items;
  if (FAILED(hr = unknown.query_to(items.put()))) return hr;
  std::vector<VARIANT> batch(kBatch);
  VariableRow row;
  for (;;) {
    ULONG fetched = 0;
    hr = items->Next(kBatch, batch.data(), &fetched);
    if (FAILED(hr)) return hr;
    HRESULT itemResult = S_OK;
    for (ULONG i = 0; i < fetched; ++i) {
      Variant item;
      item.attach(batch[i]);
      ComPtr<IPRSuperKeyAttr> attr;
      if (SUCCEEDED(itemResult) && item.vt() == VT_DISPATCH && item->pdispVal != nullptr) {
        itemResult = item->pdispVal->QueryInterface(IID_IPRSuperKeyAttr, attr.put_void());
        if (SUCCEEDED(itemResult)) itemResult = ReadVariable(attr.get(), false, &row);
        if (SUCCEEDED(itemResult)) each(row);
      } else if (SUCCEEDED(itemResult)) {
        itemResult = E_UNEXPECTED;
      }
    }
    if (FAILED(itemResult)) return itemResult;
    if (hr != S_OK || fetched < kBatch) break;
  }
  return S_OK;
}

std::string TypeName(LONG type) {
  switch (type) {
    case eTypeUnknown:
      return "unknown";
    case eTypeInt32:
      return "int32";
    case eTypeDateTime:
      return "date-time";
    case eTypeDate:
      return "date";
    case eTypeTime:
      return "time";
    case eTypeString:
      return "string";
    case eTypeBoolean:
      return "boolean";
    case eTypeStringList:
      return "string list";
    case eTypeArrayOfStrings:
      return "array of strings";
    case eTypeEnumOfStrings:
      return "enumeration";
    default:
      return "not a type (" + std::to_string(type) + ")";
  }
}

std::string PrivacyName(LONG privacy) {
  switch (privacy) {
    case ePrivacyPrivate:
      return "private";
    case ePrivacyShared:
      return "shared";
    default:
      return "not a privacy (" + std::to_string(privacy) + ")";
  }
}

std::string VolatilityName(LONG volatility) {
  switch (volatility) {
    case eVolatilityChangesNever:
      return "changes never";
    case eVolatilityChangesRarely:
      return "changes rarely";
    case eVolatilityChangesOften:
      return "changes often";
    default:
      return "not a volatility (" + std::to_string(volatility) + ")";
  }
}

void AppendVariablesHeading(const std::string& section, size_t count, std::string* text) {
  *text += "section " + Quoted(section) + ": " + std::to_string(count) + (count == 1 ? " variable\n" : " variables\n");
}

void AppendVariableLines(const VariableRow& row, std::string* out) {
  std::string& text = *out;
  const auto field = [&text](std::string_view label) {
    text += "  ";
    text += label;
    text.append(15 - std::min<size_t>(15, label.size()), ' ');
  };
  const auto quoted = [&text](std::string_view value) {
    text += '"';
    AppendPrintable(&text, value);
    text += "\"\n";
  };
  text += '\n';
  AppendPrintable(&text, row.uki);
  text += '\n';
  field("field name:");
  quoted(row.fieldName);
  field("type:");
  text += TypeName(row.type);
  text += '\n';
  field("privacy:");
  text += PrivacyName(row.privacy);
  text += '\n';
  field("volatility:");
  text += VolatilityName(row.volatility);
  text += '\n';
  field("read-only:");
  text += row.readOnly ? "yes\n" : "no\n";
  field("linked:");
  if (row.linked) {
    text += "yes, to ";
    AppendPrintable(&text, row.linkSource);
    text += '\n';
  } else {
    text += "no\n";
  }
  field("display value:");
  if (row.valueSet) {
    quoted(row.displayValue);
  } else {
    text += "(not set)\n";
  }
  const std::string lastShared = FormatDateTime(row.lastShared);
  if (lastShared.empty()) {
    text += "  last shared:\n";
  } else {
    field("last shared:");
    text += lastShared;
    text += '\n';
  }
}

JsonValue VariableJson(const VariableRow& row) {
  JsonValue variable = JsonValue::Object();
  variable.Add("uki", JsonValue::String(row.uki));
  variable.Add("fieldName", JsonValue::String(row.fieldName));
  variable.Add("type", JsonValue::String(TypeName(row.type)));
  variable.Add("typeCode", JsonValue::Integer(row.type));
  variable.Add("privacy", JsonValue::String(PrivacyName(row.privacy)));
  variable.Add("volatility", JsonValue::String(VolatilityName(row.volatility)));
  variable.Add("readOnly", Flag(row.readOnly));
  variable.Add("linked", Flag(row.linked));
  variable.Add("linkSource", JsonValue::String(row.linkSource));
  variable.Add("valueSet", Flag(row.valueSet));
  variable.Add("displayValue", JsonValue::String(row.displayValue));
  variable.Add("lastShared", JsonValue::String(FormatDateTime(row.lastShared)));
  return variable;
}

JsonValue VariablesJson(const std::string& section, const std::vector<VariableRow>& rows) {
  JsonValue variables = JsonValue::Array();
  for (const VariableRow& row : rows) variables.Append(VariableJson(row));
  JsonValue listing = JsonValue::Object();
  listing.Add("section", JsonValue::String(section));
  listing.Add("variables", std::move(variables));
  return listing;
}

HRESULT ShowSection(IPRProfileSuperUser* superUser, const std::string& section, bool json, FILE* out) {
  if (json) {
    std::vector<VariableRow> rows;
    const HRESULT hr = ReadSectionVariables(superUser, section, &rows);
    if (FAILED(hr)) return hr;
    const std::string text = WriteSafeJson(VariablesJson(section, rows)) + "\n";
    std::fwrite(text.data(), 1, text.size(), out);
    return S_OK;
  }
  // Each variable's lines are made as it is read, without a row kept for it; the text is
  // written only when the whole section was read, so a failure prints nothing.
  std::string text;
  const HRESULT hr = ReadSectionVariables(
      superUser, section,
      [&](LONG count) {
        text.reserve(static_cast<size_t>(count) * 320);
        AppendVariablesHeading(section, static_cast<size_t>(count), &text);
      },
      [&](const VariableRow& row) { AppendVariableLines(row, &text); });
  if (FAILED(hr)) return hr;
  std::fwrite(text.data(), 1, text.size(), out);
  return S_OK;
}

}  // namespace lumora::admin
