// The filter texts with which the store selects rows. Every text inserted between
// apostrophes has its apostrophes doubled, so any section, key or name is just a name;
// the database layer parses the result and never pastes it into SQL. Pure; any thread.
#ifndef LUMORA_STORE_QUERY_FILTERS_H_
#define LUMORA_STORE_QUERY_FILTERS_H_

#include <string>
#include <string_view>
#include <vector>

#include "platform/database/dao_recordset.h"

namespace lumora {

// The text with each apostrophe doubled, for use between apostrophes.
std::string QuoteFilterText(std::string_view text);

// SECTION = 's' AND KEY = 'k'
std::string KeyFilter(std::string_view section, std::string_view key);
// (SECTION = 's' AND KEY = 'k') OR ...; SECTION = 'ShouldNeverExist' for no ukis.
std::string KeyListFilter(const std::vector<std::string>& ukis);
// The same rows named as a list of sections and keys, for a set's m_equalAny.
CDaoRecordset::EqualAny KeyListNames(const std::vector<std::string>& ukis);
// (UKI = 's.k' AND KEY = 'a') OR ... over element ukis; UKI = 'ShouldNeverExist' for none.
std::string ArrayListFilter(const std::vector<std::string>& elementUkis);
// UKI = 'base' AND KEY = 'arrayKey'
std::string ArrayItemFilter(std::string_view baseUki, std::string_view arrayKey);
// SECTION = 's' AND KEY = 'k' (Scratch)
std::string ScratchItemFilter(std::string_view section, std::string_view key);
// UKI = 'uki' AND ENUMINDEX = <index text, unquoted>
std::string EnumLabelFilter(std::string_view uki, std::string_view indexText);
// UKI = 'uki'
std::string EnumLabelsFilter(std::string_view uki);

}  // namespace lumora

#endif  // LUMORA_STORE_QUERY_FILTERS_H_
