// The row operations the request code shares: finding rows by uki, reading a variable's
// effective raw value (following a link one step), writing one array element, marking
// variables as shared, and reading enumeration labels. Database failures are thrown as
// CDaoException; a missing row is not an error. Used on one thread.
#ifndef LUMORA_STORE_KEY_LOOKUP_H_
#define LUMORA_STORE_KEY_LOOKUP_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "array_set.h"
#include "enum_set.h"
#include "key_set.h"
#include "scratch_set.h"

namespace lumora {

// Positions an open key set on the variable `uki`; false (position unchanged) when absent.
bool FindKey(CKeySet& set, std::string_view uki);
// FindKey for a variable found before, in this set or another over the same table, whose
// row had `bookmark`: that row when it still is the variable, else a find.
bool FindKeyAgain(CKeySet& set, std::string_view uki, std::optional<int64_t> bookmark);
// Positions an open array set on one element; false when absent.
bool FindArrayItem(CArraySet& set, std::string_view baseUki, std::string_view arrayKey);
// Positions an open scratch set on one entry; false when absent.
bool FindScratchItem(CScratchSet& set, std::string_view section, std::string_view key);

// The raw value of the key set's current row: its own value, or for a link row the
// value of the variable its Key names (the empty text when that variable is gone).
std::string EffectiveRawValue(CKeySet& row);

// Writes one element of an array variable through `set` (opened here as a dynaset):
// S_OK when the element was added, eWarningOnlyValueChanged when its value was replaced,
// eWarningValueUnchanged when it already held exactly that value.
HRESULT SetArrayItem(CArraySet& set, std::string_view elementUki, std::string_view newRawValue);

// Sets LastShared of the variables `ukis` to one and the same present time, in one
// transaction, through `set` (a dynaset on the profile database, opened here).
void MarkShared(CKeySet& set, const std::vector<std::string>& ukis);

// The label of option `indexText` of the enumeration `uki`, or the empty text.
std::string EnumLabel(CEnumSet& set, std::string_view uki, std::string_view indexText);
// All labels of the enumeration `uki` (of common.x for a uki S.common.x), in order, as a
// VT_ARRAY | VT_BSTR value in *labels; returns their number. `set` is opened here.
long EnumLabels(CEnumSet& set, std::string_view uki, VARIANT* labels);
// The labels of many enumerations, read in one pass over the enumeration table: a whole
// section's enumerations cost one read, not one or two each. It answers as EnumLabel
// and EnumLabels answer for one enumeration, from the rows they would read.
class EnumLabelBook {
 public:
  EnumLabelBook() = default;
  // Reads the labels that Label and Labels need for every uki in `ukis` (`set` is
  // opened here).
  EnumLabelBook(CEnumSet& set, const std::vector<std::string>& ukis);
  // As EnumLabel(set, uki, std::to_string(index)), for a uki given to the constructor.
  std::string Label(std::string_view uki, LONG index) const;
  // The list EnumLabels gives for a uki given to the constructor.
  std::vector<std::string> Labels(std::string_view uki) const;

 private:
  struct Option {
    // The stored index when the engine finds it equal to a whole number: an integer (or a
    // real of a whole value); none for a NULL, a text, a blob or a fraction.
    std::optional<int64_t> index;
    std::string label;
  };
  // By uki folded as the store compares it, each enumeration's rows in the table's order.
  std::unordered_map<std::string, std::vector<Option>> m_options;
};

// The present local date and time as a DATE.
DATE CurrentDate();

}  // namespace lumora

#endif  // LUMORA_STORE_KEY_LOOKUP_H_
