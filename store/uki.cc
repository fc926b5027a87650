// Uki decomposition.
#include "uki.h"

namespace lumora {

std::string SectionOfUki(std::string_view uki) { return std::string(uki.substr(0, uki.find('.'))); }

std::string KeyOfUki(std::string_view uki) {
  const size_t dot = uki.find('.');
  const size_t start = dot == std::string_view::npos ? 0 : dot + 1;
  const size_t bracket = uki.find('[', start);
  return std::string(uki.substr(start, bracket == std::string_view::npos ? std::string_view::npos : bracket - start));
}

std::string ArrayKeyOfUki(std::string_view uki) {
  if (uki.empty() || uki.back() != ']') return {};
  const size_t bracket = uki.find('[');
  if (bracket == std::string_view::npos || bracket + 1 > uki.size() - 1) return {};
  return std::string(uki.substr(bracket + 1, uki.size() - 1 - (bracket + 1)));
}

std::string BaseOfUki(std::string_view uki) { return std::string(uki.substr(0, uki.find('['))); }

std::string MakeUki(std::string_view section, std::string_view key, std::string_view arrayKey) {
  std::string uki;
  uki.reserve(section.size() + key.size() + arrayKey.size() + 3);
  uki.append(section).append(".").append(key);
  if (!arrayKey.empty()) uki.append("[").append(arrayKey).append("]");
  return uki;
}

bool IsCommonSection(std::string_view text) {
  constexpr std::string_view kCommon = "common";
  if (text.size() < kCommon.size()) return false;
  for (size_t i = 0; i < kCommon.size(); ++i) {
    const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + ('a' - 'A')) : text[i];
    if (c != kCommon[i]) return false;
  }
  return true;
}

std::string QualifyCommonUki(bool unqualified, std::string_view callerSection, std::string_view uki) {
  if (unqualified || !IsCommonSection(SectionOfUki(uki))) return std::string(uki);
  return std::string(callerSection) + "." + std::string(uki);
}

}  // namespace lumora
