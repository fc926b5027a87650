// Fuzz target: the uki operations never crash, and their parts put a uki back together
// wherever that holds: a uki with a "." and no "[" is section "." key; an element uki is
// its base with "[" array key "]"; a key filter of any texts parses.
#include <cstdlib>
#include <string>

#include "platform/database/dao_filter.h"
#include "store/query_filters.h"
#include "store/uki.h"

using namespace lumora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string uki(reinterpret_cast<const char*>(data), size);
  const std::string section = SectionOfUki(uki);
  const std::string key = KeyOfUki(uki);
  const std::string arrayKey = ArrayKeyOfUki(uki);
  const std::string base = BaseOfUki(uki);
  if (uki.find('.') != std::string::npos && uki.find('[') == std::string::npos && MakeUki(section, key) != uki) {
    std::abort();
  }
  if (!arrayKey.empty() && base + "[" + arrayKey + "]" != uki) std::abort();
  if (base.size() > uki.size() || key.size() > uki.size()) std::abort();
  IsCommonSection(section);
  const std::string qualified = QualifyCommonUki(false, "S", uki);
  if (qualified != uki && qualified != "S." + uki) std::abort();
  // Whatever the texts, the filters built from them parse and name exactly them.
  const DaoFilter filter = DaoFilter::Parse(KeyListFilter({uki, uki}));
  const std::vector<DaoColumn> columns = {{"Section", DaoFieldType::kText}, {"Key", DaoFieldType::kText}};
  if (!filter.Matches(columns, {section, key})) std::abort();
  DaoFilter::Parse(ArrayItemFilter(base, arrayKey));
  return 0;
}
