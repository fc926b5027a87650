// Fuzz target: the services' record parser never crashes, and what it accepts writes back
// to a line that parses to the same record.
#include <cstdlib>

#include "services/json_line.h"

using namespace lumora::services;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  JsonObject object;
  if (!ParseJsonLine(std::string_view(reinterpret_cast<const char*>(data), size), &object)) return 0;
  JsonFields fields(object.begin(), object.end());
  JsonObject again;
  if (!ParseJsonLine(WriteJsonLine(fields), &again) || again.size() != object.size()) std::abort();
  for (const auto& [name, value] : object) {
    const JsonValue& other = again.at(name);
    if (other.type != value.type || other.text != value.text || other.integer != value.integer ||
        other.strings != value.strings) {
      std::abort();
    }
  }
  return 0;
}
