// DisplayText: the text the consent dialogs show for a value, by its type.
#include "display_text.h"

#include <cstdlib>

#include "common/resources.h"
#include "lumora/profile.h"
#include "lumora/values.h"
#include "store/key_lookup.h"
#include "store/raw_value.h"
#include "store/uki.h"

namespace lumora {
namespace {

std::string DateText(const std::string& raw, ULONG flags) {
  DATE date = 0;
  if (FAILED(ParseRawDate(raw, &date))) return raw;
  Bstr text;
  if (FAILED(VarBstrFromDate(date, LOCALE_USER_DEFAULT, flags, text.put()))) return raw;
  return text.ToUtf8();
}

}  // namespace

std::string DisplayText(CKeySet* row, const PRGetDisplayValueAssistor* assistor, const std::string* rawOverride) {
  std::string raw;
  if (rawOverride != nullptr) {
    raw = *rawOverride;
  } else if (assistor != nullptr && assistor->HasRawValue()) {
    raw = assistor->GetRawValue();
  } else if (row != nullptr) {
    raw = EffectiveRawValue(*row);
  }
  LONG type = eTypeUnknown;
  if (assistor != nullptr && assistor->HasType()) {
    type = assistor->GetType();
  } else if (row != nullptr) {
    type = row->m_Type;
  }
  return DisplayTextOf(type, raw, [&](LONG index) -> std::string {
    if (assistor != nullptr && assistor->HasEnumOptions()) return assistor->GetEnumLabel(index);
    if (row == nullptr) return {};
    const std::string uki = row->m_IsLinked ? row->m_Key : MakeUki(row->m_Section, row->m_Key);
    return EnumLabel(row->EnumSet(), uki, std::to_string(index));
  });
}

std::string DisplayTextOf(LONG type, const std::string& raw, const std::function<std::string(LONG)>& enumLabel) {
  if (raw == kNotSetMarker) return {};
  switch (type) {
    case eTypeInt32:
    case eTypeString:
      return raw;
    case eTypeDateTime:
      return DateText(raw, 0);
    case eTypeDate:
      return DateText(raw, VAR_DATEVALUEONLY);
    case eTypeTime:
      return DateText(raw, VAR_TIMEVALUEONLY);
    case eTypeBoolean:
      return raw == "T" || (!raw.empty() && raw.front() == '1') ? LoadResourceString(IDS_YES)
                                                                : LoadResourceString(IDS_NO);
    case eTypeStringList:
      return StringListDisplayJoin(raw);
    case eTypeArrayOfStrings:
      return MultipleValuesText();
    case eTypeEnumOfStrings:
      return enumLabel(static_cast<LONG>(std::strtol(raw.c_str(), nullptr, 10)));
    default:
      return {};
  }
}

}  // namespace lumora
