// The filter builders.
#include "query_filters.h"

#include "uki.h"

namespace lumora {

std::string QuoteFilterText(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size());
  for (const char c : text) {
    quoted.push_back(c);
    if (c == '\'') quoted.push_back('\'');
  }
  return quoted;
}

std::string KeyFilter(std::string_view section, std::string_view key) {
  return "SECTION = '" + QuoteFilterText(section) + "' AND KEY = '" + QuoteFilterText(key) + "'";
}

std::string KeyListFilter(const std::vector<std::string>& ukis) {
  if (ukis.empty()) return "SECTION = 'ShouldNeverExist'";
  std::string filter;
  for (const std::string& uki : ukis) {
    if (!filter.empty()) filter += " OR ";
    filter += "(" + KeyFilter(SectionOfUki(uki), KeyOfUki(uki)) + ")";
  }
  return filter;
}

CDaoRecordset::EqualAny KeyListNames(const std::vector<std::string>& ukis) {
  CDaoRecordset::EqualAny names{{"Section", "Key"}, {}};
  names.alternatives.reserve(ukis.size());
  for (const std::string& uki : ukis) names.alternatives.push_back({SectionOfUki(uki), KeyOfUki(uki)});
  return names;
}

std::string ArrayListFilter(const std::vector<std::string>& elementUkis) {
  if (elementUkis.empty()) return "UKI = 'ShouldNeverExist'";
  std::string filter;
  for (const std::string& uki : elementUkis) {
    if (!filter.empty()) filter += " OR ";
    filter += "(" + ArrayItemFilter(SectionOfUki(uki) + "." + KeyOfUki(uki), ArrayKeyOfUki(uki)) + ")";
  }
  return filter;
}

std::string ArrayItemFilter(std::string_view baseUki, std::string_view arrayKey) {
  return "UKI = '" + QuoteFilterText(baseUki) + "' AND KEY = '" + QuoteFilterText(arrayKey) + "'";
}

std::string ScratchItemFilter(std::string_view section, std::string_view key) { return KeyFilter(section, key); }

std::string EnumLabelFilter(std::string_view uki, std::string_view indexText) {
  return "UKI = '" + QuoteFilterText(uki) + "' AND ENUMINDEX = " + std::string(indexText);
}

std::string EnumLabelsFilter(std::string_view uki) { return "UKI = '" + QuoteFilterText(uki) + "'"; }

}  // namespace lumora
